#include "ipsets/o_qvIPInfo.h"
#include "store/IPDatabase.h"

#include "adapters/IPInfo.h"
#include "editor/f_IPSet.h"
#include "activation/Activation.h"
#include "activation/ApplyGuards.h"
#include "activation/ExtraAddresses.h"
#include "ipsets/CurrentConfiguration.h"
#include "ipsets/IPSetCsv.h"
#include "ipsets/IPSetStore.h"
#include "activation/NetshCommand.h"
#include "ipsets/f_KeepSettings.h"
#include "ipsets/f_WaitBox.h"
#include "ipsets/f_manageconnections.h"
#include "base/AddressText.h"
#include "toolkit/Application.h"
#include "toolkit/ComCtrls.h"
#include "base/Registry.h"
#include "base/StartupTrace.h"
#include "base/SysUtils.h"

#include <algorithm>
#include <exception>
#include <map>
#include <memory>
#include <utility>
#include <vector>

const char* const NetworkBasePath = "\\SYSTEM\\CurrentControlSet\\Control\\Network\\";
// The network adapter class: every Windows since XP keeps connection names below it.
const char* const NetworkClassKey = "{4D36E972-E325-11CE-BFC1-08002BE10318}";

namespace {

TGetVersionExA versionInfoSource = nullptr;

const std::string& NameOf(const std::map<long long, std::string>& names, long long id) {
    static const std::string none;
    auto it = names.find(id);
    return it == names.end() ? none : it->second;
}

bool ContainsText(const std::vector<std::string>& list, const std::string& text) {
    for (const std::string& item : list)
        if (SameText(item, text)) return true;
    return false;
}

// Holds the manager's FIPInfo for the length of one operation.
class SnapshotScope {
public:
    explicit SnapshotScope(TIPInfo*& slot) : FSlot(slot), FSnapshot(std::make_unique<TIPInfo>()) {
        FSlot = FSnapshot.get();
    }
    ~SnapshotScope() { FSlot = nullptr; }
    SnapshotScope(const SnapshotScope&) = delete;
    SnapshotScope& operator=(const SnapshotScope&) = delete;

private:
    TIPInfo*& FSlot;
    std::unique_ptr<TIPInfo> FSnapshot;
};

} // namespace

void SetVersionInfoSource(TGetVersionExA source) {
    versionInfoSource = source;
}

TWindowsVersion ClassifyWindowsVersion(const OSVERSIONINFOA& info) {
    const DWORD platform = info.dwPlatformId, major = info.dwMajorVersion,
                minor = info.dwMinorVersion;
    if (platform == VER_PLATFORM_WIN32_WINDOWS && major == 4) {
        if (minor == 0) return wvWin95;
        if (minor == 10) return info.szCSDVersion[1] == 'A' ? wvWin98SE : wvWin98;
        if (minor == 90) return wvWinME;
    }
    if (platform == VER_PLATFORM_WIN32_NT) {
        if (major <= 4) return wvWinNT;
        if (major == 5 && minor == 0) return wvWin2000;
        if (major == 5 && minor == 1) return wvWinXP;
        if (major == 6) return wvWinVista;
    }
    return wvOther;
}

std::string ApplicationFolderOf(const std::string& exePath) {
    return IncludeTrailingBackslash(ExtractFilePath(exePath));
}

TqvIPSetManager::TqvIPSetManager(TComponent* owner) : TComponent(owner) {
    OpenDatabase();
    StartupMark("database");
    SyncConnectionNames();
    StartupMark("registry");
}

TqvIPSetManager::~TqvIPSetManager() {
    if (FIPSetTreeView) FIPSetTreeView->Later({}); // its work would reach this manager
    if (FConnection) FConnection->Close();
    DestroyComponents();
}

std::string TqvIPSetManager::GetApplicationFolder() {
    return ApplicationFolderOf(ApplicationExeName());
}

void TqvIPSetManager::OpenDatabase() {
    FConnection = new TDbConnection(this);
    // The file is opened by its path, so any folder name works.
    FConnection->FileName = IPDatabasePath(GetApplicationFolder());
    FConnection->Open();
    FIPSetsTable = new TDbTable(this);
    FConnectionsTable = new TDbTable(this);
    OpenIPTable(*FIPSetsTable, FConnection, IPDb::IPSets);
    OpenIPTable(*FConnectionsTable, FConnection, IPDb::Connections);
}

void TqvIPSetManager::SetIPSetTreeView(TTreeView* view) {
    if (FIPSetTreeView) FIPSetTreeView->RemoveFreeNotification(this);
    FIPSetTreeView = view;
    if (FIPSetTreeView) FIPSetTreeView->FreeNotification(this);
}

