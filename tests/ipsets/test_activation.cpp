#include "app/f_main.h"
#include "activation/Activation.h"
#include "activation/ApplyGuards.h"
#include "activation/GatewayProbe.h"
#include "ipsets/f_KeepSettings.h"
#include "ipsets/f_WaitBox.h"
#include "ipsets/f_manageconnections.h"
#include "ipsets/o_qvIPInfo.h"
#include "store/Database.h"
#include "store/IPDatabase.h"
#include "base/ChildProcess.h"
#include "support/MainWindowFixture.h"
#include "support/TestSupport.h"
#include "toolkit/Application.h"
#include "base/SysUtils.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

namespace {

struct NetshRun {
    unsigned long Tick;
    int Show;
    unsigned long Flags;
    std::string CommandLine;
    std::string Path; // the netsh.exe that ran
};

// The gateway's echo requests: answered in 2 ms unless a test says not.
bool gatewayAnswers = true;
int echoRequests = 0;
TEchoResult FakeEcho(const std::string&, DWORD, const TEchoWait&, unsigned& roundTripMs) {
    ++echoRequests;
    roundTripMs = 2;
    return gatewayAnswers ? TEchoResult::Reply : TEchoResult::NoReply;
}

// Every test here runs the stand-in as the system's netsh, and no echo
// request leaves the machine.
struct StandinEnvironment : ::testing::Environment {
    void SetUp() override {
        Scope = std::make_unique<NetshStandinScope>();
        SetEchoRequest(FakeEcho);
    }
    void TearDown() override {
        Scope.reset();
        SetEchoRequest(nullptr);
    }
    std::unique_ptr<NetshStandinScope> Scope;
};
::testing::Environment* const standin = ::testing::AddGlobalTestEnvironment(new StandinEnvironment);

std::vector<NetshRun> ReadLog() {
    std::vector<NetshRun> runs;
    std::ifstream in(TestFolder() + "netsh-log.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        NetshRun run;
        std::string part;
        std::getline(fields, part, '|');
        run.Tick = std::stoul(part);
        std::getline(fields, part, '|');
        run.Show = std::stoi(part);
        std::getline(fields, part, '|');
        run.Flags = std::stoul(part);
        std::getline(fields, run.CommandLine);
        run.Path = run.CommandLine.substr(run.CommandLine.rfind('|') + 1);
        run.CommandLine.erase(run.CommandLine.rfind('|'));
        runs.push_back(run);
    }
    return runs;
}

// The system folder's netsh, as a 32-bit process on a 64-bit system sees it too.
bool IsSystemNetsh(const std::string& path) {
    char wow[MAX_PATH] = {};
    const UINT n = GetSystemWow64DirectoryA(wow, MAX_PATH);
    return SameText(path, NetshStandinScope::SystemNetsh()) ||
           (n > 0 && SameText(path, std::string(wow, n) + "\\netsh.exe"));
}

class Activation : public MainWindowFixture {
protected:
    void SetUp() override {
        Db = FreshDatabase();
        DeleteFileA((TestFolder() + "netsh-log.txt").c_str());
        for (const char* file :
             {"netsh-exits.txt", "netsh-print.txt", "netsh-delay.txt", "netsh-connections.txt",
              "netsh-codepage.txt", "netsh-elevation.txt"})
            DeleteFileA((TestFolder() + file).c_str());
        ExecSql(Db,
                "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN'), ('LAN 2');"
                "INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, "
                "CONNECTION) VALUES "
                "('Static', '192.168.1.10', '255.255.255.0', '192.168.1.1', '192.168.1.1', 0, 1),"
                "('Dhcp', '1.1.1.1', '2.2.2.2', '3.3.3.3', '4.4.4.4', 1, 2),"
                "('NoGateway', '10.0.0.2', '255.0.0.0', '', '10.0.0.1', NULL, 1),"
                "('Orphan', '10.0.0.2', '255.0.0.0', '', '', 0, 77)");
        // Each connection's adapter already shows the sets the tests apply to
        // it, so the check after the runs finds them in effect at once.
        FakeAdapter a;
        a.Name = "{ADAPTER-A}";
        a.Description = "before";
        a.FriendlyName = "LAN";
        a.Addresses = {{"192.168.1.10", "255.255.255.0"}};
        a.Gateways = {{"192.168.1.1", ""}};
        a.DnsServers = {"192.168.1.1"};
        FakeAdapter b;
        b.Name = "{ADAPTER-B}";
        b.FriendlyName = "LAN 2";
        b.Addresses = {{"10.9.0.7", "255.255.0.0"}};
        Adapters.Adapters = {a, b};
        OpenMainWindow(true);
        // A set the adapter does not show is given up on sooner than the
        // 10 s (30 s for DHCP) a user gets.
        Manager->SetTimeLimits(NetshTimeLimitMs(), 800);
    }
};

} // namespace

