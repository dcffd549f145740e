#include "app/f_main.h"

#include "app/f_About.h"
#include "activation/ExtraAddresses.h"
#include "editor/f_AddAddress.h"
#include "app/LogonTask.h"
#include "app/TrayIcon.h"
#include "app/UserOptions.h"
#include "ipsets/IPSetCsv.h"
#include "ipsets/IPSetStore.h"
#include "ipsets/o_qvIPInfo.h"
#include "toolkit/Application.h"
#include "base/StartupTrace.h"
#include "base/SysUtils.h"

#include <memory>

#include <commdlg.h>
#include <shellapi.h>

TFrmMain* FrmMain = nullptr;

namespace {

// Brings the tray icon's tooltip up to date once the loop runs.
constexpr UINT WM_UPDATETRAYICON = WM_APP + 10;

TFormArgs MainFormArgs() {
    TFormArgs a;
    a.Name = "FrmMain";
    a.Caption = "IPTavix Ver2";
    // 489 x 623 outside with the frame it was designed with.
    a.ClientWidth = 481;
    a.ClientHeight = 569;
    a.HasMenu = true;
    a.Maximize = false;
    return a;
}

const TFontSpec BoldFont{"MS Sans Serif", -11, true, false};
// The tree and the status bar show connection and set names, often localised
// ("Подключение 2", "以太网 2"): a scalable face that covers them (and that
// Windows links to its CJK faces), not the bitmap MS Sans Serif, which holds
// one code page's letters and draws the others as boxes. Regular, so that the
// sets in effect stand out in bold.
const TFontSpec NameFont{"Microsoft Sans Serif", -11, false, false};

template <typename Handler> auto Bind(TFrmMain* form, Handler handler) {
    return [form, handler](TComponent* sender) { (form->*handler)(sender); };
}

// The common dialog for a CSV file of IP sets; "" when the user cancels.
std::string AskCsvPath(HWND owner, bool save) {
    char path[MAX_PATH] = {};
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = "IP set lists (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrDefExt = "csv";
    ofn.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
    ofn.lpstrTitle = save ? "Export IP Sets" : "Import IP Sets";
    const BOOL ok = save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    return ok ? std::string(path) : std::string();
}

} // namespace

std::string HelpFilePath() {
    return IncludeTrailingBackslash(ExtractFilePath(ApplicationExeName())) + "helpiptavix.html";
}