void TqvIPSetManager::SetAdapterListView(TListView* view) {
    if (FAdapterListView) FAdapterListView->RemoveFreeNotification(this);
    FAdapterListView = view;
    if (FAdapterListView) FAdapterListView->FreeNotification(this);
}

void TqvIPSetManager::Notification(TComponent* component, TOperation operation) {
    // A view destroyed before us is forgotten, so nothing can reach it later.
    if (operation == TOperation::opRemove) {
        if (component == FIPSetTreeView) FIPSetTreeView = nullptr;
        if (component == FAdapterListView) FAdapterListView = nullptr;
    }
    TComponent::Notification(component, operation);
}

void TqvIPSetManager::RefreshAdapterList(bool keepPosition) {
    // The snapshot comes first: when it fails, the list keeps its rows.
    SnapshotScope snapshot(FIPInfo);
    std::vector<TConnectionView> views = ReadConnectionViews(*FIPInfo);
    // The live view reads often (every few seconds where it polls): what
    // nobody changed is not compared against every set again.
    const bool same = keepPosition && views == FConnectionViews;
    FConnectionViews = std::move(views);
    if (FAdapterListView) FillAdapterList(keepPosition);
    if (!same) ShowSetsInEffect();
}

void TqvIPSetManager::FillAdapterList(bool keepPosition) {
    std::vector<std::pair<std::string, std::string>> rows;
    std::vector<TAdapterRow> adapterRows;
    for (int i = 0; i < FIPInfo->AdapterCount(); ++i) {
        const TAdapter* adapter = FIPInfo->Adapters(i);
        std::string gateways;
        for (int k = 0; k < adapter->GatewayCount(); ++k)
            gateways += adapter->Gateways(k)->AsText();
        TAdapterRow row{i, adapter->AdapterName()};
        auto add = [&](const char* caption, const std::string& text) {
            rows.emplace_back(caption, text);
            adapterRows.push_back(row);
        };
        add("Adapter ID", adapter->AdapterName());
        add("Description", adapter->Description());
        // One row for each address, so that one can be picked.
        for (int k = 0; k < std::max(1, adapter->IPAddressCount()); ++k) {
            const TInfoIPAddress* address =
                k < adapter->IPAddressCount() ? adapter->IPAddresses(k) : nullptr;
            row.Address = address ? address->IpAddress() : "";
            row.Mask = address ? address->IpMask() : "";
            row.Position = k;
            add("Current IP", address ? address->AsText() : "");
        }
        row = TAdapterRow{i, adapter->AdapterName()};
        add("Default Gateway", gateways);
        add("DHCP Enabled", BoolToStr(adapter->DhcpEnabled()));
    }
    FAdapterRows = std::move(adapterRows);
    TListView& list = *FAdapterListView;
    if (keepPosition && list.Count() == static_cast<int>(rows.size())) {
        // The same rows: only the texts that changed, so nothing moves.
        for (int i = 0; i < list.Count(); ++i) {
            const auto& [type, value] = rows[static_cast<size_t>(i)];
            if (list.ItemText(i, 0) != type) list.SetItemText(i, 0, type);
            if (list.ItemText(i, 1) != value) list.SetItemText(i, 1, value);
        }
        return;
    }
    const int top = list.TopIndex(), selected = list.SelectedIndex();
    {
        list.BeginUpdate();
        struct EndUpdate {
            TListView& List;
            ~EndUpdate() { List.EndUpdate(); }
        } endUpdate{list};
        list.Clear();
        for (const auto& [type, value] : rows)
            list.AddItem(type, {value});
    }
    if (keepPosition) {
        list.SelectIndex(selected);
        list.SetTopIndex(top);
    } else {
        list.ScrollToTop(); // a fresh list starts at its first row
    }
}

void TqvIPSetManager::ShowSetsInEffect() {
    FConnectionStates = ::ConnectionStates(FTreeSets, FConnectionViews);
    if (FIPSetTreeView) {
        std::vector<long long> inEffect;
        for (const TConnectionState& state : FConnectionStates)
            if (state.SetIndex >= 0)
                inEffect.push_back(FTreeSetIDs[static_cast<size_t>(state.SetIndex)]);
        TTreeView& tree = *FIPSetTreeView;
        for (HTREEITEM node = tree.FirstChild(TVI_ROOT); node; node = tree.NextSibling(node)) {
            const long long id = static_cast<long long>(tree.NodeData(node));
            const bool bold = std::find(inEffect.begin(), inEffect.end(), id) != inEffect.end();
            if (tree.NodeBold(node) != bold) tree.SetNodeBold(node, bold);
        }
    }
    if (OnConnectionStates) OnConnectionStates(FConnectionStates);
}

