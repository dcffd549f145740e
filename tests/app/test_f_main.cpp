#include "app/SingleInstance.h"
#include "app/f_main.h"
#include "editor/f_IPSet.h"
#include "ipsets/o_qvIPInfo.h"
#include "support/MainWindowFixture.h"
#include "support/TestSupport.h"
#include "toolkit/Accessibility.h"
#include "toolkit/Application.h"
#include "base/SysUtils.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <commctrl.h>
#include <sddl.h>

#include <algorithm>
#include <functional>
#include <future>
#include <thread>

namespace {

class MainWindow : public MainWindowFixture {
protected:
    void SetUp() override {
        Db = FreshDatabase();
        ExecSql(Db, "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN'), ('Wireless');"
                    "INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, "
                    "CONNECTION) VALUES ('Office', '10.1.2.3', '255.255.0.0', '10.1.0.1', "
                    "'10.1.0.2', 0, 2);"
                    "INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, "
                    "CONNECTION) VALUES ('Home', '0.0.0.0', '0.0.0.0', '0.0.0.0', '0.0.0.0', 1, 1);"
                    "INSERT INTO IPSets (IPSET_NAME, CONNECTION) VALUES ('Orphan', 9)");
        FakeAdapter a;
        a.Name = "{ADAPTER-A}";
        a.Description = "Ethernet";
        a.Dhcp = false;
        a.Addresses = {{"10.0.0.5", "255.0.0.0"}, {"192.168.1.5", "255.255.255.0"}};
        a.Gateways = {{"10.0.0.1", "255.255.255.255"}};
        FakeAdapter b;
        b.Name = "{ADAPTER-B}";
        b.Description = "Wireless";
        b.Addresses = {{"", ""}};
        Adapters.Adapters = {a, b};
        OpenMainWindow(false);
    }