TFrmMain::TFrmMain(TComponent* owner) : TForm(owner, MainFormArgs()) {
    StatusBar = new TStatusBar(
        this, this,
        {.Height = 19, .Align = TAlign::alBottom, .Font = &NameFont, .Name = "StatusBar"});
    StatusBar->SetSimpleText("IP Tavix Ver2");
    MainPageControl = new TPageControl(
        this, this,
        {.Width = 481, .Height = 300, .Align = TAlign::alClient, .Name = "MainPageControl"});
    TabSheet1 =
        new TTabSheet(this, MainPageControl, {.Caption = "Available IP Sets", .Name = "TabSheet1"});
    MainPageControl->SetActivePage(TabSheet1);
    GroupBox1 = new TGroupBox(this, TabSheet1,
                              {.Width = 473,
                               .Height = 226,
                               .Caption = "Current Configuration",
                               .Align = TAlign::alBottom,
                               .Name = "GroupBox1"});
    Panel1 = new TPanel(this, GroupBox1, {.Height = 26, .Align = TAlign::alTop, .Name = "Panel1"},
                        TBevelCut::bvRaised, TBevelCut::bvLowered);
    RefreshBtn = new TButton(this, Panel1,
                             {.Left = 390,
                              .Top = 3,
                              .Width = 75,
                              .Height = 21,
                              .Caption = "Refresh",
                              .Name = "RefreshBtn"});
    RefreshBtn->OnClick = Bind(this, &TFrmMain::RefreshBtnClick);
    IPListView = new TListView(this, GroupBox1,
                               {.Align = TAlign::alClient, .Font = &BoldFont, .Name = "IPListView"},
                               {{"Type", 120}, {"Value", 282}});
    Splitter1 = new TSplitter(this, TabSheet1,
                              {.Height = 5, .Align = TAlign::alBottom, .Name = "Splitter1"});
    IPSetTreeView = new TTreeView(
        this, TabSheet1, {.Align = TAlign::alClient, .Font = &NameFont, .Name = "IPSetTreeView"});
    IPSetTreeView->SetIndent(19);
    IPListView->SetAccessibleName("Current Configuration");
    IPSetTreeView->SetAccessibleName("Available IP Sets");
    IPSetTreeView->OnMouseDown = [this](TComponent* sender, TMouseButton button, UINT keys, int x,
                                        int y) {
        IPSetTreeViewMouseDown(sender, button, keys, x, y);
    };
    IPSetTreeView->OnKeyDown = [this](TComponent* sender, WORD key) {
        IPSetTreeViewKeyDown(sender, key);
    };

    MenuImageList = new TImageList(this, 24, 24);
    MenuImageList->Name = "MenuImageList";
    MenuImageList->LoadStrip("MENUIMAGES");
    MenuImageList->LoadLargerStrip("MENUIMAGES36", 36);
    MenuImageList->LoadLargerStrip("MENUIMAGES48", 48);
    CreateMenus();

    StartupMark("window");

    FIPSetManager = new TqvIPSetManager(this);
    FIPSetManager->SetAdapterListView(IPListView);
    FIPSetManager->SetIPSetTreeView(IPSetTreeView);
    // A message of the apply follows what the connections show, until they
    // change.
    FIPSetManager->OnStatusText = [this](const std::string& text) {
        StatusBar->SetSimpleText(FConnectionStatus.empty() ? text
                                                           : FConnectionStatus + ". " + text);
    };
    FIPSetManager->OnConnectionStates = [this](const std::vector<TConnectionState>& states) {
        ShowConnectionStates(states);
    };
    FIPSetManager->RefreshAdapterList();
    StartupMark("adapters");
    FIPSetManager->BuildIPSetTree();
    StartupMark("tree");
    FAdapterWatch = std::make_unique<TAdapterWatch>([this] { AdaptersChanged(); });
}

void TFrmMain::AdaptersChanged() {
    // An apply refreshes at its end; meanwhile the adapters are on their way.
    if (FIPSetManager->Busy()) return;
    try {
        FIPSetManager->RefreshAdapterList(true);
    } catch (const std::exception&) {
        // Not asked for by the user: a read that fails keeps what is shown.
    }
}

void TFrmMain::ShowConnectionStates(const std::vector<TConnectionState>& states) {
    std::string text = ConnectionStatusText(states);
    if (text.empty()) text = "IP Tavix Ver2";
    // Changed only when the connections did: a message such as an export's
    // stays until then.
    UpdateTrayIcon();
    if (text == FConnectionStatus) return;
    FConnectionStatus = text;
    StatusBar->SetSimpleText(text);
}