TEST_F(Activation, StaticSetRunsBothCommandsHiddenThroughTheSystemNetshAndRefreshesTheList) {
    Adapters.Adapters[0].Description = "after"; // seen only if the list is refreshed
    ExecSql(Db, "INSERT INTO IPSets (IPSET_NAME) VALUES ('added behind the tree''s back')");
    // A netsh.exe beside the program (and in the working folder) never runs.
    ASSERT_TRUE(CopyFileA((TestFolder() + "netsh-standin.exe").c_str(),
                          (TestFolder() + "netsh.exe").c_str(), FALSE));
    MessageBoxCatcher boxes;
    Manager->ActivateIPSet(1);
    DeleteFileA((TestFolder() + "netsh.exe").c_str());
    std::vector<NetshRun> runs = ReadLog();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(
        runs[0].CommandLine,
        "netsh interface ip set address \"LAN\"  static 192.168.1.10 255.255.255.0 192.168.1.1 1");
    EXPECT_EQ(runs[1].CommandLine,
              "netsh interface ip set dns \"LAN\"  static 192.168.1.1 primary");
    for (const NetshRun& run : runs) {
        EXPECT_EQ(run.Show, SW_HIDE);
        EXPECT_EQ(run.Flags,
                  static_cast<unsigned long>(STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES));
        EXPECT_TRUE(IsSystemNetsh(run.Path)) << run.Path;
    }
    EXPECT_TRUE(boxes.Boxes.empty()); // the adapter shows the set
    EXPECT_EQ(Form->IPListView->ItemText(1, 1), "after");
    EXPECT_EQ(Form->IPSetTreeView->Count(), 4 * 7); // not rebuilt
    EXPECT_EQ(Manager->WaitBox(), nullptr);
}

TEST_F(Activation, DhcpAndEmptyFieldsGiveTheirCommands) {
    Manager->ActivateIPSet(2);
    Adapters.Adapters[0].DnsServers = {"10.0.0.1"};
    Adapters.Adapters[0].Gateways = {};
    Adapters.Adapters[0].Addresses = {{"10.0.0.2", "255.0.0.0"}}; // and no other
    Manager->ActivateIPSet(3);
    std::vector<NetshRun> runs = ReadLog();
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0].CommandLine, "netsh interface ip set address \"LAN 2\"  dhcp ");
    EXPECT_EQ(runs[1].CommandLine, "netsh interface ip set dns \"LAN 2\"  dhcp ");
    // An empty DHCP field reads as false; an empty gateway is said as none.
    EXPECT_EQ(runs[2].CommandLine,
              "netsh interface ip set address \"LAN\"  static 10.0.0.2 255.0.0.0 none");
    EXPECT_EQ(runs[3].CommandLine, "netsh interface ip set dns \"LAN\"  static 10.0.0.1 primary");
}

namespace {
// Runs `check` from the message loop of whatever modal wait is under way.
std::function<void()> pendingCheck;
void CALLBACK RunPendingCheck(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (pendingCheck) pendingCheck();
}
} // namespace

