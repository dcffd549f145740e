#pragma once
// Shared helpers of the tests: message boxes answered by a hook, a fresh
// database beside the test binary, and synthetic adapter records.
#include "adapters/IPHelperDef.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// Catches every message box of this thread while alive: records its caption
// and text and presses `answer` on it.
class MessageBoxCatcher {
public:
    explicit MessageBoxCatcher(int answer = IDOK);
    ~MessageBoxCatcher();
    struct Box {
        std::string Caption;
        std::string Text;
        HWND Owner;
    };
    std::vector<Box> Boxes;
    int Answer;
    // Runs when a box appears, before it is answered.
    std::function<void()> OnBox;
};

// Folder of the running test binary, with a trailing backslash.
std::string TestFolder();
// Deletes and re-creates DataBase\ipdb.ipdb beside the test binary.
std::string FreshDatabase();
// Executes SQL on a database file directly, bypassing the engine under test.
void ExecSql(const std::string& path, const std::string& sql);
std::vector<std::string> QueryColumn(const std::string& path, const std::string& sql);

// Synthetic adapter records, laid out in the caller's buffer in the
// platform's linked form by FakeAdaptersInfo.
struct FakeAddress {
    std::string Address, Mask;
};
struct FakeAdapter {
    std::string Name, Description;
    std::vector<BYTE> HardwareAddress;
    DWORD AddressLengthOverride = 0xFFFFFFFF; // else HardwareAddress.size()
    bool Dhcp = true;
    bool NullCurrent = false;
    std::vector<FakeAddress> Addresses = {{"0.0.0.0", "0.0.0.0"}};
    std::vector<FakeAddress> Gateways = {{"", ""}};
    std::vector<FakeAddress> DhcpServers = {{"", ""}};
    // What GetAdaptersAddresses adds; a blank FriendlyName leaves the adapter
    // out of those records.
    std::string FriendlyName;
    std::vector<std::string> DnsServers;
    bool OperUp = true;
};
struct FakeAdapterSource {
    std::vector<FakeAdapter> Adapters;
    DWORD Status = ERROR_SUCCESS; // a non-zero status is returned as it is
    int Calls = 0;
    std::vector<ULONG> SizesOffered;
};
// Installs the source for the lifetime of the object.
class FakeAdaptersScope {
public:
    explicit FakeAdaptersScope(FakeAdapterSource& source);
    ~FakeAdaptersScope();
};

// Reports a Windows version (5.2) for which no connection name is merged, so
// tests of the windows see only the connections they stored themselves.
BOOL WINAPI VersionWithoutMerge(LPOSVERSIONINFOA info);

// Writes (and removes) registry keys under HKLM for the connection-name merge.
void WriteConnectionName(const std::string& keyPath, const std::string& name);
void WriteConnectionValue(const std::string& keyPath, DWORD type, const void* data, DWORD size);
void DeleteTree(const std::string& keyPath);

// Runs `action` once from inside whatever message loop runs `delay` ms from
// now, typically a modal dialog's.
void RunInModalLoop(std::function<void()> action, UINT delay = 100);

// A test binary can run as a child process of itself: `<exe> --child NAME ...`
// calls the function registered under NAME instead of the tests.
using ChildMain = int (*)(int argc, char** argv);
struct ChildRegistration {
    ChildRegistration(const char* name, ChildMain main);
};

// Puts the netsh stand-in (netsh-standin.exe beside the test) in the system
// folder as netsh.exe, loaded instead of Wine's own, with its files in the
// test's folder; puts Wine's own back when destroyed.
class NetshStandinScope {
public:
    NetshStandinScope();
    ~NetshStandinScope();
    NetshStandinScope(const NetshStandinScope&) = delete;
    NetshStandinScope& operator=(const NetshStandinScope&) = delete;
    static std::string SystemNetsh();
};