    std::vector<std::string> TopLevelTexts() {
        std::vector<std::string> out;
        TTreeView* tree = Form->IPSetTreeView;
        for (HTREEITEM n = tree->FirstChild(TVI_ROOT); n; n = tree->NextSibling(n))
            out.push_back(tree->NodeText(n));
        return out;
    }
    HTREEITEM TopLevel(int index) {
        TTreeView* tree = Form->IPSetTreeView;
        HTREEITEM n = tree->FirstChild(TVI_ROOT);
        while (index-- > 0)
            n = tree->NextSibling(n);
        return n;
    }
    std::vector<std::string> Details(HTREEITEM node) {
        std::vector<std::string> out;
        TTreeView* tree = Form->IPSetTreeView;
        for (HTREEITEM n = tree->FirstChild(node); n; n = tree->NextSibling(n)) {
            out.push_back(tree->NodeText(n));
            EXPECT_EQ(tree->NodeData(n), 0);
        }
        return out;
    }
    // A real click: the tree selects on the button press and then runs its
    // drag detection, which the queued release ends at once.
    void Click(HTREEITEM node, UINT down = WM_LBUTTONDOWN, UINT up = WM_LBUTTONUP) {
        RECT r = Form->IPSetTreeView->NodeRect(node);
        LPARAM pos = MAKELPARAM(r.left + 3, (r.top + r.bottom) / 2);
        HWND wnd = Form->IPSetTreeView->Handle();
        PostMessageA(wnd, up, 0, pos);
        SendMessageA(wnd, down, down == WM_LBUTTONDOWN ? MK_LBUTTON : MK_RBUTTON, pos);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
};

} // namespace

TEST_F(MainWindow, ListShowsARowPerAddressAndFourMorePerAdapter) {
    TListView* list = Form->IPListView;
    ASSERT_EQ(list->Count(), 11);
    const char* labels[] = {"Adapter ID",      "Description",     "Current IP",  "Current IP",
                            "Default Gateway", "DHCP Enabled",    "Adapter ID",  "Description",
                            "Current IP",      "Default Gateway", "DHCP Enabled"};
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(list->ItemText(i, 0), labels[i]);
    EXPECT_EQ(list->ItemText(0, 1), "{ADAPTER-A}");
    EXPECT_EQ(list->ItemText(1, 1), "Ethernet");
    EXPECT_EQ(list->ItemText(2, 1), "10.0.0.5/255.0.0.0");
    EXPECT_EQ(list->ItemText(3, 1), "192.168.1.5/255.255.255.0");
    EXPECT_EQ(list->ItemText(4, 1), "10.0.0.1/255.255.255.255");
    EXPECT_EQ(list->ItemText(5, 1), "False");
    EXPECT_EQ(list->ItemText(6, 1), "{ADAPTER-B}");
    EXPECT_EQ(list->ItemText(8, 1), ""); // empty address and mask add nothing
    EXPECT_EQ(list->ItemText(10, 1), "True");
    // Each row knows its adapter; only a further address may be removed.
    TqvIPSetManager::TAdapterRow row;
    ASSERT_TRUE(Manager->AdapterRow(3, row));
    EXPECT_EQ(row.Adapter, 0);
    EXPECT_EQ(row.Position, 1);
    EXPECT_EQ(row.Address + "/" + row.Mask, "192.168.1.5/255.255.255.0");
    ASSERT_TRUE(Manager->AdapterRow(7, row));
    EXPECT_EQ(row.Adapter, 1);
    EXPECT_EQ(row.Position, -1);
    EXPECT_FALSE(Manager->AdapterRow(11, row));
    EXPECT_EQ(list->ColumnWidth(0), 120);
    EXPECT_EQ(list->ColumnWidth(1), 282);
}

TEST_F(MainWindow, FailingSnapshotKeepsTheRowsAndReachesTheErrorBox) {
    Adapters.Status = ERROR_NOT_SUPPORTED;
    MessageBoxCatcher boxes;
    SendMessageA(Form->Handle(), WM_COMMAND, Form->RefreshCurrentConfiguration1->Command(), 0);
    EXPECT_EQ(Form->IPListView->Count(), 11);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Caption, "QV IP Tavix Ver2");
    EXPECT_EQ(boxes.Boxes[0].Text, "System Error.  Code: 50.\r\n" + SysErrorMessage(50) + ".");
}

TEST_F(MainWindow, TreeShowsEverySetWithItsDetailLines) {
    EXPECT_EQ(TopLevelTexts(), (std::vector<std::string>{"Office", "Home", "Orphan"}));
    TTreeView* tree = Form->IPSetTreeView;
    EXPECT_EQ(tree->NodeData(TopLevel(0)), 1);
    EXPECT_EQ(tree->NodeData(TopLevel(2)), 3);
    EXPECT_EQ(Details(TopLevel(0)),
              (std::vector<std::string>{"IP:10.1.2.3", "Subnet mask :255.255.0.0",
                                        "Def.Gateway :10.1.0.1", "DNS :10.1.0.2", "DHCP :False",
                                        "Connection Name:Wireless"}));
    EXPECT_EQ(
        Details(TopLevel(1)),
        (std::vector<std::string>{"IP:0.0.0.0", "Subnet mask :0.0.0.0", "Def.Gateway :0.0.0.0",
                                  "DNS :0.0.0.0", "DHCP :True", "Connection Name:LAN"}));
    EXPECT_EQ(Details(TopLevel(2)),
              (std::vector<std::string>{
                  "IP:", "Subnet mask :", "Def.Gateway :", "DNS :", "DHCP :", "Connection Name:"}));
}