void TqvIPSetManager::RefreshIPSetTree() {
    if (!FIPSetTreeView) return;
    FIPSetsTable->Refresh();
    FIPSetTreeView->Clear();
    FTreeSets.clear();
    FTreeSetIDs.clear();
    AddSetNodes(0, FIPSetsTable->RecordCount(), ConnectionNames());
    ShowSetsInEffect();
}

void TqvIPSetManager::BuildIPSetTree() {
    if (!FIPSetTreeView) return;
    TTreeView& tree = *FIPSetTreeView;
    tree.Clear();
    FTreeSets.clear();
    FTreeSetIDs.clear();
    // The sets the first paint shows go in now, the others right after it.
    const int now = tree.VisibleRows(), count = FIPSetsTable->RecordCount();
    std::map<long long, std::string> names = ConnectionNames();
    AddSetNodes(0, std::min(now, count), names);
    ShowSetsInEffect();
    if (now < count)
        tree.Later([this, now, count, names = std::move(names)] {
            AddSetNodes(now, count, names);
            ShowSetsInEffect();
        });
}

void TqvIPSetManager::AddSetNodes(int from, int to,
                                  const std::map<long long, std::string>& connectionNames) {
    TTreeView& tree = *FIPSetTreeView;
    tree.BeginUpdate();
    struct EndUpdate {
        TTreeView& Tree;
        ~EndUpdate() { Tree.EndUpdate(); }
    } endUpdate{tree};
    TDbTable& sets = *FIPSetsTable;
    if (from >= to) {
        sets.First();
        return;
    }
    sets.MoveTo(from);
    const TField name = sets.FieldByName(IPDb::SetName), id = sets.FieldByName(IPDb::ID),
                 address = sets.FieldByName(IPDb::Address), mask = sets.FieldByName(IPDb::Mask),
                 gateway = sets.FieldByName(IPDb::Gateway), dns = sets.FieldByName(IPDb::Dns),
                 dhcp = sets.FieldByName(IPDb::Dhcp),
                 connection = sets.FieldByName(IPDb::Connection);
    const std::optional<TField> dns2 = sets.HasField(IPDb::Dns2)
                                           ? std::optional<TField>(sets.FieldByName(IPDb::Dns2))
                                           : std::nullopt;
    const std::optional<TField> extra =
        sets.HasField(IPDb::ExtraAddresses)
            ? std::optional<TField>(sets.FieldByName(IPDb::ExtraAddresses))
            : std::nullopt;
    for (int i = from; i < to; ++i) {
        // The detail lines are taken now, so the tree shows the table as it
        // was at this rebuild even when a set is first opened later.
        std::vector<std::string> lines = {
            "IP:" + address.AsString(), "Subnet mask :" + mask.AsString(),
            "Def.Gateway :" + gateway.AsString(), "DNS :" + dns.AsString()};
        if (dns2 && !dns2->AsString().empty()) lines.push_back("Alt. DNS :" + dns2->AsString());
        if (extra) {
            std::vector<TAddressPair> pairs;
            if (!ParseExtraAddresses(extra->AsString(), pairs))
                lines.push_back("Extra address : " + extra->AsString());
            for (const TAddressPair& pair : pairs)
                lines.push_back("Extra address : " + PairText(pair));
        }
        lines.push_back("DHCP :" + dhcp.AsString());
        lines.push_back("Connection Name:" + NameOf(connectionNames, connection.AsInteger()));
        TIPSetValues values;
        values.Name = name.AsString();
        values.Address = address.AsString();
        values.Mask = mask.AsString();
        values.Gateway = gateway.AsString();
        values.Dns = dns.AsString();
        if (dns2) values.Dns2 = dns2->AsString();
        if (extra) values.ExtraAddresses = extra->AsString();
        values.Dhcp = dhcp.AsBoolean();
        values.Connection = NameOf(connectionNames, connection.AsInteger());
        FTreeSets.push_back(std::move(values));
        FTreeSetIDs.push_back(id.AsInteger());
        tree.AddChildWithLines(nullptr, name.AsString(), static_cast<LPARAM>(id.AsInteger()),
                               lines);
        sets.Next();
    }
}