TEST_F(Activation, WaitWindowIsShownOnTopWhileTheCommandsRun) {
    // The stand-in cannot see our windows' state directly, so look while the
    // first child runs: the activation's one pass of messages runs this timer.
    bool seen = false, topmost = false, noButtons = false;
    std::string caption, text;
    pendingCheck = [&] {
        HWND box = FindWindowA(nullptr, "[IP Tavix Ver2] Please wait...");
        seen = box && IsWindowVisible(box);
        if (!box) return;
        topmost = GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST;
        noButtons =
            !(GetWindowLongA(box, GWL_STYLE) & (WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
        RECT r;
        GetWindowRect(box, &r);
        EXPECT_EQ(r.right - r.left, 419);
        EXPECT_EQ(r.bottom - r.top, 87);
        text = Manager->WaitBox()->Memo1->Text();
    };
    SetTimer(nullptr, 0, 0, RunPendingCheck);
    Sleep(20);
    Manager->ActivateIPSet(1);
    pendingCheck = nullptr;
    EXPECT_TRUE(seen);
    EXPECT_TRUE(topmost);
    EXPECT_TRUE(noButtons);
    EXPECT_EQ(text, "Please wait while IP Tavix is applying the changes....");
    EXPECT_EQ(FindWindowA(nullptr, "[IP Tavix Ver2] Please wait..."), nullptr);
}

TEST_F(Activation, UnknownKeysDoNothing) {
    Adapters.Adapters[0].Description = "after";
    Manager->ActivateIPSet(0);
    Manager->ActivateIPSet(42);
    EXPECT_TRUE(ReadLog().empty());
    EXPECT_EQ(Form->IPListView->ItemText(1, 1), "before"); // nothing refreshed
}

TEST_F(Activation, MissingConnectionAndUnsafeInputAreRefusedBeforeAnythingRuns) {
    ExecSql(Db, "INSERT INTO Connections (CONNECTIONNAME) VALUES ('Say \"hi\"');"
                "INSERT INTO IPSets (IPSET_NAME, DHCP, CONNECTION) VALUES ('Quote', 1, 3);"
                "INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, DHCP, CONNECTION) VALUES "
                "('Inject', '10.0.0.1 & del x', '255.0.0.0', 0, 1);"
                "INSERT INTO Connections (CONNECTIONNAME) VALUES ('" +
                    std::string(500, 'N') +
                    "');"
                    "INSERT INTO IPSets (IPSET_NAME, DHCP, CONNECTION) VALUES ('Long', 1, 4)");
    Manager->IPSetsTable()->Refresh();
    Manager->ConnectionsTable()->Refresh();
    Adapters.Adapters[0].Description = "after";
    MessageBoxCatcher boxes;
    // As the event loop would: the failure is shown in the application's error box.
    auto activate = [&](long long id) {
        try {
            Manager->ActivateIPSet(id);
        } catch (const Exception& e) {
            App.ShowException(e);
        }
    };
    activate(4);
    activate(5);
    activate(6);
    activate(7);
    ASSERT_EQ(boxes.Boxes.size(), 4u);
    EXPECT_EQ(boxes.Boxes[0].Text, "The connection of this IP set is not in the Connection Name "
                                   "List. Edit the set and choose its connection.");
    EXPECT_EQ(boxes.Boxes[0].Caption, "QV IP Tavix Ver2");
    EXPECT_NE(boxes.Boxes[1].Text.find("contains a double quote"), std::string::npos);
    EXPECT_NE(boxes.Boxes[2].Text.find("\"10.0.0.1 & del x\""), std::string::npos);
    EXPECT_NE(boxes.Boxes[3].Text.find("longer than 512 characters"), std::string::npos);
    EXPECT_TRUE(ReadLog().empty());
    EXPECT_EQ(Form->IPListView->ItemText(1, 1), "before");
}

namespace {
void SetExitCodes(const std::string& codes) {
    std::ofstream(TestFolder() + "netsh-exits.txt") << codes;
}
} // namespace

TEST_F(Activation, MissingNetshIsReportedAfterTheListIsRefreshed) {
    // No netsh in the system folder: one beside the program is not taken instead.
    const std::string system = NetshStandinScope::SystemNetsh();
    ASSERT_TRUE(MoveFileA(system.c_str(), (system + ".off").c_str()));
    ASSERT_TRUE(CopyFileA((TestFolder() + "netsh-standin.exe").c_str(),
                          (TestFolder() + "netsh.exe").c_str(), FALSE));
    Adapters.Adapters[0].Description = "after";
    Adapters.Adapters[0].Addresses = {{"10.66.0.5", "255.255.255.0"}}; // not the set
    std::string listWhenTold;
    bool waitBoxWhenTold = true;
    MessageBoxCatcher boxes;
    boxes.OnBox = [&] {
        listWhenTold = Form->IPListView->ItemText(1, 1);
        waitBoxWhenTold = FindWindowA(nullptr, "[IP Tavix Ver2] Please wait...") != nullptr;
    };
    EXPECT_FALSE(Manager->RunCommand("netsh interface ip show config").Started);
    Manager->ActivateIPSet(1);
    MoveFileA((system + ".off").c_str(), system.c_str());
    DeleteFileA((TestFolder() + "netsh.exe").c_str());
    EXPECT_TRUE(ReadLog().empty());
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Caption, "QV IP Tavix Ver2");
    EXPECT_EQ(boxes.Boxes[0].Text,
              "The IP set could not be applied to the connection \"LAN\".\r\n\r\n"
              "Setting the address: netsh could not be started.\r\n"
              "Setting the DNS server: netsh could not be started.");
    EXPECT_EQ(listWhenTold, "after");
    EXPECT_FALSE(waitBoxWhenTold);
    EXPECT_EQ(Manager->WaitBox(), nullptr);
}

TEST_F(Activation, AFailingRunIsReportedWithItsStepAndExitCodeAndBothRunsHappen) {
    struct Case {
        const char* Codes;
        const char* Report;
    } cases[] = {
        {"1 0", "Setting the address: netsh ended with exit code 1."},
        {"0 1", "Setting the DNS server: netsh ended with exit code 1."},
        {"5 2", "Setting the address: netsh ended with exit code 5.\r\n"
                "Setting the DNS server: netsh ended with exit code 2."},
    };
    Adapters.Adapters[1].Dhcp = false; // the adapter does not show the set
    for (const Case& c : cases) {
        DeleteFileA((TestFolder() + "netsh-log.txt").c_str());
        SetExitCodes(c.Codes);
        MessageBoxCatcher boxes;
        Manager->ActivateIPSet(2);
        EXPECT_EQ(ReadLog().size(), 2u) << c.Codes;
        ASSERT_EQ(boxes.Boxes.size(), 1u) << c.Codes;
        EXPECT_EQ(
            boxes.Boxes[0].Text,
            std::string("The IP set could not be applied to the connection \"LAN 2\".\r\n\r\n") +
                c.Report);
    }
    // Success says nothing.
    Adapters.Adapters[1].Dhcp = true;
    DeleteFileA((TestFolder() + "netsh-log.txt").c_str());
    SetExitCodes("0 0");
    MessageBoxCatcher boxes;
    Manager->ActivateIPSet(2);
    EXPECT_TRUE(boxes.Boxes.empty());
}

TEST_F(Activation, StaticSetWithoutAddressOrMaskIsRefusedBeforeAnythingRuns) {
    ExecSql(Db, "INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, DHCP, CONNECTION) VALUES "
                "('NoAddress', '', '255.0.0.0', 0, 1), ('NoMask', '10.0.0.1', NULL, 0, 1),"
                "('Bare', NULL, NULL, 1, 1)");
    Manager->IPSetsTable()->Refresh();
    std::vector<std::string> messages;
    for (long long id : {5, 6}) {
        try {
            Manager->ActivateIPSet(id);
            messages.push_back("(ran)");
        } catch (const Exception& e) {
            messages.push_back(e.what());
        }
    }
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "This IP set has no IP address. Edit the set and enter it",
                            "This IP set has no subnet mask. Edit the set and enter it"}));
    EXPECT_TRUE(ReadLog().empty());
    // A DHCP set needs no address.
    Manager->ActivateIPSet(7);
    EXPECT_EQ(ReadLog().size(), 2u);
}

