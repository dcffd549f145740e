#pragma once
// The IP set manager: owns the database and both tables, fills the main
// window's views, runs the commands and merges the connection names.
#include "store/Database.h"
#include "toolkit/Classes.h"

#include <windows.h>

#include <string>

class TIPInfo;

enum TWindowsVersion {
    wvOther,
    wvWin95,
    wvWin98,
    wvWin98SE,
    wvWinNT,
    wvWinME,
    wvWin2000,
    wvWinXP,
    wvWinVista
};

// Same signature as GetVersionExA; tests replace the platform's answer here.
using TGetVersionExA = BOOL(WINAPI*)(LPOSVERSIONINFOA info);
void SetVersionInfoSource(TGetVersionExA source); // nullptr: the real call
TWindowsVersion ClassifyWindowsVersion(const OSVERSIONINFOA& info);

// The folder part of an executable's path, ending in a backslash.
std::string ApplicationFolderOf(const std::string& exePath);

extern const char* const NetworkBasePath;
extern const char* const NetworkClassKey;

class TqvIPSetManager : public TComponent {
public:
    explicit TqvIPSetManager(TComponent* owner);
    ~TqvIPSetManager() override;

    std::string GetConnectionName(long long connectionID);
    TWindowsVersion GetWindowsVersion();
    std::string GetApplicationFolder();

    TDbTable* IPSetsTable() const { return FIPSetsTable; }
    TDbTable* ConnectionsTable() const { return FConnectionsTable; }

    const char* ClassName() const override { return "TqvIPSetManager"; }

protected:
    void OpenDatabase();
    void SyncConnectionNames();

private:
    void MergeConnectionName(class TRegistry& registry);

    TIPInfo* FIPInfo = nullptr;             // valid only during the operation that took it
    TDbConnection* FConnection = nullptr;   // owned as a component
    TDbTable* FIPSetsTable = nullptr;       // owned as a component
    TDbTable* FConnectionsTable = nullptr;  // owned as a component
};