void TqvIPSetManager::DeleteIPSet(long long setID) {
    if (FBusy || !FIPSetsTable->Locate(IPDb::ID, setID)) return;
    // No owner window: the main window stays usable while the question is open.
    if (MessageBoxA(nullptr, "Are sure you want to delete the selected IP Set ?", "IP Tavix Ver2",
                    MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    // Other commands may have moved the table while the question was open:
    // the set asked about is found again, and if it is gone nothing is deleted.
    if (FBusy || !FIPSetsTable->Locate(IPDb::ID, setID)) return;
    try {
        FIPSetsTable->Delete();
    } catch (const EDatabaseRowGone&) {
        // Already deleted by another program: the tree is shown as the file is.
        if (Application)
            Application->ShowMessage("This IP set no longer exists in the database.",
                                     MB_OK | MB_ICONWARNING);
    }
    RefreshIPSetTree();
}

void TqvIPSetManager::ManageConnections() {
    if (FBusy) return;
    std::unique_ptr<TFrmManageConnections> dialog(new TFrmManageConnections(this));
    dialog->SetConnectionsTable(FConnectionsTable);
    dialog->ShowModal();
}

void TqvIPSetManager::RunEditor(bool newSet, const TIPSetValues* from) {
    {
        std::unique_ptr<TFrmIPSet> editor(new TFrmIPSet(this));
        editor->SetIPSetsTable(FIPSetsTable);
        editor->SetConnectionsTable(FConnectionsTable);
        if (from)
            editor->PrepareNewSet({from->Address, from->Mask, from->Gateway, from->Dns, from->Dns2},
                                  from->Dhcp,
                                  from->Connection.empty() ? 0 : ConnectionKey(from->Connection),
                                  from->ExtraAddresses);
        else if (newSet)
            editor->PrepareNewSet();
        else
            editor->LoadCurrentSet();
        editor->SetCaption(newSet ? "Add new IP Set" : "Edit existing IP Set");
        editor->ShowModal();
    }
    RefreshIPSetTree();
}

void TqvIPSetManager::AddIPSet() {
    FinishIPSetTree();
    if (!FBusy) RunEditor(true);
}

void TqvIPSetManager::AddIPSetFromAdapter(int index) {
    if (FBusy) return;
    TIPSetValues values;
    {
        SnapshotScope snapshot(FIPInfo);
        if (FIPInfo->AdapterCount() == 0)
            throw Exception("There is no network adapter to take a configuration from");
        if (index < 0 || index >= FIPInfo->AdapterCount()) index = 0;
        const TAdapter& adapter = *FIPInfo->Adapters(index);
        values = ConfigurationOfAdapter(adapter, AdapterConnectionName(adapter.AdapterName()));
    }
    RunEditor(true, &values);
}

bool TqvIPSetManager::ReadConnectionConfiguration(const std::string& connection,
                                                  TIPSetValues& values) {
    SnapshotScope snapshot(FIPInfo);
    for (int i = 0; i < FIPInfo->AdapterCount(); ++i) {
        const TAdapter& adapter = *FIPInfo->Adapters(i);
        // The snapshot's name Windows shows: the same the check finds it by.
        const std::string& name = adapter.FriendlyName;
        if (!name.empty() && SameText(name, connection)) {
            values = ConfigurationOfAdapter(adapter, connection);
            return true;
        }
    }
    return false;
}

long long TqvIPSetManager::ConnectionKey(const std::string& name) {
    TDbTable& names = *FConnectionsTable;
    for (names.First(); !names.Eof(); names.Next())
        if (SameText(names.FieldByName(IPDb::ConnectionName).AsString(), name))
            return names.FieldByName(IPDb::ID).AsInteger();
    names.Insert();
    names.FieldByName(IPDb::ConnectionName).SetAsString(name);
    names.Post();
    return names.FieldByName(IPDb::ID).AsInteger();
}

void TqvIPSetManager::EditIPSet(long long setID) {
    FinishIPSetTree();
    if (!FBusy && FIPSetsTable->Locate(IPDb::ID, setID)) RunEditor(false);
}

void TqvIPSetManager::FinishIPSetTree() {
    // The editor works on the table's current row, which adding the tree's
    // last sets moves: they go in before the row is chosen, not while it is open.
    if (FIPSetTreeView) FIPSetTreeView->RunLater();
}

namespace {

bool IsInputMessage(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK) ||
           message == WM_NCMOUSEHOVER || message == WM_NCMOUSELEAVE || message == WM_MOUSEHOVER ||
           message == WM_MOUSELEAVE;
}

// Keyboard and mouse input that reached the queue while an activation held
// the thread: dropped, so nothing the user pressed then runs afterwards.
void DropPendingInput() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (PeekMessageA(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    while (PeekMessageA(&msg, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
    }
}

class TBusyScope {
public:
    explicit TBusyScope(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TBusyScope() { FFlag = false; }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

private:
    bool& FFlag;
};

// How often the check re-reads the adapter while it waits.
constexpr DWORD CheckPollMs = 200;

} // namespace

bool TqvIPSetManager::ReadIPSet(long long setID, TIPSetValues& set) {
    if (!FIPSetsTable->Locate(IPDb::ID, setID)) return false;
    if (!FConnectionsTable->Locate(IPDb::ID,
                                   FIPSetsTable->FieldByName(IPDb::Connection).AsInteger()))
        throw Exception("The connection of this IP set is not in the Connection Name List. "
                        "Edit the set and choose its connection.");
    TDbTable& sets = *FIPSetsTable;
    set = TIPSetValues{};
    set.Name = sets.FieldByName(IPDb::SetName).AsString();
    set.Address = sets.FieldByName(IPDb::Address).AsString();
    set.Mask = sets.FieldByName(IPDb::Mask).AsString();
    set.Gateway = sets.FieldByName(IPDb::Gateway).AsString();
    set.Dns = sets.FieldByName(IPDb::Dns).AsString();
    if (sets.HasField(IPDb::Dns2)) set.Dns2 = sets.FieldByName(IPDb::Dns2).AsString();
    if (sets.HasField(IPDb::ExtraAddresses))
        set.ExtraAddresses = sets.FieldByName(IPDb::ExtraAddresses).AsString();
    set.Dhcp = sets.FieldByName(IPDb::Dhcp).AsBoolean();
    if (sets.HasField(IPDb::Confirm)) set.Confirm = sets.FieldByName(IPDb::Confirm).AsBoolean();
    set.Connection = FConnectionsTable->FieldByName(IPDb::ConnectionName).AsString();
    return true;
}

bool TqvIPSetManager::ActivateIPSet(long long setID) {
    if (FBusy) return false; // one command at a time
    TIPSetValues set;
    if (!ReadIPSet(setID, set)) return false;
    // What the connection has now, for an undo; a connection no adapter
    // carries leaves nothing to undo.
    TIPSetValues before;
    bool known = false;
    try {
        known = ReadConnectionConfiguration(set.Connection, before);
    } catch (const std::exception&) {
        // A snapshot that fails only costs the undo, not the activation.
        if (set.Confirm) throw;
    }
    // A set that goes back unless kept needs something to go back to.
    if (set.Confirm && !known) throw Exception(NothingToGoBackToText(set));
    std::optional<TKeepSignal> keep;
    if (set.Confirm) keep.emplace();
    const TApplyResult result = ApplyIPSet(set);
    if (known)
        FUndo = before;
    else
        FUndo.reset();
    if (set.Confirm && result.Ok && result.Message.empty())
        return KeepOrGoBack(set, before, result, *keep);
    ReportApply(set, result);
    // A gateway that does not answer has been told in a box of its own.
    return result.Ok && result.Message.empty() &&
           !(result.GatewayProbed && !result.Gateway.Answered);
}

bool TqvIPSetManager::KeepOrGoBack(const TIPSetValues& set, const TIPSetValues& before,
                                   const TApplyResult& result, TKeepSignal& keep) {
    // The gateway's answer goes into the question: a box of its own would
    // hold the countdown up until somebody closed it.
    std::string note;
    if (result.GatewayProbed && result.Gateway.Answered) {
        note = GatewayAnswersText(set, result.Gateway.RoundTripMs) + ".";
        if (OnStatusText) OnStatusText(GatewayAnswersText(set, result.Gateway.RoundTripMs));
    } else if (result.GatewayProbed) {
        note = GatewaySilentText(set);
    }
    const unsigned seconds = KeepWaitSeconds();
    TKeepAnswer answer;
    {
        std::unique_ptr<TFrmKeepSettings> dialog(
            new TFrmKeepSettings(this, set, note, seconds, keep.Valid() ? &keep : nullptr));
        answer = dialog->Ask();
    }
    if (!GoesBack(answer)) {
        if (OnStatusText)
            OnStatusText(Format("The IP set \"%s\" is kept on \"%s\"", set.Name.c_str(),
                                set.Connection.c_str()));
        if (result.RefreshFailure) std::rethrow_exception(result.RefreshFailure);
        return true;
    }
    FUndo.reset(); // what it would undo is what is back now
    const TApplyResult back = ApplyIPSet(before, nullptr, false);
    const std::string text = WentBackText(set, answer, seconds, back.Ok ? "" : back.Message);
    // Told on the user's return when the time ran out; a failure always. The
    // window may not be the active one by then: the box holds every window of
    // the program, so nothing starts another apply beneath it.
    if (answer == TKeepAnswer::NoAnswer || !back.Ok) {
        if (Application)
            Application->ShowMessage(text, MB_OK | MB_TASKMODAL |
                                               (back.Ok ? MB_ICONINFORMATION : MB_ICONWARNING));
    } else if (OnStatusText) {
        OnStatusText(text);
    }
    if (back.RefreshFailure) std::rethrow_exception(back.RefreshFailure);
    return false;
}

bool TqvIPSetManager::AdapterRow(int row, TAdapterRow& info) const {
    if (row < 0 || static_cast<size_t>(row) >= FAdapterRows.size()) return false;
    info = FAdapterRows[static_cast<size_t>(row)];
    // Asked here, not at every refresh: one more adapter query per adapter.
    info.Connection = AdapterConnectionName(info.AdapterName);
    return true;
}

void TqvIPSetManager::ChangeConnectionAddress(const std::string& connection,
                                              const std::string& address, const std::string& mask,
                                              bool add) {
    if (FBusy) return;
    if (std::string problem = ConnectionNameProblem(connection); !problem.empty())
        throw Exception(problem);
    TIPSetValues before;
    if (!ReadConnectionConfiguration(connection, before))
        throw Exception(
            Format("No network adapter is the connection \"%s\" now.", connection.c_str()));
    // What the connection must show afterwards: what it has, with the
    // address added or taken off.
    std::string problem;
    TIPSetValues after = before;
    std::vector<TAddressPair> extra;
    ParseExtraAddresses(before.ExtraAddresses, extra);
    const TAddressPair pair{NormalizedAddress(address), NormalizedAddress(mask)};
    if (before.Dhcp || before.Address.empty()) {
        problem = Format("The connection \"%s\" takes its address from DHCP. An address can "
                         "be added only beside a static one: apply a static IP set first.",
                         connection.c_str());
    } else if (add) {
        problem = ExtraAddressProblem(pair, before.Address, extra);
        if (problem.empty() && extra.size() >= MaxExtraAddresses)
            problem = Format("The connection \"%s\" has %u further addresses already; at most "
                             "%u are kept.",
                             connection.c_str(), static_cast<unsigned>(extra.size()),
                             static_cast<unsigned>(MaxExtraAddresses));
        extra.push_back(pair);
    } else {
        const auto found = std::find_if(extra.begin(), extra.end(), [&](const TAddressPair& p) {
            return NormalizedAddress(p.first) == pair.first;
        });
        if (found == extra.end())
            problem = Format("The address %s is not one of the further addresses of the "
                             "connection \"%s\" now; its first address is changed by applying "
                             "an IP set.",
                             pair.first.c_str(), connection.c_str());
        else
            extra.erase(found);
    }
    if (!problem.empty()) throw Exception(problem);
    after.ExtraAddresses = ExtraAddressesText(extra);
    after.Name = add ? PairText(pair) + " added" : pair.first + " removed";
    const std::vector<TActivationStep> steps = {
        add ? TActivationStep{"Adding the address " + pair.first,
                              AddAddressCommand(connection, pair.first, pair.second)}
            : TActivationStep{"Removing the address " + pair.first,
                              DeleteAddressCommand(connection, pair.first)}};
    const TApplyResult result = ApplyIPSet(after, &steps, false);
    FUndo = before;
    ReportApply(after, result);
}

void TqvIPSetManager::UndoLastActivation() {
    if (FBusy || !FUndo) return;
    const TIPSetValues before = *FUndo;
    FUndo.reset(); // one undo, whatever its outcome
    ReportApply(before, ApplyIPSet(before, nullptr, false));
}

void TqvIPSetManager::ReportApply(const TIPSetValues& set, const TApplyResult& result) {
    if (!result.Message.empty() && Application)
        Application->ShowMessage(result.Message,
                                 MB_OK | (result.Ok ? MB_ICONINFORMATION : MB_ICONWARNING));
    if (result.GatewayProbed && result.Gateway.Answered && OnStatusText)
        OnStatusText(GatewayAnswersText(set, result.Gateway.RoundTripMs));
    else if (result.GatewayProbed && !result.Gateway.Answered && Application)
        Application->ShowMessage(GatewaySilentText(set), MB_OK | MB_ICONWARNING);
    if (result.RefreshFailure) std::rethrow_exception(result.RefreshFailure);
}

TApplyResult TqvIPSetManager::ApplyIPSet(const TIPSetValues& set,
                                         const std::vector<TActivationStep>* given,
                                         bool askGateway) {
    const std::string refusal = ActivationRefusal(set);
    if (!refusal.empty()) throw Exception(refusal);
    // netsh would refuse every line; nothing runs and nothing is half done.
    if (!HasAdministratorRights()) throw Exception(NoAdministratorRightsText);
    std::vector<TActivationStep> steps = given ? *given : ActivationSteps(set);

    TCheckResult check;
    TApplyResult result;
    {
        TBusyScope busy(FBusy);
        FQuitSeen = false;
        ShowWaitBox();
        struct TEndWait {
            TqvIPSetManager& Manager;
            ~TEndWait() {
                Manager.CloseWaitBox();
                DropPendingInput();
                if (Manager.FQuitSeen) PostQuitMessage(static_cast<int>(Manager.FQuitCode));
                Manager.FQuitSeen = false;
            }
        } endWait{*this};
        try {
            const TApplyLock lock(ApplyLockWaitMs,
                                  [this](DWORD ms) { WaitAnswering(nullptr, ms); });
            if (!lock.Held()) throw Exception(AnotherApplyText);
            RunSteps(steps);
            // The adapter decides, whatever the exit codes said; where no
            // run started, nothing changed that could still be on its way.
            bool anyStarted = false;
            for (const TActivationStep& step : steps)
                anyStarted = anyStarted || step.Started;
            check = WaitUntilInEffect(set, anyStarted ? CheckLimit(set) : 0);
            // Whether the way out answers, while the wait window still shows.
            if (askGateway && check.Outcome == TCheckOutcome::InEffect && HasGatewayToProbe(set)) {
                result.Gateway =
                    ProbeGateway(set, [this](HANDLE h, DWORD ms) { WaitAnswering(h, ms); });
                result.GatewayProbed = result.Gateway.Asked;
            }
        } catch (...) {
            RefreshAdapterList();
            throw;
        }
    }
    // The user sees the list as it is now before hearing what went wrong.
    try {
        RefreshAdapterList();
    } catch (...) {
        result.RefreshFailure = std::current_exception();
    }
    const TApplyOutcome outcome = DecideApply(set, steps, check);
    result.Ok = outcome.Ok;
    result.Message = outcome.Message;
    return result;
}

void TqvIPSetManager::RunSteps(std::vector<TActivationStep>& steps) {
    // One time limit for all the runs: a netsh that hangs is waited for once,
    // and the lines after it, which would hang the same way, are left out.
    const DWORD start = GetTickCount();
    bool stopped = false;
    for (TActivationStep& step : steps) {
        if (stopped) {
            step.NotRun = true;
            continue;
        }
        const DWORD elapsed = GetTickCount() - start;
        const TChildRun run =
            RunCommand(step.Command, elapsed < FNetshLimitMs ? FNetshLimitMs - elapsed : 0);
        step.Started = run.Started;
        step.TimedOut = run.TimedOut;
        step.ExitCode = run.Started ? static_cast<int>(run.ExitCode) : -1;
        step.Output = run.LastLines;
        stopped = run.TimedOut;
    }
}

void TqvIPSetManager::SetTimeLimits(DWORD netshMs, DWORD checkMs) {
    FNetshLimitMs = netshMs;
    FCheckLimitMs = checkMs;
}

DWORD TqvIPSetManager::CheckLimit(const TIPSetValues& set) const {
    return FCheckLimitMs ? FCheckLimitMs : CheckLimitMs(set);
}

TCheckResult TqvIPSetManager::WaitUntilInEffect(const TIPSetValues& set, DWORD limit) {
    const DWORD start = GetTickCount();
    for (;;) {
        TCheckResult result;
        try {
            TAdapterView view;
            const bool found = ReadConnectionAdapter(set.Connection, view);
            result = CheckActivation(set, found ? &view : nullptr);
        } catch (const std::exception& e) {
            result.Outcome = TCheckOutcome::NoAdapter;
            result.Text = Format("The IP set \"%s\" could not be checked: the network adapters "
                                 "could not be read (%s).",
                                 set.Name.c_str(), e.what());
        }
        const DWORD elapsed = GetTickCount() - start;
        if (result.Outcome != TCheckOutcome::NotYet || elapsed >= limit) return result;
        WaitAnswering(nullptr, std::min<DWORD>(CheckPollMs, limit - elapsed));
    }
}

bool TqvIPSetManager::ReadConnectionAdapter(const std::string& connection, TAdapterView& view) {
    const std::vector<TConnectionView> views = ReadConnectionViews(TIPInfo());
    const TConnectionView* match = FindConnectionView(views, connection);
    if (!match) return false;
    view = match->View;
    return true;
}

void TqvIPSetManager::DispatchAllButInput() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            FQuitSeen = true;
            FQuitCode = msg.wParam;
            continue;
        }
        if (IsInputMessage(msg.message)) continue;
        DispatchMessageA(&msg);
    }
}

void TqvIPSetManager::WaitAnswering(HANDLE object, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    const DWORD count = object ? 1 : 0;
    for (;;) {
        DispatchAllButInput();
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds) return;
        const DWORD woke = MsgWaitForMultipleObjects(count, object ? &object : nullptr, FALSE,
                                                     milliseconds - elapsed, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0 + count) continue; // messages: served above
        if (woke == WAIT_FAILED) {
            if (object)
                WaitForSingleObject(object, milliseconds - elapsed);
            else
                Sleep(milliseconds - elapsed);
        }
        return;
    }
}