TEST_F(Activation, NoOtherCommandStartsWhileAnActivationRunsAndItsInputIsDropped) {
    size_t logDuring = 99;
    bool busy = false;
    pendingCheck = [&] {
        busy = Manager->Busy();
        // Each command the user could reach: none may start.
        Manager->ActivateIPSet(2);
        Manager->AddIPSet();
        Manager->EditIPSet(1);
        Manager->DeleteIPSet(1);
        Manager->ManageConnections();
        logDuring = ReadLog().size();
        // Keys pressed now reach the queue after this pass; they must not run later.
        PostMessageA(Form->IPSetTreeView->Handle(), WM_KEYDOWN, VK_INSERT, 1);
        PostMessageA(Form->IPSetTreeView->Handle(), WM_KEYUP, VK_INSERT, 0xC0000001);
    };
    SetTimer(nullptr, 0, 0, RunPendingCheck);
    Sleep(20);
    MessageBoxCatcher boxes;
    Manager->ActivateIPSet(1);
    pendingCheck = nullptr;
    // Let anything that was queued run now; an editor it opened is closed
    // again so that the test ends either way.
    bool editorOpened = false;
    RunInModalLoop(
        [&] {
            if (HWND editor = FindWindowA(nullptr, "Add new IP Set")) {
                editorOpened = true;
                PostMessageA(editor, WM_CLOSE, 0, 0);
            }
        },
        300);
    for (DWORD start = GetTickCount(); GetTickCount() - start < 600;) {
        App.ProcessMessages();
        Sleep(10);
    }
    EXPECT_FALSE(editorOpened);
    EXPECT_TRUE(busy);
    EXPECT_FALSE(Manager->Busy());
    EXPECT_LE(logDuring, 1u);
    EXPECT_EQ(ReadLog().size(), 2u);
    EXPECT_EQ(FindWindowA(nullptr, "Add new IP Set"), nullptr);
    EXPECT_EQ(FindWindowA(nullptr, "[IP Tavix Ver2] Please wait..."), nullptr);
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(QueryColumn(Db, "SELECT count(*) FROM IPSets"), (std::vector<std::string>{"4"}));
}

TEST_F(Activation, DeleteRemovesTheSetItAskedAboutEvenIfAnotherWasActivatedMeanwhile) {
    // The question has no owner, so the user can activate set 2 while it is
    // open; Yes must still delete set 1.
    RunInModalLoop(
        [&] {
            HWND box = FindWindowA("#32770", "IP Tavix Ver2");
            Manager->ActivateIPSet(2);
            Manager->IPSetsTable()->Locate("ID", 3);
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
        },
        200);
    Manager->DeleteIPSet(1);
    EXPECT_EQ(QueryColumn(Db, "SELECT IPSET_NAME FROM IPSets ORDER BY ID"),
              (std::vector<std::string>{"Dhcp", "NoGateway", "Orphan"}));
    EXPECT_EQ(ReadLog().size(), 2u);

    // A set deleted while its question was open is not replaced by another.
    RunInModalLoop(
        [&] {
            HWND box = FindWindowA("#32770", "IP Tavix Ver2");
            ExecSql(Db, "DELETE FROM IPSets WHERE ID = 2");
            Manager->IPSetsTable()->Refresh();
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
        },
        200);
    Manager->DeleteIPSet(2);
    EXPECT_EQ(QueryColumn(Db, "SELECT IPSET_NAME FROM IPSets ORDER BY ID"),
              (std::vector<std::string>{"NoGateway", "Orphan"}));
}

// ------------------------------------------------------------ connection names

namespace {

HWND DialogWindow() {
    return FindWindowA(nullptr, "Connection Name List");
}

TFrmManageConnections* OpenDialog() {
    return dynamic_cast<TFrmManageConnections*>(TControl::FromHandle(DialogWindow()));
}

// Presses a key on the grid with Ctrl held or not, as the keyboard would.
void Key(TFrmManageConnections* dialog, WORD key, bool ctrl) {
    BYTE state[256];
    GetKeyboardState(state);
    state[VK_CONTROL] = ctrl ? 0x80 : 0;
    SetKeyboardState(state);
    HWND grid = dialog->ConnectionsDBGrid->Handle();
    SendMessageA(grid, WM_KEYDOWN, key, 1);
    SendMessageA(grid, WM_KEYUP, key, 0xC0000001);
    state[VK_CONTROL] = 0;
    SetKeyboardState(state);
}

std::vector<std::string> GridRows(TFrmManageConnections* dialog) {
    std::vector<std::string> rows;
    for (int i = 0; i < dialog->ConnectionsDBGrid->Count(); ++i)
        rows.push_back(dialog->ConnectionsDBGrid->ItemText(i, 1));
    return rows;
}

} // namespace

