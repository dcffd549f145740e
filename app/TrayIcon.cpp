#include "app/TrayIcon.h"

#include "app/NotifyIcon.h"
#include "app/f_main.h"
#include "activation/ActivationCheck.h"
#include "ipsets/IPSetStore.h"
#include "ipsets/o_qvIPInfo.h"
#include "store/IPDatabase.h"
#include "toolkit/Application.h"

namespace {
const char TrayTitle[] = "IP Tavix Ver2";
}

TTrayState ReadTrayState(TqvIPSetManager& manager) {
    TTrayState state;
    TDbTable& setsTable = *manager.IPSetsTable();
    TDbTable& connections = *manager.ConnectionsTable();
    const std::vector<TIPSetValues> sets = ReadStoredSets(setsTable, connections);
    std::vector<long long> keys; // the same rows in the same order
    for (setsTable.First(); !setsTable.Eof(); setsTable.Next())
        keys.push_back(setsTable.FieldByName(IPDb::ID).AsInteger());
    for (size_t i = 0; i < sets.size() && i < keys.size(); ++i)
        state.Sets.push_back({keys[i], sets[i].Name, sets[i].Connection, false});

    std::vector<std::string> names;
    for (connections.First(); !connections.Eof(); connections.Next())
        names.push_back(connections.FieldByName(IPDb::ConnectionName).AsString());
    for (const std::string& name : names) {
        TAdapterView view;
        try {
            if (name.empty() || !manager.ReadConnectionAdapter(name, view)) continue;
        } catch (const std::exception&) {
            continue; // adapters that cannot be read now: the sets are listed, none checked
        }
        TTrayConnection connection{name, view.Addresses.empty() ? "" : view.Addresses[0].first, ""};
        if (const TIPSetValues* set = SetInEffect(sets, name, view)) {
            connection.SetInEffect = set->Name;
            const size_t index = static_cast<size_t>(set - sets.data());
            if (index < state.Sets.size()) state.Sets[index].InEffect = true;
        }
        state.Connections.push_back(connection);
    }
    return state;
}

TTrayIcon::TTrayIcon(TFrmMain* form) : TComponent(form), FForm(form) {
    FIcon = new TNotifyIcon(this, LoadIconA(GetModuleHandleA(nullptr), "MAINICON"), TrayTitle);
    FIcon->OnContextMenu = [this](int x, int y) { ShowMenu(x, y); };
    FIcon->OnSelect = [this] { ShowMainWindow(); };
    // Without an icon a hidden window could not be reached.
    FIcon->OnGiveUp = [this] {
        if (!IsWindowVisible(FForm->Handle())) ShowMainWindow();
    };
    FMenu = new TPopupMenu(form);
    FMenu->Name = "TrayPopUpMenu";
    FMenu->Images = form->MenuImageList;
}

TTrayIcon::~TTrayIcon() {
    // The menu and its items are the form's, and may be gone already when
    // the form destroys its components; the icon goes with this object.
    DestroyComponents();
}

bool TTrayIcon::Shown() const {
    return FIcon->Shown();
}

void TTrayIcon::Update() {
    if (!FIcon->Shown()) return;
    // What the last refresh of the adapters found: no second read of the
    // adapters, and the sets' table is not moved under an open editor.
    std::vector<TTrayConnection> connections;
    for (const TConnectionState& state : FForm->IPSetManager()->ConnectionStates())
        if (!state.Connection.empty())
            connections.push_back({state.Connection, state.Address, state.SetName});
    FIcon->SetTip(TrayTooltip(connections, TrayTitle));
}

void TTrayIcon::BuildMenu(const TTrayState& state) {
    for (TMenuItem* item : FItems)
        delete item;
    FItems.clear();
    TMenuItem* root = FMenu->Items();
    auto add = [this, root](const TMenuItemArgs& args) {
        auto* item = new TMenuItem(FForm, root, args);
        FItems.push_back(item);
        return item;
    };
    for (const TTrayMenuEntry& entry : TrayMenuEntries(state.Sets)) {
        TMenuItem* item = add({.Name = "", .Caption = entry.Caption});
        if (entry.Heading) {
            item->Enabled = false;
            continue;
        }
        item->Checked = entry.Checked;
        const long long id = entry.SetID;
        item->OnClick = [this, id](TComponent*) { ApplySet(id); };
    }
    if (!state.Sets.empty()) add({.Name = "", .Caption = "-"});
    TMenuItem* undo = add(
        {.Name = "TrayUndoLastActivation", .Caption = "Undo Last Activation", .ImageIndex = 13});
    undo->Enabled = FForm->IPSetManager()->CanUndoActivation();
    undo->OnClick = [this](TComponent*) { FForm->UndoLastActivation1Click(FForm); };
    add({.Name = "", .Caption = "-"});
    TMenuItem* open = add({.Name = "TrayOpen", .Caption = "Open IP Tavix Ver2"});
    open->Default = true;
    open->OnClick = [this](TComponent*) { ShowMainWindow(); };
    TMenuItem* exitItem = add({.Name = "TrayExit", .Caption = "Exit", .ImageIndex = 6});
    exitItem->OnClick = [this](TComponent*) { FForm->Close(); };
    FForm->qvMenuStyler1->HookMenus();
}

void TTrayIcon::ShowMenu(int x, int y) {
    // One command at a time: while a set is applied, or a dialog of the
    // program waits for an answer, the menu is not offered.
    if (FForm->IPSetManager()->Busy()) return;
    if (!IsWindowEnabled(FForm->Handle())) {
        ShowMainWindow();
        return;
    }
    const TTrayState state = ReadTrayState(*FForm->IPSetManager());
    FIcon->SetTip(TrayTooltip(state.Connections, TrayTitle));
    BuildMenu(state);
    // The menu closes when the user clicks elsewhere only if its window is
    // in the foreground.
    SetForegroundWindow(FForm->Handle());
    FMenu->Popup(x, y, FForm->Handle());
}

void TTrayIcon::ShowMainWindow() {
    HWND wnd = FForm->Handle();
    if (IsIconic(wnd))
        ShowWindow(wnd, SW_RESTORE);
    else
        FForm->Show();
    SetForegroundWindow(GetLastActivePopup(wnd));
}

void TTrayIcon::ApplySet(long long setID) {
    TIPSetValues set;
    if (!FForm->IPSetManager()->ReadIPSet(setID, set)) return;
    if (FForm->ActivateSet(setID))
        FIcon->ShowBalloon(TrayTitle, InEffectBalloonText(set.Name, set.Connection));
    Update();
}