TChildRun TqvIPSetManager::RunCommand(const std::string& commandLine, DWORD timeLimitMs) {
    if (commandLine.size() > MaxCommandLine) return TChildRun{};
    // Never a netsh.exe from the program's or the working folder: the program
    // runs elevated, and those folders may be the user's to write.
    return RunChild(SystemNetshPath(), commandLine, timeLimitMs,
                    [this](HANDLE process, DWORD ms) { WaitAnswering(process, ms); });
}

void TqvIPSetManager::ShowWaitBox() {
    FWaitBox = new TFrmWaitBox(this);
    FWaitBox->Show();
}

void TqvIPSetManager::CloseWaitBox() {
    if (!FWaitBox) return;
    FWaitBox->Close();
    delete FWaitBox;
    FWaitBox = nullptr;
}

std::map<long long, std::string> TqvIPSetManager::ConnectionNames() {
    // One pass instead of a search per set; the table's row stays where it was.
    std::map<long long, std::string> names;
    TDbTable& table = *FConnectionsTable;
    const int current = table.RecNo();
    const TField id = table.FieldByName(IPDb::ID), name = table.FieldByName(IPDb::ConnectionName);
    for (int i = 0; i < table.RecordCount(); ++i) {
        table.MoveTo(i);
        names.emplace(id.AsInteger(), name.AsString()); // the first of equal IDs, as Locate
    }
    if (current >= 0) table.MoveTo(current);
    return names;
}