TEST_F(Activation, ConnectionNameListShowsRowsAndDeletesOnlyWhenConfirmed) {
    ExecSql(Db, "INSERT INTO Connections (CONNECTIONNAME) VALUES ('Wireless')");
    Manager->ConnectionsTable()->Refresh();
    std::vector<std::string> shown;
    std::string title, layout;
    std::vector<std::string> afterCancel, afterTyping, afterOk, storedAfterOk;
    size_t boxesAfterCancel = 0;
    MessageBoxCatcher cancel(IDCANCEL);
    pendingCheck = [&] {
        TFrmManageConnections* dialog = OpenDialog();
        ASSERT_NE(dialog, nullptr);
        shown = GridRows(dialog);
        EXPECT_EQ(dialog->ConnectionsDBGrid->ColumnWidth(1), 200);
        EXPECT_EQ(dialog->ConnectionsDBGrid->ItemText(-1, 1), "");
        // The grid highlights the table's current row, and moves it.
        Manager->ConnectionsTable()->MoveTo(1);
        EXPECT_EQ(dialog->ConnectionsDBGrid->HighlightedRow(), 1);
        ListView_SetItemState(dialog->ConnectionsDBGrid->Handle(), 2, LVIS_SELECTED, LVIS_SELECTED);
        EXPECT_EQ(Manager->ConnectionsTable()->RecNo(), 2);

        Key(dialog, VK_DELETE, true); // answered Cancel
        afterCancel = GridRows(dialog);
        boxesAfterCancel = cancel.Boxes.size();
        Key(dialog, VK_INSERT, false);
        Key(dialog, VK_F2, false);
        SendMessageA(dialog->ConnectionsDBGrid->Handle(), WM_CHAR, 'x', 1);
        Key(dialog, VK_DOWN, false);
        Key(dialog, VK_DOWN, false); // past the last row
        afterTyping = GridRows(dialog);
        EXPECT_EQ(Manager->ConnectionsTable()->State(), TDataSetState::dsBrowse);

        cancel.Answer = IDOK;
        ListView_SetItemState(dialog->ConnectionsDBGrid->Handle(), 0, LVIS_SELECTED, LVIS_SELECTED);
        Key(dialog, VK_DELETE, true); // answered OK: stored at once
        afterOk = GridRows(dialog);
        storedAfterOk = QueryColumn(Db, "SELECT CONNECTIONNAME FROM Connections ORDER BY ID");
        PostMessageA(dialog->Handle(), WM_CLOSE, 0, 0); // the close button acts as Ok
    };
    SetTimer(nullptr, 0, 200, RunPendingCheck);
    SendMessageA(Form->Handle(), WM_COMMAND, Form->ManageConnections1->Command(), 0);
    pendingCheck = nullptr;

    EXPECT_EQ(shown, (std::vector<std::string>{"LAN", "LAN 2", "Wireless"}));
    EXPECT_EQ(boxesAfterCancel, 1u);
    EXPECT_EQ(cancel.Boxes[0].Text, "Delete record?");
    EXPECT_EQ(afterCancel, shown);
    EXPECT_EQ(afterTyping, shown);
    EXPECT_EQ(afterOk, (std::vector<std::string>{"LAN 2", "Wireless"}));
    EXPECT_EQ(storedAfterOk, (std::vector<std::string>{"LAN 2", "Wireless"}));
    EXPECT_EQ(DialogWindow(), nullptr); // destroyed after use
    // The tree is not rebuilt: it still names the deleted connection.
    HTREEITEM first = Form->IPSetTreeView->FirstChild(TVI_ROOT);
    HTREEITEM line = Form->IPSetTreeView->FirstChild(first);
    for (int i = 0; i < 5; ++i)
        line = Form->IPSetTreeView->NextSibling(line);
    EXPECT_EQ(Form->IPSetTreeView->NodeText(line), "Connection Name:LAN");
}

TEST_F(Activation, ConnectionNameListOnAnEmptyTableAsksNothing) {
    ExecSql(Db, "DELETE FROM Connections");
    Manager->ConnectionsTable()->Refresh();
    MessageBoxCatcher boxes;
    int rows = -1;
    pendingCheck = [&] {
        TFrmManageConnections* dialog = OpenDialog();
        ASSERT_NE(dialog, nullptr);
        rows = dialog->ConnectionsDBGrid->Count();
        Key(dialog, VK_DELETE, true);
        dialog->BitBtn1->Click();
    };
    SetTimer(nullptr, 0, 200, RunPendingCheck);
    Manager->ManageConnections();
    pendingCheck = nullptr;
    EXPECT_EQ(rows, 0);
    EXPECT_TRUE(boxes.Boxes.empty());
}

TEST(ActivationSteps, ASecondDnsServerAddsAThirdLineToStaticSetsOnly) {
    TIPSetValues set{.Address = "10.0.0.5",
                     .Mask = "255.0.0.0",
                     .Dns = "10.0.0.53",
                     .Dns2 = "10.0.0.54",
                     .Connection = "LAN"};
    std::vector<TActivationStep> steps = ActivationSteps(set);
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[2].Command, "netsh interface ip add dns \"LAN\" 10.0.0.54 index=2");
    EXPECT_EQ(steps[2].Label, "Setting the second DNS server");
    steps[2].Started = true;
    steps[2].ExitCode = 1;
    EXPECT_NE(ActivationFailureText("LAN", steps)
                  .find("Setting the second DNS server: netsh ended "
                        "with exit code 1."),
              std::string::npos);
    set.Dhcp = true; // a DHCP set takes its servers from the lease
    EXPECT_EQ(ActivationSteps(set).size(), 2u);
    set.Dhcp = false;
    set.Dns2 = "";
    EXPECT_EQ(ActivationSteps(set).size(), 2u);
}

TEST(ActivationRefusal, TheSecondDnsServerFollowsTheRulesOfTheFirst) {
    const struct {
        const char *Dns, *Dns2, *Refusal;
    } cases[] = {
        {"10.0.0.53", "", ""},
        {"10.0.0.53", "10.0.0.54", ""},
        {"10.0.0.53", "10.0.0.54 & del x", "The second DNS server \"10.0.0.54 & del x\""},
        {"10.0.0.53", "300.0.0.1", "is not a valid address"},
        {"", "10.0.0.54", "a second DNS server but no first one"},
    };
    for (const auto& c : cases) {
        TIPSetValues set{.Address = "10.0.0.5",
                         .Mask = "255.0.0.0",
                         .Dns = c.Dns,
                         .Dns2 = c.Dns2,
                         .Connection = "LAN"};
        const std::string refusal = ActivationRefusal(set);
        if (!*c.Refusal)
            EXPECT_EQ(refusal, "") << c.Dns2;
        else
            EXPECT_NE(refusal.find(c.Refusal), std::string::npos) << c.Dns2 << ": " << refusal;
    }
}
// ------------------------------------------------------------ netsh's words, the limit, the check

TEST_F(Activation, AFailedRunShowsTheLastLinesNetshPrintedUnderItsStep) {
    std::string printed;
    for (int i = 1; i <= 12; ++i)
        printed += Format("line %d\r\n", i);
    printed += "\r\n  Gr\xC3\xBCn  \r\n"; // an umlaut, blanks around, a blank line before
    std::ofstream(TestFolder() + "netsh-print.txt", std::ios::binary) << printed;
    // Printed in the code page of the console netsh gets, as Windows' netsh does.
    std::ofstream(TestFolder() + "netsh-codepage.txt") << ConsoleCodePage();
    SetExitCodes("1 0");
    Adapters.Adapters[0].Addresses = {{"10.66.0.5", "255.255.255.0"}};
    MessageBoxCatcher boxes;
    Manager->ActivateIPSet(1);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    std::string expected = "The IP set could not be applied to the connection \"LAN\".\r\n\r\n"
                           "Setting the address: netsh ended with exit code 1.";
    for (int i = 4; i <= 12; ++i)
        expected += Format("\r\n    line %d", i);
    EXPECT_EQ(boxes.Boxes[0].Text,
              expected + "\r\n    " + RecodedText("Gr\xC3\xBCn", CP_UTF8, CP_ACP));
}