// More sets than the tree shows at once: those below the first screen are
// added after the first paint, all of them and in order; an editor opened
// before then still writes to the set it was opened on.
TEST_F(MainWindow, SetsBelowTheFirstScreenFollowTheFirstPaint) {
    Scope.reset();
    delete Form;
    ExecSql(Db, "WITH RECURSIVE n(i) AS (SELECT 4 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
                "INSERT INTO IPSets (IPSET_NAME, IPADDRESS, CONNECTION) "
                "SELECT 'Set ' || i, '10.0.0.' || (i % 250), 1 FROM n");
    OpenMainWindow(true);
    RunInModalLoop([] {
        auto* dialog = dynamic_cast<TFrmIPSet*>(
            TControl::FromHandle(FindWindowA(nullptr, "Edit existing IP Set")));
        ASSERT_NE(dialog, nullptr);
        dialog->edtIPSetName->SetText("Home renamed");
        dialog->btnOk->Click();
    });
    Manager->EditIPSet(2);
    EXPECT_EQ(QueryColumn(Db, "SELECT IPSET_NAME FROM IPSets WHERE ID IN (2, 300) ORDER BY ID"),
              (std::vector<std::string>{"Home renamed", "Set 300"}));

    // Without the editor's rebuild: the sets come in the first pass of the loop.
    Scope.reset();
    delete Form;
    OpenMainWindow(true);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    std::vector<std::string> names = TopLevelTexts();
    ASSERT_EQ(names.size(), 300u);
    EXPECT_EQ(names[1], "Home renamed");
    EXPECT_EQ(names[150], "Set 151");
    EXPECT_EQ(names[299], "Set 300");
    EXPECT_EQ(Details(TopLevel(299))[0], "IP:10.0.0.50");
}