void TqvIPSetManager::ExportIPSets(const std::string& path) {
    SaveIPSetCsvFile(path, ReadStoredSets(*FIPSetsTable, *FConnectionsTable));
}

void TqvIPSetManager::ImportIPSets(const std::vector<TIPSetValues>& sets) {
    if (FBusy) return;
    StoreImportedSets(*FConnection, *FIPSetsTable, *FConnectionsTable, sets);
    RefreshIPSetTree();
}

std::string TqvIPSetManager::GetConnectionName(long long connectionID) {
    std::string result;
    if (FConnectionsTable->Locate(IPDb::ID, connectionID))
        result = FConnectionsTable->FieldByName(IPDb::ConnectionName).AsString();
    return result;
}

TWindowsVersion TqvIPSetManager::GetWindowsVersion() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA); // 148
    BOOL ok;
    if (versionInfoSource) {
        ok = versionInfoSource(&info);
    } else {
        // Deprecated, but it is the call whose answer the version table describes.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        ok = GetVersionExA(&info);
#pragma GCC diagnostic pop
    }
    return ok ? ClassifyWindowsVersion(info) : wvOther;
}

void TqvIPSetManager::MergeConnectionName(TRegistry& registry) {
    try {
        std::string name = registry.ReadString("Name");
        // Windows names connections without regard to case: "LAN" stored
        // is the registry's "lan", not a second connection.
        bool held = false;
        for (const auto& [id, stored] : ConnectionNames())
            held = held || SameText(stored, name);
        if (!held) {
            FConnectionsTable->Insert();
            FConnectionsTable->FieldByName(IPDb::ConnectionName)
                .SetValue(TFieldValue::FromText(registry.ReadString("Name")));
            // A read-only file still offers the connection for this run.
            if (FConnection->ReadOnly())
                FConnectionsTable->PostUnstored();
            else
                FConnectionsTable->Post();
        }
    } catch (...) {
        FConnectionsTable->Cancel();
        throw;
    }
}