TEST_F(Activation, AHungNetshIsWaitedForOnceAndTheStepsAfterItAreNotRun) {
    std::ofstream(TestFolder() + "netsh-delay.txt") << 30000;
    Manager->SetTimeLimits(1500, 300);
    ExecSql(Db, "UPDATE IPSets SET DNS2 = '192.168.1.2' WHERE ID = 1");
    Manager->IPSetsTable()->Refresh();
    Adapters.Adapters[0].Addresses = {{"10.66.0.5", "255.255.255.0"}};
    MessageBoxCatcher boxes;
    Manager->ActivateIPSet(1);
    EXPECT_EQ(ReadLog().size(), 1u);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Text,
              "The IP set could not be applied to the connection \"LAN\".\r\n\r\n"
              "Setting the address: netsh had not finished when the apply's time limit of 60 "
              "seconds passed, and was stopped.\r\n"
              "Setting the DNS server: not run.\r\n"
              "Setting the second DNS server: not run.");
    // The stopped run holds nothing up afterwards.
    DeleteFileA((TestFolder() + "netsh-delay.txt").c_str());
    SetExitCodes("0 3");
    const TChildRun next = Manager->RunCommand("netsh interface ip show config");
    EXPECT_FALSE(next.TimedOut);
    EXPECT_EQ(next.ExitCode, 3u);
}

TEST_F(Activation, TheCheckWaitsForTheSetAndTellsWhatTheConnectionShowsInstead) {
    // Shown after 600 ms: the wait ends then, with nothing to tell.
    Manager->SetTimeLimits(NetshTimeLimitMs(), 3000);
    Adapters.Adapters[0].Addresses = {{"0.0.0.0", "0.0.0.0"}};
    bool changed = false;
    pendingCheck = [&] {
        Adapters.Adapters[0].Addresses = {{"192.168.1.10", "255.255.255.0"}};
        changed = true;
    };
    SetTimer(nullptr, 0, 600, RunPendingCheck);
    {
        MessageBoxCatcher boxes;
        Manager->ActivateIPSet(1);
        EXPECT_TRUE(changed);
        EXPECT_TRUE(boxes.Boxes.empty());
    }
    pendingCheck = nullptr;
    Manager->SetTimeLimits(NetshTimeLimitMs(), 800);

    struct Case {
        const char* What;
        std::function<void()> Arrange;
        const char* Told;
    } cases[] = {
        {"another address",
         [&] {
             Adapters.Adapters[0].Addresses = {{"10.66.0.5", "255.255.255.0"}};
         },
         "The IP set \"Static\" is not in effect on the connection \"LAN\": it shows "
         "10.66.0.5/255.255.255.0, not 192.168.1.10/255.255.255.0."},
        {"no adapter", [&] { Adapters.Adapters[0].FriendlyName = "LAN 3"; },
         "The IP set \"Static\" could not be checked: no network adapter is the connection "
         "\"LAN\" now (it may be disabled or removed)."},
        {"no link", [&] { Adapters.Adapters[0].OperUp = false; },
         "The IP set \"Static\" is stored in the connection \"LAN\", which is not connected now "
         "(no cable or no wireless network). It takes effect when the connection connects."},
    };
    const FakeAdapter shown = Adapters.Adapters[0];
    for (const Case& c : cases) {
        Adapters.Adapters[0] = shown;
        c.Arrange();
        MessageBoxCatcher boxes;
        Manager->ActivateIPSet(1);
        ASSERT_EQ(boxes.Boxes.size(), 1u) << c.What;
        EXPECT_EQ(boxes.Boxes[0].Text, c.Told) << c.What;
    }
    // The connection's registry name wins over the name the adapter is shown by.
    Adapters.Adapters[0] = shown;
    Adapters.Adapters[0].FriendlyName = "Local Area Connection";
    WriteConnectionName(
        std::string(NetworkBasePath) + NetworkClassKey + "\\{ADAPTER-A}\\Connection", "LAN");
    MessageBoxCatcher boxes;
    Manager->ActivateIPSet(1);
    DeleteTree(std::string(NetworkBasePath) + NetworkClassKey + "\\{ADAPTER-A}");
    EXPECT_TRUE(boxes.Boxes.empty());
}

// ------------------------------------------------------------ netsh as Windows has it

namespace {
void StandinConnections(const std::string& lines) {
    std::ofstream(TestFolder() + "netsh-connections.txt", std::ios::binary) << lines;
}
} // namespace