void TFrmMain::CreateMenus() {
    MainMenu = new TMainMenu(this);
    MainMenu->Name = "MainMenu";
    MainMenu->Images = MenuImageList;
    TMenuItem* root = MainMenu->Items();
    auto item = [this](TMenuItem* parent, const TMenuItemArgs& args,
                       void (TFrmMain::*handler)(TComponent*)) {
        auto* mi = new TMenuItem(this, parent, args);
        if (handler) mi->OnClick = Bind(this, handler);
        return mi;
    };
    File1 = item(root, {.Name = "File1", .Caption = "File"}, nullptr);
    Options1 = item(File1,
                    {.Name = "Options1",
                     .Caption = "Options",
                     .ImageIndex = 4,
                     .ShortCut = {'O', scCtrl},
                     .Visible = false},
                    nullptr);
    N1 = item(File1, {.Name = "N1", .Caption = "-"}, nullptr);
    RefreshCurrentConfiguration1 = item(File1,
                                        {.Name = "RefreshCurrentConfiguration1",
                                         .Caption = "Refresh Current Configuration",
                                         .ImageIndex = 5,
                                         .ShortCut = {'R', scCtrl}},
                                        &TFrmMain::RefreshCurrentConfiguration1Click);
    N5 = item(File1, {.Name = "N5", .Caption = "-"}, nullptr);
    ExportIPSets1 =
        item(File1, {.Name = "ExportIPSets1", .Caption = "Export IP Sets...", .ImageIndex = 10},
             &TFrmMain::ExportIPSets1Click);
    ImportIPSets1 =
        item(File1, {.Name = "ImportIPSets1", .Caption = "Import IP Sets...", .ImageIndex = 11},
             &TFrmMain::ImportIPSets1Click);
    N2 = item(File1, {.Name = "N2", .Caption = "-"}, nullptr);
    Exit1 = item(File1,
                 {.Name = "Exit1", .Caption = "Exit", .ImageIndex = 6, .ShortCut = {'Q', scCtrl}},
                 &TFrmMain::Exit1Click);
    Connections1 = item(root, {.Name = "Connections1", .Caption = "Connections"}, nullptr);
    ManageConnections1 =
        item(Connections1,
             {.Name = "ManageConnections1", .Caption = "Connection Name List", .ImageIndex = 9},
             &TFrmMain::ManageConnections1Click);
    IPSets1 = item(root, {.Name = "IPSets1", .Caption = "IP Sets"}, nullptr);
    AddNewIPConfigurationSet1 = item(IPSets1,
                                     {.Name = "AddNewIPConfigurationSet1",
                                      .Caption = "Add New IP Configuration Set",
                                      .ImageIndex = 0,
                                      .ShortCut = {VK_INSERT, scNone}},
                                     &TFrmMain::AddNewIPConfigurationSet1Click);
    NewIPSetFromConfiguration1 = item(IPSets1,
                                      {.Name = "NewIPSetFromConfiguration1",
                                       .Caption = "New IP Set from Current Configuration",
                                       .ImageIndex = 12,
                                       .ShortCut = {'N', scCtrl}},
                                      &TFrmMain::NewIPSetFromConfiguration1Click);
    N3 = item(IPSets1, {.Name = "N3", .Caption = "-"}, nullptr);
    ActivatetheselectedIPSet1 = item(IPSets1,
                                     {.Name = "ActivatetheselectedIPSet1",
                                      .Caption = "Activate the selected IP Set",
                                      .ImageIndex = 1,
                                      .ShortCut = {'A', scCtrl}},
                                     &TFrmMain::ActivatetheselectedIPSet1Click);
    EdittheselectedIPSet1 = item(IPSets1,
                                 {.Name = "EdittheselectedIPSet1",
                                  .Caption = "Edit the selected IP Set",
                                  .ImageIndex = 2,
                                  .ShortCut = {'E', scCtrl}},
                                 &TFrmMain::EdittheselectedIPSet1Click);
    DeletetheselectedIPSet1 = item(IPSets1,
                                   {.Name = "DeletetheselectedIPSet1",
                                    .Caption = "Delete the selected IP Set",
                                    .ImageIndex = 3,
                                    .ShortCut = {'D', scCtrl}},
                                   &TFrmMain::DeletetheselectedIPSet1Click);
    N6 = item(IPSets1, {.Name = "N6", .Caption = "-"}, nullptr);
    UndoLastActivation1 = item(IPSets1,
                               {.Name = "UndoLastActivation1",
                                .Caption = "Undo Last Activation",
                                .ImageIndex = 13,
                                .ShortCut = {'Z', scCtrl}},
                               &TFrmMain::UndoLastActivation1Click);
    UndoLastActivation1->Enabled = false; // until an activation has run
    Options2 = item(root, {.Name = "Options2", .Caption = "Options"}, nullptr);
    MinimizetoNotificationArea1 =
        item(Options2,
             {.Name = "MinimizetoNotificationArea1", .Caption = "Minimize to Notification Area"},
             &TFrmMain::MinimizetoNotificationArea1Click);
    FMinimizeToTray = LoadUserOptions().MinimizeToTray;
    MinimizetoNotificationArea1->Checked = FMinimizeToTray;
    StartwithWindows1 =
        item(Options2, {.Name = "StartwithWindows1", .Caption = "Start with Windows"},
             &TFrmMain::StartwithWindows1Click);
    Help1 = item(root, {.Name = "Help1", .Caption = "Help"}, nullptr);
    HelpFile1 = item(Help1, {.Name = "HelpFile1", .Caption = "Help File", .ImageIndex = 7},
                     &TFrmMain::HelpFile1Click);
    About1 = item(Help1, {.Name = "About1", .Caption = "About...", .ImageIndex = 8},
                  &TFrmMain::About1Click);

    TreeViewPopUpMenu = new TPopupMenu(this);
    TreeViewPopUpMenu->Name = "TreeViewPopUpMenu";
    TreeViewPopUpMenu->Images = MenuImageList;
    TMenuItem* pop = TreeViewPopUpMenu->Items();
    ActivatetheselectedIPSet2 = item(pop,
                                     {.Name = "ActivatetheselectedIPSet2",
                                      .Caption = "Activate the selected IP Set",
                                      .ImageIndex = 1,
                                      .ShortCut = {'A', scCtrl},
                                      .Hint = "Activates the IP Set"},
                                     &TFrmMain::ActivatetheselectedIPSet1Click);
    N4 = item(pop, {.Name = "N4", .Caption = "-"}, nullptr);
    popmnuAddNewIPSet = item(pop,
                             {.Name = "popmnuAddNewIPSet",
                              .Caption = "Add New IP Configuration Set",
                              .ImageIndex = 0,
                              .ShortCut = {VK_INSERT, scNone}},
                             &TFrmMain::AddNewIPConfigurationSet1Click);
    EdittheSelectedIPSet2 = item(pop,
                                 {.Name = "EdittheSelectedIPSet2",
                                  .Caption = "Edit the Selected IP Set",
                                  .ImageIndex = 2,
                                  .ShortCut = {'E', scCtrl}},
                                 &TFrmMain::EdittheselectedIPSet1Click);
    DeletetheselectedIPSet2 = item(pop,
                                   {.Name = "DeletetheselectedIPSet2",
                                    .Caption = "Delete the selected IP Set",
                                    .ImageIndex = 3,
                                    .ShortCut = {'D', scCtrl}},
                                   &TFrmMain::DeletetheselectedIPSet1Click);
    IPSetTreeView->PopupMenu = TreeViewPopUpMenu;

    ListViewPopUpMenu = new TPopupMenu(this);
    ListViewPopUpMenu->Name = "ListViewPopUpMenu";
    ListViewPopUpMenu->Images = MenuImageList;
    NewIPSetFromConfiguration2 =
        item(ListViewPopUpMenu->Items(),
             {.Name = "NewIPSetFromConfiguration2",
              .Caption = "New IP Set from Current Configuration",
              .ImageIndex = 12,
              .ShortCut = {'N', scCtrl},
              .Hint = "Adds an IP set holding this adapter's configuration"},
             &TFrmMain::NewIPSetFromConfiguration1Click);
    AddAddressToConnection1 = item(ListViewPopUpMenu->Items(),
                                   {.Name = "AddAddressToConnection1",
                                    .Caption = "Add Address to This Connection...",
                                    .Hint = "Adds one more address to this adapter's connection"},
                                   &TFrmMain::AddAddressToConnection1Click);
    RemoveThisAddress1 = item(ListViewPopUpMenu->Items(),
                              {.Name = "RemoveThisAddress1",
                               .Caption = "Remove This Address",
                               .Hint = "Takes this address off its connection"},
                              &TFrmMain::RemoveThisAddress1Click);
    // Only an address row after the connection's first offers its removal.
    ListViewPopUpMenu->OnPopup = [this](TComponent*) {
        TqvIPSetManager::TAdapterRow row;
        RemoveThisAddress1->Visible =
            FIPSetManager->AdapterRow(IPListView->SelectedIndex(), row) && row.Position > 0;
    };
    IPListView->PopupMenu = ListViewPopUpMenu;

    // The styler paints both menus; its settings in the order they are stored.
    // It comes before the menu bar reaches the window, so the bar is built and
    // the client area shrinks once, not once for each restyling.
    qvMenuStyler1 = new TqvMenuStyler(this);
    qvMenuStyler1->Name = "qvMenuStyler1";
    qvMenuStyler1->SetMenuStyle(msVista);
    qvMenuStyler1->MarginX = 4;
    qvMenuStyler1->MarginY = 4;
    qvMenuStyler1->GutterWidth = 26;
    qvMenuStyler1->SeparatorLead = 6;
    qvMenuStyler1->SetHookAllMenus(true);
    SetMenu(MainMenu);
}

