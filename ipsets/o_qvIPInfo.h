#pragma once
// The IP set manager: owns the database and both tables, fills the main
// window's views, runs the commands and merges the connection names.
#include "base/ChildProcess.h"
#include "base/Classes.h"
#include "activation/Activation.h"
#include "activation/ActivationCheck.h"
#include "activation/IPSetValues.h"
#include "store/Database.h"

#include <windows.h>

#include <exception>
#include <map>
#include <optional>
#include <string>
#include <vector>

class TIPInfo;
class TTreeView;
class TListView;

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

// How an apply went. Ok false: it failed or the set is not in effect, and
// Message says why. Ok true with a Message: applied, with a note the user is
// told (a connection without link takes the set when it connects).
struct TApplyResult {
    bool Ok = true;
    std::string Message;
    // A failure while showing the result (the list's refresh), for the caller
    // to raise after telling the user.
    std::exception_ptr RefreshFailure;
};

class TqvIPSetManager : public TComponent {
public:
    explicit TqvIPSetManager(TComponent* owner);
    ~TqvIPSetManager() override;

    // The views the manager fills; both stay the main window's.
    TTreeView* IPSetTreeView() const { return FIPSetTreeView; }
    void SetIPSetTreeView(TTreeView* view);
    TListView* AdapterListView() const { return FAdapterListView; }
    void SetAdapterListView(TListView* view);

    void RefreshAdapterList();
    void RefreshIPSetTree();
    // The tree from the sets table's rows as they are, the file not read
    // again: at start-up, right after the table was opened. The sets below
    // the tree's first screen follow from the message loop (after the
    // window's first paint), or when an editor is about to open.
    void BuildIPSetTree();
    void ManageConnections();
    void AddIPSet();
    // The add dialog filled from what the adapter at `index` of a fresh
    // snapshot has now (the first adapter when there is no such index).
    void AddIPSetFromAdapter(int index);
    // The configuration the connection of that name has now; false when no
    // adapter carries it.
    bool ReadConnectionConfiguration(const std::string& connection, TIPSetValues& values);
    // The configuration read just before the last activation of this run,
    // applied back once.
    bool CanUndoActivation() const { return FUndo.has_value(); }
    void UndoLastActivation();
    void EditIPSet(long long setID);
    void DeleteIPSet(long long setID);
    // Applies the set of that key and tells the user of a failure. True when
    // the set is in effect and there was nothing to tell.
    bool ActivateIPSet(long long setID);
    // The stored set of that key with its connection's name; false when no
    // set has it. Raises when the set's connection is not in the list.
    bool ReadIPSet(long long setID, TIPSetValues& set);
    // Runs the set's netsh lines under the wait window, waits until the
    // connection's adapter shows the set (or the check's limit passes) and
    // refreshes the list; shows no message. The adapter decides the outcome,
    // not netsh's exit codes. Raises, with nothing run, for a set that must
    // not run, without administrator rights, or when another apply on the
    // machine holds on past the wait.
    TApplyResult ApplyIPSet(const TIPSetValues& set);
    // Tests shorten the time limits of the runs (together) and of the check
    // (0: the set's own).
    void SetTimeLimits(DWORD netshMs, DWORD checkMs);
    // The adapter that is `connection` now (its registry connection name, or
    // the name Windows gives it), as plain values; false when none is.
    bool ReadConnectionAdapter(const std::string& connection, TAdapterView& view);

    // The stored sets written to a CSV file at `path`; raises with the reason.
    void ExportIPSets(const std::string& path);
    // The checked sets of a CSV file stored in one transaction (new names
    // added, stored ones replaced), then the tree rebuilt.
    void ImportIPSets(const std::vector<TIPSetValues>& sets);
    TDbConnection* Connection() const { return FConnection; }

    std::string GetConnectionName(long long connectionID);
    TWindowsVersion GetWindowsVersion();
    // Runs a netsh command line: the system folder's netsh only, hidden, its
    // output caught, stopped after the time limit. Paint, timers and other
    // messages are served meanwhile; keyboard and mouse input is dropped.
    TChildRun RunCommand(const std::string& commandLine, DWORD timeLimitMs = NetshTimeLimitMs());
    // True while an activation runs: every command is refused meanwhile.
    bool Busy() const { return FBusy; }
    void ShowWaitBox();
    void CloseWaitBox();
    class TFrmWaitBox* WaitBox() const {
        return FWaitBox;
    }
    std::string GetApplicationFolder();

    TDbTable* IPSetsTable() const { return FIPSetsTable; }
    TDbTable* ConnectionsTable() const { return FConnectionsTable; }

    const char* ClassName() const override { return "TqvIPSetManager"; }

protected:
    void Notification(TComponent* component, TOperation operation) override;
    void OpenDatabase();
    void SyncConnectionNames();

private:
    std::map<long long, std::string> ConnectionNames(); // by connection ID
    void FinishIPSetTree(); // adds the sets BuildIPSetTree left for later
    // Adds the sets from row `from` to row `to` (not included) to the tree.
    void AddSetNodes(int from, int to, const std::map<long long, std::string>& connectionNames);
    void MergeConnectionName(class TRegistry& registry);
    // Shows the editor on a new row or on the current one, then rebuilds the tree.
    void RunEditor(bool newSet, const TIPSetValues* from = nullptr);
    // The key of the connection of that name, added to the list when missing.
    long long ConnectionKey(const std::string& name);
    // Tells the user of a failed apply, as an activation does.
    void ReportApply(const TApplyResult& result);
    // Waits up to `milliseconds` (or until `object`, if any, is signalled)
    // serving every message but keyboard and mouse input.
    void WaitAnswering(HANDLE object, DWORD milliseconds);
    void DispatchAllButInput();
    // Re-reads the connection until it shows the set or `limit` ms pass.
    TCheckResult WaitUntilInEffect(const TIPSetValues& set, DWORD limit);
    // Runs the steps in order within one time limit, filling in each outcome.
    void RunSteps(std::vector<TActivationStep>& steps);
    DWORD CheckLimit(const TIPSetValues& set) const;

    TTreeView* FIPSetTreeView = nullptr;   // not owned: the main window's
    TListView* FAdapterListView = nullptr; // not owned: the main window's
    TIPInfo* FIPInfo = nullptr;            // valid only during the operation that took it
    TDbConnection* FConnection = nullptr;  // owned as a component
    TDbTable* FIPSetsTable = nullptr;      // owned as a component
    TDbTable* FConnectionsTable = nullptr; // owned as a component
    class TFrmWaitBox* FWaitBox = nullptr; // owned as a component while an activation runs
    bool FBusy = false;
    DWORD FNetshLimitMs = NetshTimeLimitMs();
    DWORD FCheckLimitMs = 0; // 0: the set's own
    std::optional<TIPSetValues> FUndo;
    bool FQuitSeen = false; // a quit request met during an activation, posted again after it
    WPARAM FQuitCode = 0;
};