TEST_F(Activation, TheAdapterDecidesWhateverWindowsNetshAnswers) {
    struct Case {
        const char* What;
        long long Set;
        const char* Connections; // what the stand-in knows
        std::function<void()> Arrange;
        const char* Told; // "" when nothing is told
    } cases[] = {
        {"DHCP applied twice: netsh ends with 1, the adapter shows the lease", 2, "LAN 2|dhcp|\n",
         [] {}, ""},
        {"DHCP on with the cable out: the same words, no lease", 2, "LAN 2|dhcp|\n",
         [&] {
             Adapters.Adapters[1].Addresses = {{"169.254.9.9", "255.255.0.0"}};
         },
         "Setting the address: netsh ended with exit code 1.\r\n"
         "    DHCP is already enabled on this interface."},
        {"the gateway is there already, nothing else is", 1, "LAN|static|192.168.1.1\n", [] {}, ""},
        {"an old gateway stays beside the new one", 1, "LAN|static|10.0.0.1\n",
         [&] {
             Adapters.Adapters[0].Gateways = {{"10.0.0.1", ""}, {"192.168.1.1", ""}};
         },
         "The IP set \"Static\" is not in effect on the connection \"LAN\": it still shows the "
         "default gateway 10.0.0.1 as well."},
        {"a connection netsh does not know", 1, "LAN 7|static|\n",
         [&] {
             Adapters.Adapters[0].Addresses = {{"10.66.0.5", "255.255.255.0"}};
         },
         "The filename, directory name, or volume label syntax is incorrect."},
    };
    const std::vector<FakeAdapter> shown = Adapters.Adapters;
    for (const Case& c : cases) {
        Adapters.Adapters = shown;
        c.Arrange();
        StandinConnections(c.Connections);
        MessageBoxCatcher boxes;
        Manager->ActivateIPSet(c.Set);
        if (*c.Told == 0) {
            EXPECT_TRUE(boxes.Boxes.empty()) << c.What;
            continue;
        }
        ASSERT_EQ(boxes.Boxes.size(), 1u) << c.What;
        EXPECT_NE(boxes.Boxes[0].Text.find(c.Told), std::string::npos)
            << c.What << ": " << boxes.Boxes[0].Text;
    }
}

namespace {
bool NoRights() {
    return false;
}
} // namespace

TEST_F(Activation, WithoutAdministratorRightsNothingRuns) {
    SetAdministratorCheck(NoRights);
    std::string told;
    try {
        Manager->ActivateIPSet(1);
    } catch (const Exception& e) {
        told = e.what();
    }
    SetAdministratorCheck(nullptr);
    EXPECT_EQ(told, "Applying an IP set needs administrator rights. Start IP Tavix Ver2 as "
                    "administrator.");
    EXPECT_TRUE(ReadLog().empty());
    EXPECT_EQ(Manager->WaitBox(), nullptr);
}

TEST_F(Activation, AnApplyWaitsForOneRunningElsewhereWithTheWindowAnswering) {
    struct Other {
        HANDLE Taken;
        DWORD ReleasedAt = 0;
    } other{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    // Another apply on the machine holds the lock for a while.
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](void* arg) -> DWORD {
            auto* o = static_cast<Other*>(arg);
            const TApplyLock lock(0, nullptr);
            SetEvent(o->Taken);
            Sleep(1200);
            o->ReleasedAt = GetTickCount();
            return 0;
        },
        &other, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(other.Taken, 10000), WAIT_OBJECT_0);
    bool painted = false;
    pendingCheck = [&] { painted = Manager->WaitBox() != nullptr; };
    SetTimer(nullptr, 0, 300, RunPendingCheck);
    MessageBoxCatcher boxes;
    Manager->ActivateIPSet(1);
    pendingCheck = nullptr;
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CloseHandle(other.Taken);
    EXPECT_TRUE(painted); // the window's timers ran while it waited
    const std::vector<NetshRun> runs = ReadLog();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_GE(runs[0].Tick, other.ReleasedAt);
    EXPECT_TRUE(boxes.Boxes.empty());
}

TEST(ConnectionNames, CarriedAsUtf8AndComparedWithoutCaseInEveryScript) {
    // The manifest makes UTF-8 the process's code page (Windows 10 1903 and
    // later, and Wine).
    EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
    struct Case {
        const char* A;
        const char* B;
        bool Same;
    } cases[] = {
        {"LAN 2", "lan 2", true},
        {"B\xC3\xBCro", "B\xC3\x9CRO", true},                           // Büro, BÜRO
        {"B\xC3\xBCro", "Buro", false},                                 // never the look-alike
        {"\xD0\x9F\xD0\xBE\xD0\xB4", "\xD0\xBF\xD0\x9E\xD0\x94", true}, // Под, пОД
        {"Ethernet \xEF\xBC\x92", "Ethernet 2", false},                 // a full-width two
    };
    for (const Case& c : cases)
        EXPECT_EQ(SameText(c.A, c.B), c.Same) << c.A << " / " << c.B;
}

TEST(ConnectionNames, AnEarlierAnsiDatabaseIsReadRightAndRewrittenAsUtf8) {
    // Earlier versions wrote the system's ANSI code page: 1252 under Wine's
    // default locale, where "B\xFCro" is Büro.
    const std::string db = FreshDatabase();
    ExecSql(db, "INSERT INTO Connections (CONNECTIONNAME) VALUES (CAST(X'42FC726F' AS TEXT)), "
                "('Подключение 2');"
                "INSERT INTO IPSets (IPSET_NAME, DHCP, CONNECTION) VALUES "
                "(CAST(X'4EE4686520' AS TEXT), 1, 1)");
    {
        TDbConnection connection(nullptr);
        connection.FileName = db;
        connection.Open();
        TDbTable names(nullptr), sets(nullptr);
        OpenIPTable(names, &connection, IPDb::Connections);
        OpenIPTable(sets, &connection, IPDb::IPSets);
        EXPECT_EQ(names.FieldByName(IPDb::ConnectionName).AsString(), "B\xC3\xBCro");
        EXPECT_EQ(sets.FieldByName(IPDb::SetName).AsString(), "N\xC3\xA4he ");
    }
    // Rewritten in the file; the UTF-8 name beside it left as it was.
    EXPECT_EQ(QueryColumn(db, "SELECT hex(CONNECTIONNAME) FROM Connections ORDER BY ID"),
              (std::vector<std::string>{"42C3BC726F",
                                        "D09FD0BED0B4D0BAD0BBD18ED187D0B5D0BDD0B8D0B52032"}));
}

