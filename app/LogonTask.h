#pragma once
// Starting the program at this user's logon, elevated and without a prompt:
// a Task Scheduler task with a logon trigger and the highest privileges,
// which runs the program with /tray.
#include <memory>
#include <optional>
#include <string>

struct TLogonTaskDefinition {
    std::wstring UserId;    // DOMAIN\user whose logon starts the task
    std::wstring Path;      // the program's full path
    std::wstring Arguments; // its command line
    bool HighestPrivileges = false;
    // DisallowStartIfOnBatteries and StopIfGoingOnBatteries, both.
    bool BatteryConditions = true;
    std::wstring TimeLimit; // ExecutionTimeLimit; "PT0S" is none
    bool operator==(const TLogonTaskDefinition&) const = default;
};

// Where the tasks are kept: the system's Task Scheduler (through its COM
// interface), or a test's record of the calls.
class TTaskStore {
public:
    virtual ~TTaskStore() = default;
    // Adds the task, or replaces one of that name. Raises with the reason.
    virtual void Register(const std::wstring& name, const TLogonTaskDefinition& task) = 0;
    // The task of that name as far as it is a logon task that runs a
    // program; nullopt when there is none. Raises with the reason.
    virtual std::optional<TLogonTaskDefinition> Read(const std::wstring& name) = 0;
    // Deletes the task; none of that name is no failure.
    virtual void Remove(const std::wstring& name) = 0;
};

std::unique_ptr<TTaskStore> SystemTaskStore();
// The store the program uses: the system's, or the one a test put in place.
using TTaskStoreSource = std::unique_ptr<TTaskStore> (*)();
void SetTaskStoreSource(TTaskStoreSource source); // nullptr: the system's
std::unique_ptr<TTaskStore> OpenTaskStore();

// DOMAIN\user of this process's account.
std::wstring CurrentUserId();

// One task per user: a name without the backslash the scheduler takes for a folder.
std::wstring LogonTaskName(const std::wstring& userId);
TLogonTaskDefinition LogonTaskFor(const std::wstring& userId, const std::wstring& exePath);

// "Start with Windows" for one program file and one user.
class TLogonTask {
public:
    TLogonTask(TTaskStore& store, std::wstring userId, std::wstring exePath);
    // True when the user's task starts this program as LogonTaskFor says
    // (paths compared without case).
    bool Registered();
    void Register();
    // Deletes the user's task when it starts this program; a task of another
    // copy of the program is left alone.
    void Unregister();

private:
    TTaskStore& FStore;
    std::wstring FUserId, FExePath;
};