// The set each connection shows now is bold, the status bar names it, and a
// change of the adapter moves both without touching the list's selection or
// scroll position. A rebuilt tree keeps the bold without a new read.
TEST_F(MainWindow, TheSetInEffectIsBoldNamedAndFollowsTheAdapter) {
    Scope.reset();
    delete Form;
    ExecSql(Db, "INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, "
                "CONNECTION) VALUES ('Work', '10.0.0.5', '255.0.0.0', '10.0.0.1', '', 0, 1), "
                "('Work again', '10.0.0.5', '255.0.0.0', '10.0.0.1', '', 0, 1)");
    // No registry names in these tests: the connections go by the names Windows shows.
    Adapters.Adapters[0].FriendlyName = "lan";
    Adapters.Adapters[0].Addresses = {{"10.0.0.5", "255.0.0.0"}};
    Adapters.Adapters[1].FriendlyName = "Wireless";
    OpenMainWindow(true);
    TTreeView* tree = Form->IPSetTreeView;
    auto boldSets = [&] {
        std::vector<std::string> out;
        for (HTREEITEM n = tree->FirstChild(TVI_ROOT); n; n = tree->NextSibling(n))
            if (tree->NodeBold(n)) out.push_back(tree->NodeText(n));
        return out;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(boldSets(), Names{"Work"}); // the first of equal sets
    EXPECT_EQ(Form->StatusBar->PanelText(), "lan: Work; Wireless: no address");

    TListView* list = Form->IPListView;
    list->SelectIndex(7);
    const int top = list->TopIndex();
    Adapters.Adapters[0].Addresses = {{"10.0.0.6", "255.0.0.0"}};
    Manager->RefreshAdapterList(true);
    EXPECT_EQ(boldSets(), Names{});
    EXPECT_EQ(Form->StatusBar->PanelText(), "lan: 10.0.0.6; Wireless: no address");
    EXPECT_EQ(list->ItemText(2, 1), "10.0.0.6/255.0.0.0");
    EXPECT_EQ(list->SelectedIndex(), 7);
    EXPECT_EQ(list->TopIndex(), top);

    // The stored set edited to what the adapter shows: bold again at the rebuild.
    ExecSql(Db, "UPDATE IPSets SET IPADDRESS = '10.0.0.6' WHERE IPSET_NAME = 'Work again'");
    Manager->RefreshIPSetTree();
    EXPECT_EQ(boldSets(), Names{"Work again"});

    // An adapter more: the rows are built again, the selection stays on its row.
    FakeAdapter c = Adapters.Adapters[1];
    c.Name = "{ADAPTER-C}";
    c.FriendlyName = "Third";
    Adapters.Adapters.push_back(c);
    Manager->RefreshAdapterList(true);
    EXPECT_EQ(list->Count(), 15);
    EXPECT_EQ(list->SelectedIndex(), 7);
    EXPECT_EQ(Form->StatusBar->PanelText(),
              "lan: Work again; Wireless: no address; Third: no address");
}

// The live view refreshes while an editor is open (its modal loop serves the
// watch's messages): the editor still writes to the set it was opened on.
TEST_F(MainWindow, ALiveRefreshUnderAnOpenEditorLeavesItsSet) {
    Scope.reset();
    delete Form;
    OpenMainWindow(true);
    RunInModalLoop([this] {
        auto* dialog = dynamic_cast<TFrmIPSet*>(
            TControl::FromHandle(FindWindowA(nullptr, "Edit existing IP Set")));
        ASSERT_NE(dialog, nullptr);
        Adapters.Adapters[0].Addresses = {{"10.0.0.7", "255.0.0.0"}};
        Manager->RefreshAdapterList(true);
        dialog->edtIPSetName->SetText("Office renamed");
        dialog->btnOk->Click();
    });
    Manager->EditIPSet(1);
    EXPECT_EQ(QueryColumn(Db, "SELECT IPSET_NAME FROM IPSets ORDER BY ID"),
              (std::vector<std::string>{"Office renamed", "Home", "Orphan"}));
}

TEST_F(MainWindow, RebuildCollapsesAndClearsTheSelection) {
    TTreeView* tree = Form->IPSetTreeView;
    tree->Expand(TopLevel(0), true);
    tree->Select(tree->FirstChild(TopLevel(0)));
    ASSERT_TRUE(tree->Expanded(TopLevel(0)));
    Form->IPSetManager()->RefreshIPSetTree();
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(tree->Expanded(TopLevel(i)));
    EXPECT_EQ(tree->Selected(), nullptr);
    ExecSql(Db, "DELETE FROM IPSets");
    Form->IPSetManager()->RefreshIPSetTree();
    EXPECT_EQ(tree->Count(), 0);
}

TEST_F(MainWindow, MouseDownRecordsOnlySetNodes) {
    TTreeView* tree = Form->IPSetTreeView;
    EXPECT_EQ(Form->SelectedSetID(), 0);
    Click(TopLevel(1));
    EXPECT_EQ(Form->SelectedSetID(), 2);
    // A detail line under another set keeps the recorded key.
    tree->Expand(TopLevel(0), true);
    Click(tree->FirstChild(TopLevel(0)));
    EXPECT_EQ(tree->Selected(), tree->FirstChild(TopLevel(0)));
    EXPECT_EQ(Form->SelectedSetID(), 2);
    // A right click selects the node under the pointer before it is recorded.
    Form->IPSetTreeView->PopupMenu = nullptr; // no menu loop in this test
    Click(TopLevel(2), WM_RBUTTONDOWN, WM_RBUTTONUP);
    EXPECT_EQ(Form->SelectedSetID(), 3);
    // A rebuild leaves the key as it is, also for a set that is gone.
    ExecSql(Db, "DELETE FROM IPSets WHERE ID = 3");
    Form->IPSetManager()->RefreshIPSetTree();
    EXPECT_EQ(Form->SelectedSetID(), 3);
}

TEST_F(MainWindow, EnterOrSpaceOnASetPicksItAndArrowsAloneDoNot) {
    TTreeView* tree = Form->IPSetTreeView;
    auto key = [&](WORD vk) {
        SendMessageA(tree->Handle(), WM_KEYDOWN, vk, 1);
        SendMessageA(tree->Handle(), WM_KEYUP, vk, 0xC0000001);
    };
    tree->SetFocus();
    tree->Select(TopLevel(0));
    key(VK_DOWN);
    EXPECT_EQ(tree->Selected(), TopLevel(1));
    EXPECT_EQ(Form->SelectedSetID(), 0);
    key(VK_RETURN);
    EXPECT_EQ(Form->SelectedSetID(), 2);
    key(VK_DOWN);
    key(VK_SPACE);
    EXPECT_EQ(Form->SelectedSetID(), 3);
    // On a detail line the recorded key stays.
    tree->Expand(TopLevel(0), true);
    tree->Select(tree->FirstChild(TopLevel(0)));
    key(VK_RETURN);
    EXPECT_EQ(Form->SelectedSetID(), 3);
}

TEST_F(MainWindow, DeleteAsksWithoutOwnerAndRemovesOnYes) {
    Click(TopLevel(0));
    {
        MessageBoxCatcher no(IDNO);
        SendMessageA(Form->Handle(), WM_COMMAND, Form->DeletetheselectedIPSet1->Command(), 0);
        ASSERT_EQ(no.Boxes.size(), 1u);
        EXPECT_EQ(no.Boxes[0].Caption, "IP Tavix Ver2");
        EXPECT_EQ(no.Boxes[0].Text, "Are sure you want to delete the selected IP Set ?");
        EXPECT_EQ(no.Boxes[0].Owner, nullptr);
    }
    EXPECT_EQ(TopLevelTexts().size(), 3u);
    MessageBoxCatcher yes(IDYES);
    SendMessageA(Form->Handle(), WM_COMMAND, Form->DeletetheselectedIPSet2->Command(), 0);
    EXPECT_EQ(TopLevelTexts(), (std::vector<std::string>{"Home", "Orphan"}));
    EXPECT_EQ(QueryColumn(Db, "SELECT count(*) FROM IPSets"), (std::vector<std::string>{"2"}));
    // The recorded key now finds nothing: no question is asked.
    SendMessageA(Form->Handle(), WM_COMMAND, Form->DeletetheselectedIPSet1->Command(), 0);
    EXPECT_EQ(yes.Boxes.size(), 1u);
}

TEST_F(MainWindow, LayoutFollowsTheAlignRules) {
    Form->Show();
    // The layout keeps the designed client area (489 x 623 outside with the
    // frame metrics it was designed with; Wine's classic frame is thinner).
    RECT client;
    GetClientRect(Form->Handle(), &client);
    EXPECT_EQ(client.right, 481);
    EXPECT_EQ(client.bottom, 569);
    EXPECT_EQ(Form->StatusBar->Height(), 19);
    EXPECT_EQ(Form->GroupBox1->Height(), 226);
    EXPECT_EQ(Form->Splitter1->Top() + 5, Form->GroupBox1->Top());
    EXPECT_EQ(Form->IPSetTreeView->Top() + Form->IPSetTreeView->Height(), Form->Splitter1->Top());
    EXPECT_EQ(Form->IPSetTreeView->Height(), 291);
    EXPECT_EQ(Form->Panel1->Height(), 26);
    EXPECT_EQ(Form->RefreshBtn->Left(), 390);
    // Growing the window gives the tree all of the extra height.
    int before = Form->IPSetTreeView->Height();
    RECT outer;
    GetWindowRect(Form->Handle(), &outer);
    SetWindowPos(Form->Handle(), nullptr, 0, 0, outer.right - outer.left,
                 outer.bottom - outer.top + 100, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(Form->IPSetTreeView->Height(), before + 100);
    EXPECT_EQ(Form->GroupBox1->Height(), 226);
}

TEST_F(MainWindow, SplitterMovesTheBorderBetweenTreeAndGroupBox) {
    Form->Show();
    HWND splitter = Form->Splitter1->Handle();
    int tree = Form->IPSetTreeView->Height();
    SendMessageA(splitter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 2));
    SendMessageA(splitter, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(10, static_cast<WORD>(-38)));
    SendMessageA(splitter, WM_LBUTTONUP, 0, MAKELPARAM(10, static_cast<WORD>(-38)));
    EXPECT_EQ(Form->GroupBox1->Height(), 266);
    EXPECT_EQ(Form->IPSetTreeView->Height(), tree - 40);
}

TEST_F(MainWindow, MenusCarryTheirShortcutsAndHiddenOptions) {
    HMENU bar = GetMenu(Form->Handle());
    ASSERT_NE(bar, nullptr);
    // File, Connections, IP Sets, Options, Help.
    EXPECT_EQ(GetMenuItemCount(bar), 5);
    HMENU file = GetSubMenu(bar, 0);
    // Options is hidden: the File menu starts with its separator.
    EXPECT_EQ(GetMenuItemCount(file), 7);
    char text[128];
    GetMenuStringA(file, 1, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(text, "Refresh Current Configuration\tCtrl+R");
    GetMenuStringA(file, 3, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(text, "Export IP Sets...");
    GetMenuStringA(file, 4, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(text, "Import IP Sets...");
    HMENU sets = GetSubMenu(bar, 2);
    GetMenuStringA(sets, 0, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(text, "Add New IP Configuration Set\tIns");
    GetMenuStringA(sets, 1, text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(text, "New IP Set from Current Configuration\tCtrl+N");
    const int last = GetMenuItemCount(sets) - 1;
    GetMenuStringA(sets, static_cast<UINT>(last), text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(text, "Undo Last Activation\tCtrl+Z");
    // Nothing to undo before the first activation.
    EXPECT_TRUE(GetMenuState(sets, static_cast<UINT>(last), MF_BYPOSITION) & MF_GRAYED);
    EXPECT_EQ(Form->IPListView->PopupMenu, Form->ListViewPopUpMenu);
    EXPECT_EQ(Form->ActivatetheselectedIPSet2->Hint, "Activates the IP Set");
    // The hidden item has no action, also through its command.
    SendMessageA(Form->Handle(), WM_COMMAND, Form->Options1->Command(), 0);
    EXPECT_FALSE(Form->Options1->OnClick);
}

TEST_F(MainWindow, HandlerFailureIsShownWithTheTitleAndFullStop) {
    App.HelpFile = TestFolder() + "missing-help.html";
    MessageBoxCatcher boxes;
    SendMessageA(Form->Handle(), WM_COMMAND, Form->HelpFile1->Command(), 0);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Caption, "QV IP Tavix Ver2");
    EXPECT_EQ(boxes.Boxes[0].Text, "The help file " + App.HelpFile + " was not found.");
}

namespace {

// Every item of `menu` and its submenus: owner-drawn, and its string the
// item's caption with its shortcut, as a screen reader reads it.
int CheckMenuStrings(HMENU menu, bool topLevel) {
    int checked = 0;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        MENUITEMINFOA info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_DATA | MIIM_SUBMENU;
        EXPECT_TRUE(GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info));
        auto* item = reinterpret_cast<TMenuItem*>(info.dwItemData);
        EXPECT_TRUE(info.fType & MFT_OWNERDRAW) << i;
        if (!item || item->IsLine()) continue;
        std::string expected = item->Caption;
        if (!topLevel && !ShortCutToText(item->ShortCut).empty())
            expected += "\t" + ShortCutToText(item->ShortCut);
        char text[256] = {};
        GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof(text), MF_BYPOSITION);
        EXPECT_EQ(text, expected);
        ++checked;
        if (info.hSubMenu) checked += CheckMenuStrings(info.hSubMenu, false);
    }
    return checked;
}

} // namespace

TEST_F(MainWindow, OwnerDrawnMenuItemsKeepTheirCaptionsAsStrings) {
    Form->Show();
    const int items = CheckMenuStrings(GetMenu(Form->Handle()), true);
    EXPECT_GE(items, 12);
    const int popupItems = CheckMenuStrings(Form->TreeViewPopUpMenu->Handle(), false);
    EXPECT_GE(popupItems, 4);
    // The item a screen reader announces for Ctrl+A.
    char text[256] = {};
    GetMenuStringA(GetMenu(Form->Handle()), Form->ActivatetheselectedIPSet1->Command(), text,
                   sizeof(text), MF_BYCOMMAND);
    EXPECT_STREQ(text, "Activate the selected IP Set\tCtrl+A");
}

TEST_F(MainWindow, TreeAndListAreNamedForAssistiveTechnology) {
    Form->Show();
    EXPECT_EQ(AccessibleNameOf(Form->IPSetTreeView->Handle()), "Available IP Sets");
    EXPECT_EQ(AccessibleNameOf(Form->IPListView->Handle()), "Current Configuration");
}

// Connection names are often localised: where the tree and the status bar
// show them, their font has the letters, not boxes.
TEST_F(MainWindow, TheTreeAndTheStatusBarDrawLocalisedConnectionNames) {
    const std::wstring name =
        L"\x041F\x043E\x0434\x043A\x043B\x044E\x0447\x0435\x043D\x0438\x0435"; // Подключение
    for (TControl* control :
         std::initializer_list<TControl*>{Form->IPSetTreeView, Form->StatusBar}) {
        HDC dc = GetDC(control->Handle());
        HGDIOBJ old = SelectObject(
            dc, reinterpret_cast<HFONT>(SendMessageA(control->Handle(), WM_GETFONT, 0, 0)));
        std::vector<WORD> glyphs(name.size());
        GetGlyphIndicesW(dc, name.c_str(), static_cast<int>(name.size()), glyphs.data(),
                         GGI_MARK_NONEXISTING_GLYPHS);
        SelectObject(dc, old);
        ReleaseDC(control->Handle(), dc);
        EXPECT_EQ(std::count(glyphs.begin(), glyphs.end(), 0xFFFF), 0) << control->ClassName();
    }
}

TEST(SingleInstance, OneProgramPerDatabaseFileHoweverItsPathIsSpelled) {
    const std::string path = TestFolder() + "DataBase\\ipdb.ipdb";
    const std::string name = InstanceMutexName(path);
    // Machine-wide: a task running as SYSTEM meets the user's window.
    EXPECT_EQ(name.rfind("Global\\", 0), 0u);
    EXPECT_EQ(name.find('\\', 7), std::string::npos);
    for (const std::string& same :
         {UpperCase(path), TestFolder() + "DataBase\\..\\DataBase\\ipdb.ipdb",
          TestFolder() + "DataBase/ipdb.ipdb"})
        EXPECT_EQ(InstanceMutexName(same), name) << same;
    EXPECT_NE(InstanceMutexName(TestFolder() + "Other\\ipdb.ipdb"), name);

    // Another program is another thread here: a mutex's owner may take it again.
    auto elsewhere = [](const std::function<void()>& work) { std::thread(work).join(); };
    {
        TSingleInstance first(path);
        EXPECT_TRUE(first.First());
        HWND window = CreateWindowExA(0, "STATIC", "first", WS_POPUP, 0, 0, 10, 10, nullptr,
                                      nullptr, nullptr, nullptr);
        first.Publish(window);
        elsewhere([&] {
            TSingleInstance second(UpperCase(path));
            EXPECT_FALSE(second.First());
            EXPECT_TRUE(second.ActivateFirst(0));
            EXPECT_TRUE(TSingleInstance(TestFolder() + "Other\\ipdb.ipdb").First());
        });
        // A hidden first window (/tray, or minimised to the notification
        // area) is shown, without the second program waiting for it.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        EXPECT_TRUE(IsWindowVisible(window));
        DestroyWindow(window);
        // Its window is gone: an import holding the database looks the same.
        elsewhere([&] { EXPECT_FALSE(TSingleInstance(path).ActivateFirst(0)); });
    }
    elsewhere([&] { EXPECT_TRUE(TSingleInstance(path).First()) << "not given back"; });
}

namespace {
// The owner and the trustees of the access list of the named mutex.
std::vector<std::string> MutexAccess(const std::string& name) {
    TKernelHandle mutex(OpenMutexA(READ_CONTROL, FALSE, name.c_str()));
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!mutex || GetSecurityInfo(mutex.Get(), SE_KERNEL_OBJECT,
                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                  nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
        return {"(unreadable)"};
    auto text = [](PSID sid) {
        char* s = nullptr;
        ConvertSidToStringSidA(sid, &s);
        std::string out = s ? s : "?";
        LocalFree(s);
        return out;
    };
    std::vector<std::string> result = {"owner " + text(owner)};
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        GetAce(dacl, i, reinterpret_cast<void**>(&ace));
        result.push_back(Format("%s %s",
                                ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE ? "allow" : "other",
                                text(&ace->SidStart).c_str()));
    }
    LocalFree(sd);
    return result;
}

TKernelHandle MutexWithAccess(const std::string& name, const char* sddl, bool owned) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr);
    SECURITY_ATTRIBUTES sa{sizeof(sa), sd, FALSE};
    TKernelHandle mutex(CreateMutexA(&sa, owned, name.c_str()));
    LocalFree(sd);
    return mutex;
}
// A mutex created, and held when `owned`, on a thread of its own until
// destroyed, as another program would.
class TMutexElsewhere {
public:
    TMutexElsewhere(const std::string& name, const char* sddl, bool owned) {
        std::promise<bool> ready;
        FThread = std::thread([&, name, sddl, owned] {
            TKernelHandle mutex = MutexWithAccess(name, sddl, owned);
            ready.set_value(static_cast<bool>(mutex));
            FRelease.get_future().wait();
            if (mutex && owned) ReleaseMutex(mutex.Get());
        });
        Ok = ready.get_future().get();
    }
    ~TMutexElsewhere() {
        FRelease.set_value();
        FThread.join();
    }
    bool Ok = false;

private:
    std::promise<void> FRelease;
    std::thread FThread;
};
} // namespace

TEST(SingleInstance, OnlyAdministratorsAndSystemMayOpenTheMutexAndATakenNameStopsNothing) {
    const std::string path = TestFolder() + "Guarded\\ipdb.ipdb";
    {
        TSingleInstance instance(path);
        ASSERT_TRUE(instance.First());
        EXPECT_FALSE(instance.NameTaken());
        // Wine runs every program with the administrators' group, so it never
        // refuses the open a standard user's program gets on Windows: what is
        // checked is the descriptor Windows enforces.
        EXPECT_EQ(MutexAccess(InstanceMutexName(path)),
                  (std::vector<std::string>{"owner S-1-5-32-544", "allow S-1-5-32-544",
                                            "allow S-1-5-18"}));
    }
    // A program that is not an administrator's takes the name first, and
    // holds it or locks everyone out. On Windows its own account owns it;
    // Wine lets any owner be given, so Everyone stands for that account.
    const struct {
        const char* Access;
        bool Owned;
    } squatters[] = {{"O:WDD:(A;;GA;;;WD)", true}, {"O:WDD:(D;;GA;;;WD)", false}};
    for (const auto& squatter : squatters) {
        TMutexElsewhere taken(InstanceMutexName(path), squatter.Access, squatter.Owned);
        ASSERT_TRUE(taken.Ok) << squatter.Access;
        TSingleInstance instance(path);
        EXPECT_TRUE(instance.First()) << squatter.Access;
        EXPECT_TRUE(instance.NameTaken()) << squatter.Access;
    }
    // The administrators' mutex held elsewhere is a program on the database.
    TMutexElsewhere held(InstanceMutexName(path), InstanceMutexAccess, true);
    ASSERT_TRUE(held.Ok);
    TSingleInstance instance(path);
    EXPECT_FALSE(instance.First());
    EXPECT_FALSE(instance.NameTaken());
}