namespace {

// Presses `button` of the keep dialog once it shows (none: leaves it to run
// out), noting the texts it showed first.
void AnswerKeepDialog(const char* button, std::vector<std::string>& shown) {
    RunInModalLoop([button, &shown] {
        HWND dialog = FindWindowA(nullptr, "Keep these network settings?");
        auto* form = dynamic_cast<TFrmKeepSettings*>(TControl::FromHandle(dialog));
        if (!form || !form->IsModal()) {
            AnswerKeepDialog(button, shown);
            return;
        }
        shown = form->memText->Lines();
        shown.push_back(form->lblCountdown->Caption());
        if (button) (std::string(button) == "Keep" ? form->btnKeep : form->btnGoBack)->Click();
    });
}

} // namespace

TEST_F(Activation, AStaticSetInEffectTellsWhetherItsGatewayAnswers) {
    for (bool answers : {true, false}) {
        gatewayAnswers = answers;
        echoRequests = 0;
        Form->StatusBar->SetSimpleText("");
        MessageBoxCatcher boxes;
        Manager->ActivateIPSet(1);
        if (answers) {
            // After what the connections show: "LAN: Static; ... . Gateway ..."
            EXPECT_EQ(Form->StatusBar->PanelText(),
                      "LAN: Static; LAN 2: Dhcp. Gateway 192.168.1.1 answers (2 ms)");
            EXPECT_TRUE(boxes.Boxes.empty());
            EXPECT_EQ(echoRequests, 1);
        } else {
            ASSERT_EQ(boxes.Boxes.size(), 1u);
            EXPECT_EQ(boxes.Boxes[0].Text, "The IP set \"Static\" is in effect on \"LAN\", but "
                                           "its gateway 192.168.1.1 does not answer.");
            EXPECT_EQ(echoRequests, EchoCount);
        }
        // What an undo puts back is not a set of the user's: nothing is asked.
        echoRequests = 0;
        Manager->UndoLastActivation();
        EXPECT_EQ(echoRequests, 0);
    }
    gatewayAnswers = true;
}

TEST_F(Activation, ASetThatGoesBackUnlessKeptIsKeptOrPutsTheConfigurationBeforeBack) {
    ExecSql(Db, "UPDATE IPSets SET CONFIRM = 1 WHERE IPSET_NAME = 'Static'");
    Manager->IPSetsTable()->Refresh();
    // The adapter stand-in shows the same before and after, so it shows the
    // set (the check passes only where no other address is left); what goes
    // back is what it showed before the apply.
    Adapters.Adapters[0].Addresses = {{"192.168.1.10", "255.255.255.0"}};
    SetEnvironmentVariableA("IPTAVIX_KEEP_SECONDS", "2");
    const struct {
        const char* Button; // nullptr: nobody answers
        bool GoesBack;
        const char* Status; // nullptr: a box tells it
    } cases[] = {
        {"Keep", false, "The IP set \"Static\" is kept on \"LAN\""},
        {"Go Back", true,
         "The IP set \"Static\" was not kept: \"LAN\" has its previous settings again."},
        {nullptr, true, nullptr},
    };
    for (const auto& c : cases) {
        const std::string what = c.Button ? c.Button : "no answer";
        DeleteFileA((TestFolder() + "netsh-log.txt").c_str());
        Form->StatusBar->SetSimpleText("");
        std::vector<std::string> shown;
        AnswerKeepDialog(c.Button, shown);
        MessageBoxCatcher boxes;
        Manager->ActivateIPSet(1);
        EXPECT_EQ(shown,
                  (std::vector<std::string>{"The IP set \"Static\" is in effect on \"LAN\".",
                                            "Gateway 192.168.1.1 answers (2 ms).",
                                            "Going back to the previous settings in 2 seconds."}))
            << what;
        const std::vector<NetshRun> runs = ReadLog();
        ASSERT_EQ(runs.size(), c.GoesBack ? 4u : 2u) << what;
        if (c.GoesBack) {
            EXPECT_EQ(runs[2].CommandLine, "netsh interface ip set address \"LAN\"  static "
                                           "192.168.1.10 255.255.255.0 192.168.1.1 1")
                << what;
        }
        if (c.Status) {
            EXPECT_TRUE(boxes.Boxes.empty()) << what;
            EXPECT_EQ(Form->StatusBar->PanelText(),
                      std::string("LAN: Static; LAN 2: Dhcp. ") + c.Status)
                << what;
        } else {
            ASSERT_EQ(boxes.Boxes.size(), 1u) << what;
            EXPECT_EQ(boxes.Boxes[0].Text, "Nobody kept the IP set \"Static\" within 2 seconds: "
                                           "\"LAN\" has its previous settings again.");
        }
        // Kept, it can be undone; gone back, there is nothing left to undo.
        EXPECT_EQ(Manager->CanUndoActivation(), !c.GoesBack) << what;
        EXPECT_EQ(FindWindowA(nullptr, "Keep these network settings?") &&
                      IsWindowVisible(FindWindowA(nullptr, "Keep these network settings?")),
                  false);
    }
    // With nothing to go back to (no adapter is the connection), nothing runs.
    DeleteFileA((TestFolder() + "netsh-log.txt").c_str());
    Adapters.Adapters[0].FriendlyName = "elsewhere";
    EXPECT_THROW(Manager->ActivateIPSet(1), Exception);
    EXPECT_TRUE(ReadLog().empty());
    SetEnvironmentVariableA("IPTAVIX_KEEP_SECONDS", nullptr);
}
