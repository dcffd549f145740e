#pragma once
// The IP set manager: owns the database and both tables, fills the main
// window's views, runs the commands and merges the connection names.
#include "base/ChildProcess.h"
#include "base/Classes.h"
#include "activation/Activation.h"
#include "activation/ActivationCheck.h"
#include "activation/GatewayProbe.h"
#include "activation/KeepOrGoBack.h"
#include "activation/IPSetValues.h"
#include "ipsets/SetsInEffect.h"
#include "store/Database.h"

#include <windows.h>

#include <exception>
#include <functional>
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
    // A static set with a gateway in effect: whether the gateway answered.
    bool GatewayProbed = false;
    TGatewayAnswer Gateway;
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

    // The one refresh of what the adapters show: one snapshot fills the list,
    // marks the sets in effect bold in the tree and tells OnConnectionStates.
    // The Refresh command, an apply's end and the live view all come here;
    // `keepPosition` keeps the list's selection and scroll position (the live
    // view), otherwise the list starts again at its first row.
    void RefreshAdapterList(bool keepPosition = false);
    // Told after each refresh and each rebuild of the tree: what every
    // connection shows now and which set is in effect there.
    std::function<void(const std::vector<TConnectionState>&)> OnConnectionStates;
    const std::vector<TConnectionState>& ConnectionStates() const { return FConnectionStates; }
    // What a row of the Current Configuration list shows, as the last
    // refresh filled it: its adapter (index in that snapshot, and its
    // connection's name), and for an address row the address, mask and
    // position (0 the first); Position -1 for other rows.
    struct TAdapterRow {
        int Adapter = 0;
        std::string AdapterName;
        std::string Connection; // read when the row is asked for
        std::string Address, Mask;
        int Position = -1;
    };
    // False when the list has no such row.
    bool AdapterRow(int row, TAdapterRow& info) const;
    // One address added to the connection (or one it shows taken off) on the
    // fly: an "add address" ("delete address") run, checked as an activation
    // is, and kept for Undo Last Activation as an activation is. Tells the
    // user of the outcome; raises for a change that must not run.
    void ChangeConnectionAddress(const std::string& connection, const std::string& address,
                                 const std::string& mask, bool add);
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
    // `steps`, when given, are run instead of the set's own lines, and the
    // connection is then checked to show `set`. A stored set in effect with a
    // gateway has it asked whether it answers (`askGateway`; not for the
    // configuration an undo or a going back puts back).
    TApplyResult ApplyIPSet(const TIPSetValues& set,
                            const std::vector<TActivationStep>* steps = nullptr,
                            bool askGateway = true);
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

    // Tells the main window's status bar a line (the gateway's answer, a
    // set kept); unset: told nowhere.
    std::function<void(const std::string& text)> OnStatusText;

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
    // Tells the user of a failed apply, as an activation does, and whether
    // the gateway answered.
    void ReportApply(const TIPSetValues& set, const TApplyResult& result);
    // After a set that waits to be kept: keeps it (true), or applies
    // `before` back.
    bool KeepOrGoBack(const TIPSetValues& set, const TIPSetValues& before,
                      const TApplyResult& result, TKeepSignal& keep);
    // Waits up to `milliseconds` (or until `object`, if any, is signalled)
    // serving every message but keyboard and mouse input.
    void WaitAnswering(HANDLE object, DWORD milliseconds);
    void DispatchAllButInput();
    // Re-reads the connection until it shows the set or `limit` ms pass.
    TCheckResult WaitUntilInEffect(const TIPSetValues& set, DWORD limit);
    // Runs the steps in order within one time limit, filling in each outcome.
    void RunSteps(std::vector<TActivationStep>& steps);
    DWORD CheckLimit(const TIPSetValues& set) const;
    void FillAdapterList(bool keepPosition);
    // Bold for the sets in effect by the last snapshot, then OnConnectionStates.
    void ShowSetsInEffect();

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
    std::vector<TAdapterRow> FAdapterRows; // one for each row of the list
    // The sets the tree shows, as the tree took them from the table (the live
    // view compares these, never moving the table's row under an open editor).
    std::vector<TIPSetValues> FTreeSets;
    std::vector<long long> FTreeSetIDs;            // the key of each of FTreeSets
    std::vector<TConnectionView> FConnectionViews; // by the last snapshot
    std::vector<TConnectionState> FConnectionStates;
    bool FQuitSeen = false; // a quit request met during an activation, posted again after it
    WPARAM FQuitCode = 0;
};
