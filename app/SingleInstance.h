#pragma once
// One program per database on the whole machine: a named mutex in the
// Global\ namespace derived from the database file's full path, which only
// administrators and SYSTEM may open, held by a main window for its life and
// by an import for its run; and the running program's main window brought to
// the front.
#include "base/Handles.h"

#include <windows.h>

#include <string>

// The mutex's name for the database at `databasePath`: the same file by any
// spelling of its path (case, relative parts) gives the same name.
std::string InstanceMutexName(const std::string& databasePath);

// Who may open the mutex, as a security descriptor string: owned by the
// administrators, opened by them and SYSTEM only.
extern const char* const InstanceMutexAccess;

class TSingleInstance {
public:
    // Takes the mutex for this object's lifetime if no other program holds it.
    explicit TSingleInstance(const std::string& databasePath);
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;
    ~TSingleInstance();
    // True when no other program holds the database: this one holds the
    // mutex, or the name was taken by a program that is not an
    // administrator's, which is not let stop this one.
    bool First() const { return FFirst; }
    // True when the name was found taken by such a program: this one then
    // runs without the guard.
    bool NameTaken() const { return FNameTaken; }
    // Lets a later start find the main window.
    void Publish(HWND mainWindow);
    // Brings the first program's main window to the front; waits a little
    // for it while that program is still starting. False when none appeared
    // (an import holds the database, or a window of another session).
    bool ActivateFirst(DWORD waitMs = 2000) const;

private:
    std::string FName;
    TKernelHandle FMutex;
    TKernelHandle FWindowRecord; // a small shared record holding the main window's handle
    bool FFirst = false;
    bool FHeld = false;
    bool FNameTaken = false;
};