void TqvIPSetManager::SyncConnectionNames() {
    // Read access is enough to list and read the keys.
    TRegistry registry(KEY_READ);
    SnapshotScope snapshot(FIPInfo);
    registry.RootKey = HKEY_LOCAL_MACHINE;
    const std::string base = NetworkBasePath;
    if (!registry.OpenKey(base)) return;
    const std::vector<std::string> classList = registry.GetKeyNames();

    // Connection names below the class keys (every Windows since XP).
    auto scanClassKeys = [&] {
        for (const std::string& classKey : classList) {
            if (!registry.OpenKey(base + classKey)) continue;
            const std::vector<std::string> subkeys = registry.GetKeyNames();
            for (int i = 0; i < FIPInfo->AdapterCount(); ++i) {
                const std::string& adapter = FIPInfo->Adapters(i)->AdapterName();
                if (ContainsText(subkeys, adapter) &&
                    registry.OpenKey(base + classKey + "\\" + adapter + "\\Connection"))
                    MergeConnectionName(registry);
            }
        }
    };

    switch (GetWindowsVersion()) {
    case wvWinXP:
        scanClassKeys();
        break;
    case wvWinVista:
        for (int i = 0; i < FIPInfo->AdapterCount(); ++i) {
            const std::string& adapter = FIPInfo->Adapters(i)->AdapterName();
            if (ContainsText(classList, adapter) &&
                registry.OpenKey(base + adapter + "\\Connection"))
                MergeConnectionName(registry);
        }
        // Vista and later keep the names below the class key as XP does.
        scanClassKeys();
        break;
    default:
        break;
    }
}