void TFrmMain::RefreshCurrentConfiguration1Click(TComponent*) {
    FIPSetManager->RefreshAdapterList();
}

void TFrmMain::RefreshBtnClick(TComponent*) {
    FIPSetManager->RefreshAdapterList();
}

void TFrmMain::IPSetTreeViewMouseDown(TComponent*, TMouseButton, UINT, int, int) {
    PickSelectedSet();
}

void TFrmMain::IPSetTreeViewKeyDown(TComponent*, WORD key) {
    if (key == VK_RETURN || key == VK_SPACE) PickSelectedSet();
}

void TFrmMain::PickSelectedSet() {
    HTREEITEM node = IPSetTreeView->Selected();
    if (node && !IPSetTreeView->NodeParent(node))
        FSelectedSetID = static_cast<long long>(IPSetTreeView->NodeData(node));
}

void TFrmMain::Exit1Click(TComponent*) {
    Close();
}

void TFrmMain::HelpFile1Click(TComponent*) {
    const std::string& file = Application->HelpFile;
    if (!FileExists(file)) throw Exception(Format("The help file %s was not found", file.c_str()));
    auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(Handle(), "open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32)
        throw Exception(Format("The help file %s could not be opened (error %d)", file.c_str(),
                               static_cast<int>(result)));
}

void TFrmMain::ActivatetheselectedIPSet1Click(TComponent*) {
    ActivateSet(FSelectedSetID);
}

bool TFrmMain::ActivateSet(long long setID) {
    const TUndoItemUpdate update{this};
    return FIPSetManager->ActivateIPSet(setID);
}

void TFrmMain::AddNewIPConfigurationSet1Click(TComponent*) {
    FIPSetManager->AddIPSet();
}

void TFrmMain::EdittheselectedIPSet1Click(TComponent*) {
    FIPSetManager->EditIPSet(FSelectedSetID);
}

void TFrmMain::DeletetheselectedIPSet1Click(TComponent*) {
    FIPSetManager->DeleteIPSet(FSelectedSetID);
}

void TFrmMain::ManageConnections1Click(TComponent*) {
    FIPSetManager->ManageConnections();
}

void TFrmMain::About1Click(TComponent*) {
    ShowAboutBox();
}

void TFrmMain::ExportIPSets1Click(TComponent*) {
    const std::string path = AskCsvPath(Handle(), true);
    if (path.empty()) return;
    FIPSetManager->ExportIPSets(path);
    StatusBar->SetSimpleText("IP sets exported to " + path);
}

void TFrmMain::ImportIPSets1Click(TComponent*) {
    const std::string path = AskCsvPath(Handle(), false);
    if (path.empty()) return;
    std::vector<TIPSetValues> sets;
    std::string error;
    if (!ParseIPSetCsv(LoadIPSetCsvFile(path), sets, error))
        throw Exception(Format("The file %s was not imported; nothing was changed.\r\n%s",
                               path.c_str(), error.c_str()));
    const int replaced = ReplacedSetCount(*FIPSetManager->IPSetsTable(), sets);
    if (replaced > 0 && Application->ShowMessage(ReplacedSetsQuestion(replaced),
                                                 MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return;
    FIPSetManager->ImportIPSets(sets);
    StatusBar->SetSimpleText(
        Format("%u IP sets imported from %s", static_cast<unsigned>(sets.size()), path.c_str()));
}

void TFrmMain::NewIPSetFromConfiguration1Click(TComponent*) {
    // With no row picked, the first adapter.
    TqvIPSetManager::TAdapterRow row;
    FIPSetManager->AddIPSetFromAdapter(
        FIPSetManager->AdapterRow(IPListView->SelectedIndex(), row) ? row.Adapter : 0);
}

void TFrmMain::AddAddressToConnection1Click(TComponent*) {
    TqvIPSetManager::TAdapterRow row;
    if (FIPSetManager->Busy()) return;
    if (!FIPSetManager->AdapterRow(IPListView->SelectedIndex(), row) &&
        !FIPSetManager->AdapterRow(0, row))
        throw Exception("There is no network adapter to add an address to");
    if (row.Connection.empty())
        throw Exception("This adapter has no connection name, so netsh cannot name it");
    TIPSetValues now;
    if (!FIPSetManager->ReadConnectionConfiguration(row.Connection, now))
        throw Exception(
            Format("No network adapter is the connection \"%s\" now", row.Connection.c_str()));
    std::vector<TAddressPair> others;
    ParseExtraAddresses(now.ExtraAddresses, others);
    std::unique_ptr<TFrmAddAddress> dialog(
        new TFrmAddAddress(this, row.Connection, now.Address, others));
    if (dialog->ShowModal() != TModalResult::mrOk) return;
    const std::string address = dialog->Address, mask = dialog->Mask;
    dialog.reset();
    const TUndoItemUpdate update{this};
    FIPSetManager->ChangeConnectionAddress(row.Connection, address, mask, true);
}

void TFrmMain::RemoveThisAddress1Click(TComponent*) {
    TqvIPSetManager::TAdapterRow row;
    if (FIPSetManager->Busy() || !FIPSetManager->AdapterRow(IPListView->SelectedIndex(), row) ||
        row.Position <= 0)
        return;
    const TUndoItemUpdate update{this};
    FIPSetManager->ChangeConnectionAddress(row.Connection, row.Address, row.Mask, false);
}

void TFrmMain::UndoLastActivation1Click(TComponent*) {
    const TUndoItemUpdate update{this};
    FIPSetManager->UndoLastActivation();
}

void TFrmMain::UpdateUndoItem() {
    const bool enabled = FIPSetManager->CanUndoActivation();
    UndoLastActivation1->Enabled = enabled;
    EnableMenuItem(MainMenu->Handle(), UndoLastActivation1->Command(),
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void TFrmMain::ShowTrayIcon() {
    if (!FTrayIcon) FTrayIcon = new TTrayIcon(this);
    PostMessageA(Handle(), WM_UPDATETRAYICON, 0, 0);
}

void TFrmMain::UpdateTrayIcon() {
    if (FTrayIcon) FTrayIcon->Update();
}

void TFrmMain::MinimizetoNotificationArea1Click(TComponent*) {
    TUserOptions options = LoadUserOptions();
    options.MinimizeToTray = !FMinimizeToTray;
    SaveUserOptions(options);
    FMinimizeToTray = options.MinimizeToTray;
    UpdateOptionTicks();
}

void TFrmMain::StartwithWindows1Click(TComponent*) {
    try {
        const std::unique_ptr<TTaskStore> store = OpenTaskStore();
        TLogonTask task(*store, CurrentUserId(), AnsiToWide(ApplicationExeName()));
        if (task.Registered())
            task.Unregister();
        else
            task.Register();
        StartwithWindows1->Checked = task.Registered();
    } catch (const std::exception& e) {
        throw Exception(std::string("Start with Windows was not changed. ") + e.what());
    }
    UpdateOptionTicks();
}

void TFrmMain::UpdateOptionTicks() {
    MinimizetoNotificationArea1->Checked = FMinimizeToTray;
    HMENU menu = MainMenu->Handle();
    for (TMenuItem* item : {MinimizetoNotificationArea1, StartwithWindows1})
        CheckMenuItem(menu, item->Command(),
                      MF_BYCOMMAND | (item->Checked ? MF_CHECKED : MF_UNCHECKED));
}

LRESULT TFrmMain::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SIZE: {
        const LRESULT result = TForm::WndProc(msg, wParam, lParam);
        // Hidden only where the icon is there to bring it back.
        if (wParam == SIZE_MINIMIZED && FMinimizeToTray && FTrayIcon && FTrayIcon->Shown())
            ShowWindow(Handle(), SW_HIDE);
        return result;
    }
    case WM_UPDATETRAYICON:
        UpdateTrayIcon();
        return 0;
    case WM_INITMENUPOPUP:
        if (GetMenuState(reinterpret_cast<HMENU>(wParam), StartwithWindows1->Command(),
                         MF_BYCOMMAND) != static_cast<UINT>(-1)) {
            // Asked each time: the task can be deleted outside the program.
            try {
                const std::unique_ptr<TTaskStore> store = OpenTaskStore();
                StartwithWindows1->Checked =
                    TLogonTask(*store, CurrentUserId(), AnsiToWide(ApplicationExeName()))
                        .Registered();
            } catch (const std::exception&) {
                StartwithWindows1->Checked = false; // no scheduler to ask: no task
            }
            UpdateOptionTicks();
        }
        break;
    default:
        break;
    }
    return TForm::WndProc(msg, wParam, lParam);
}
