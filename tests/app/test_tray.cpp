// The notification-area icon: its tooltip and menu from plain values, the
// icon's life against a shell the test plays, the options kept per user and
// the logon task against a recording task store.
#include "app/LogonTask.h"
#include "app/NotifyIcon.h"
#include "app/TrayContent.h"
#include "app/TrayIcon.h"
#include "app/UserOptions.h"
#include "support/MainWindowFixture.h"
#include "base/Exceptions.h"
#include "base/SysUtils.h"
#include "toolkit/Menus.h"

#include <gtest/gtest.h>

#include <map>

namespace {

TEST(TrayContent, TheTooltipHoldsWholeLinesUpToItsCapacity) {
    const std::vector<TTrayConnection> two = {{"LAN", "10.0.0.2", "Office"},
                                              {"Wi-Fi", "192.168.1.7", ""}};
    const std::string cyrillic = "\xD0\x9F\xD0\xBE\xD0\xB4"; // three letters, two bytes each
    const std::string emoji = "\xF0\x9F\x98\x80";            // one letter, a surrogate pair
    const struct {
        std::vector<TTrayConnection> Connections;
        size_t Capacity;
        std::string Tip;
    } cases[] = {
        {two, 127, "LAN: 10.0.0.2 (Office)\nWi-Fi: 192.168.1.7"},
        // The second line does not fit whole: it is left out, not cut.
        {two, 30, "LAN: 10.0.0.2 (Office)"},
        // A first line longer than the tooltip is cut, never a letter split.
        {two, 12, "LAN: 10.0..."},
        {{{cyrillic, "", ""}}, 6, cyrillic + ": -"},
        {{{cyrillic + cyrillic, "1.2.3.4", ""}}, 6, cyrillic + "..."},
        {{{emoji + emoji, "", ""}}, 6, emoji + "..."},
        {{}, 127, "IP Tavix Ver2"},
    };
    for (const auto& c : cases) {
        const std::string tip = TrayTooltip(c.Connections, "IP Tavix Ver2", c.Capacity);
        EXPECT_EQ(tip, c.Tip) << c.Capacity;
        EXPECT_LE(Utf16Length(tip), c.Capacity) << tip;
    }
}

TEST(TrayContent, SetsOfSeveralConnectionsGoUnderAHeadingEach) {
    const std::vector<TTraySet> sets = {
        {1, "Office", "LAN", false}, {2, "Cafe", "Wi-Fi", true}, {3, "Home", "lan", true}};
    const std::vector<TTrayMenuEntry> entries = TrayMenuEntries(sets);
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_TRUE(entries[0].Heading);
    EXPECT_EQ(entries[0].Caption, "LAN");
    // A connection's name in another case is the same connection.
    EXPECT_EQ(entries[1].SetID, 1);
    EXPECT_EQ(entries[2].SetID, 3);
    EXPECT_TRUE(entries[2].Checked);
    EXPECT_TRUE(entries[3].Heading);
    EXPECT_EQ(entries[4].Caption, "Cafe");
    EXPECT_TRUE(entries[4].Checked);

    const std::vector<TTrayMenuEntry> one = TrayMenuEntries({sets[0], sets[2]});
    ASSERT_EQ(one.size(), 2u);
    EXPECT_FALSE(one[0].Heading || one[1].Heading);
    EXPECT_EQ(InEffectBalloonText("Office", "LAN"), "Office is in effect on LAN.");
}

// A shell the test plays: refuses the first `Refusals` adds, records the rest.
struct FakeShell {
    int Refusals = 0;
    bool Version4 = true; // takes NOTIFYICON_VERSION_4
    std::vector<DWORD> Messages;
    std::wstring Tip, BalloonText;
    UINT Callback = 0;
    bool Present = false;
};
FakeShell* shell = nullptr;

BOOL WINAPI FakeShellNotifyIcon(DWORD message, PNOTIFYICONDATAW data) {
    shell->Messages.push_back(message);
    switch (message) {
    case NIM_ADD:
        if (shell->Refusals > 0) {
            --shell->Refusals;
            return FALSE;
        }
        shell->Present = true;
        shell->Tip = data->szTip;
        shell->Callback = data->uCallbackMessage;
        return TRUE;
    case NIM_MODIFY:
        if (!shell->Present) return FALSE;
        if (data->uFlags & NIF_TIP) shell->Tip = data->szTip;
        if (data->uFlags & NIF_INFO) shell->BalloonText = data->szInfo;
        return TRUE;
    case NIM_DELETE:
        shell->Present = false;
        return TRUE;
    case NIM_SETVERSION:
        return shell->Present && shell->Version4;
    default:
        return shell->Present;
    }
}

class FakeShellScope {
public:
    explicit FakeShellScope(FakeShell& fake) {
        shell = &fake;
        SetShellNotifyIconSource(FakeShellNotifyIcon);
    }
    ~FakeShellScope() {
        SetShellNotifyIconSource(nullptr);
        shell = nullptr;
    }
};

TEST(NotifyIcon, IsAddedOnceTheAreaTakesItAgainAfterExplorerRestartsAndRemovedAtTheEnd) {
    FakeShell fake;
    fake.Refusals = 2; // the area is not ready at logon
    FakeShellScope scope(fake);
    {
        TNotifyIcon icon(nullptr, LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION)),
                         "IP Tavix Ver2");
        EXPECT_FALSE(icon.Shown());
        EXPECT_FALSE(icon.TryAdd());
        EXPECT_TRUE(icon.TryAdd());
        EXPECT_TRUE(fake.Present);
        EXPECT_EQ(fake.Tip, L"IP Tavix Ver2");

        fake.Present = false; // Explorer ended and started anew
        SendMessageA(icon.Handle(), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
        EXPECT_TRUE(icon.Shown());
        EXPECT_TRUE(fake.Present);
        icon.ShowBalloon("IP Tavix Ver2", "Office is in effect on LAN.");
        EXPECT_EQ(fake.BalloonText, L"Office is in effect on LAN.");
    }
    EXPECT_FALSE(fake.Present);
    EXPECT_EQ(fake.Messages.back(), static_cast<DWORD>(NIM_DELETE));
}

// What the shell reports, with and without version 4, reaches the menu or the
// window once. Shift+F10, the menu key and Enter on the focused icon come only
// this way: Wine's docked icons pass on the mouse alone.
TEST(NotifyIcon, TheShellsReportsOpenTheMenuOrTheWindowOnce) {
    POINT cursor;
    GetCursorPos(&cursor);
    const std::string atCursor = std::to_string(cursor.x) + "," + std::to_string(cursor.y);
    const struct {
        bool Version4;
        UINT Event;
        WPARAM Anchor;
        std::string Expected;
    } cases[] = {
        // The anchor is the icon's, also for the keyboard and left of the
        // primary monitor; the button's own report does not open it again.
        {true, WM_CONTEXTMENU, MAKEWPARAM(100, 200), "menu 100,200"},
        {true, WM_CONTEXTMENU, MAKEWPARAM(static_cast<WORD>(-1200), 30), "menu -1200,30"},
        {true, WM_RBUTTONUP, MAKEWPARAM(100, 200), ""},
        {true, NIN_SELECT, 0, "select"},
        {true, NIN_KEYSELECT, 0, "select"},
        {true, WM_LBUTTONUP, 0, ""},
        // An older shell: the mouse message alone, the menu at the pointer.
        {false, WM_RBUTTONUP, 0, "menu " + atCursor},
        {false, WM_LBUTTONUP, 0, "select"},
        {false, WM_MOUSEMOVE, 0, ""},
    };
    for (const auto& c : cases) {
        FakeShell fake;
        fake.Version4 = c.Version4;
        FakeShellScope scope(fake);
        TNotifyIcon icon(nullptr, LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION)),
                         "IP Tavix Ver2");
        std::string seen;
        icon.OnContextMenu = [&seen](int x, int y) {
            seen += "menu " + std::to_string(x) + "," + std::to_string(y);
        };
        icon.OnSelect = [&seen] { seen += "select"; };
        const LPARAM report = c.Version4 ? MAKELPARAM(c.Event, 1) : static_cast<LPARAM>(c.Event);
        SendMessageA(icon.Handle(), fake.Callback, c.Anchor, report);
        EXPECT_EQ(seen, c.Expected) << c.Version4 << " " << c.Event;
    }
}

class TrayWindow : public MainWindowFixture {
protected:
    void SetUp() override {
        Db = FreshDatabase();
        ExecSql(Db, "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN'), ('Wi-Fi');"
                    "INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, "
                    "CONNECTION) VALUES ('Office', '10.1.2.3', '255.255.0.0', '', '', 0, 1), "
                    "('Home', '', '', '', '', 1, 1), ('Cafe', '', '', '', '', 1, 2)");
        FakeAdapter lan;
        lan.Name = "{ADAPTER-LAN}";
        lan.FriendlyName = "LAN";
        lan.Dhcp = false;
        lan.Addresses = {{"10.1.2.3", "255.255.0.0"}};
        lan.DnsServers = {};
        Adapters.Adapters = {lan};
        OpenMainWindow(false);
    }
};

TEST_F(TrayWindow, TheTooltipAndTheMenuShowTheSetInEffect) {
    FakeShell fake;
    FakeShellScope scope(fake);
    Form->ShowTrayIcon();
    ASSERT_TRUE(Form->TrayIcon()->Shown());
    MSG msg; // the tooltip follows from the message loop
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    // Wi-Fi has no adapter: no line.
    EXPECT_EQ(fake.Tip, L"LAN: 10.1.2.3 (Office)");

    RunInModalLoop([] { EndMenu(); });
    Form->TrayIcon()->ShowMenu(10, 10);
    std::vector<std::string> captions;
    std::string checked;
    TMenuItem* root = Form->TrayIcon()->Menu()->Items();
    for (int i = 0; i < root->Count(); ++i) {
        captions.push_back(root->Items(i)->Caption);
        if (root->Items(i)->Checked) checked += root->Items(i)->Caption;
        // The styler draws it like every other menu of the window, lines too.
        EXPECT_TRUE(root->Items(i)->OnDrawItem) << i;
    }
    EXPECT_EQ(captions, (std::vector<std::string>{"LAN", "Office", "Home", "Wi-Fi", "Cafe", "-",
                                                  "Undo Last Activation", "-", "Open IP Tavix Ver2",
                                                  "Exit"}));
    EXPECT_EQ(checked, "Office");
    EXPECT_FALSE(root->Items(0)->Enabled);

    // Built again, not added to.
    RunInModalLoop([] { EndMenu(); });
    Form->TrayIcon()->ShowMenu(10, 10);
    EXPECT_EQ(root->Count(), 10);

    // While a dialog of the program waits for an answer the menu is not
    // offered (a set applied under the editor): the window comes forward.
    EnableWindow(Form->Handle(), FALSE);
    const size_t calls = fake.Messages.size(); // a menu shown first brings the tooltip up to date
    RunInModalLoop([] { EndMenu(); });         // where it is offered after all
    Form->TrayIcon()->ShowMenu(10, 10);
    EXPECT_EQ(fake.Messages.size(), calls) << "the menu was offered";
    EXPECT_TRUE(IsWindowVisible(Form->Handle()));
    EnableWindow(Form->Handle(), TRUE);
}

TEST_F(TrayWindow, MinimisingHidesTheWindowOnlyWhereTheIconCanBringItBack) {
    for (const bool iconShown : {true, false}) {
        FakeShell fake;
        fake.Refusals = iconShown ? 0 : 1000;
        FakeShellScope scope(fake);
        Form->ShowTrayIcon();
        Form->Show();
        ShowWindow(Form->Handle(), SW_MINIMIZE);
        EXPECT_EQ(IsWindowVisible(Form->Handle()) != FALSE, !iconShown) << iconShown;
        Form->TrayIcon()->ShowMainWindow();
        EXPECT_TRUE(IsWindowVisible(Form->Handle()));
        EXPECT_FALSE(IsIconic(Form->Handle()));
        TearDown(); // the next round has a window and an icon of its own
        OpenMainWindow(false);
    }
}

class UserOptionsTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteKeyA(HKEY_CURRENT_USER, UserOptionsKey); }
    void TearDown() override { RegDeleteKeyA(HKEY_CURRENT_USER, UserOptionsKey); }
};

TEST_F(UserOptionsTest, AreKeptPerUserAndAStrangeValueReadsAsTheDefault) {
    EXPECT_TRUE(LoadUserOptions().MinimizeToTray);
    SaveUserOptions({.MinimizeToTray = false});
    EXPECT_FALSE(LoadUserOptions().MinimizeToTray);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, UserOptionsKey, 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    RegSetValueExA(key, "MinimizeToNotificationArea", 0, REG_SZ, reinterpret_cast<const BYTE*>("0"),
                   2);
    RegCloseKey(key);
    EXPECT_TRUE(LoadUserOptions().MinimizeToTray);
}

// Wine's Task Scheduler cannot hold the task (E_NOTIMPL for the principal's
// logon type; no ILogonTrigger in its headers): the calls are shown against
// this record of them.
struct RecordingTaskStore : TTaskStore {
    std::map<std::wstring, TLogonTaskDefinition> Tasks;
    std::vector<std::string> Calls;
    bool Refuse = false; // as Wine's scheduler refuses the task
    void Register(const std::wstring& name, const TLogonTaskDefinition& task) override {
        if (Refuse) throw Exception("The Task Scheduler refused the task's logon type");
        Calls.push_back("register " + WideToAnsi(name));
        Tasks[name] = task;
    }
    std::optional<TLogonTaskDefinition> Read(const std::wstring& name) override {
        auto found = Tasks.find(name);
        if (found == Tasks.end()) return std::nullopt;
        return found->second;
    }
    void Remove(const std::wstring& name) override {
        Calls.push_back("delete " + WideToAnsi(name));
        Tasks.erase(name);
    }
};

TEST(LogonTask, IsRegisteredElevatedAtTheUsersLogonAndDeletedOnlyForThisProgram) {
    RecordingTaskStore store;
    const std::wstring user = L"OFFICE\\anna",
                       exe = L"C:\\Program Files\\IP Tavix\\IPTavixVer2.exe";
    TLogonTask task(store, user, exe);
    EXPECT_FALSE(task.Registered());
    task.Register();
    const std::wstring name = L"IP Tavix Ver2 at logon of OFFICE-anna";
    ASSERT_EQ(store.Tasks.count(name), 1u);
    const TLogonTaskDefinition& stored = store.Tasks[name];
    EXPECT_EQ(stored.UserId, user);
    EXPECT_EQ(stored.Path, exe);
    EXPECT_EQ(stored.Arguments, L"/tray");
    EXPECT_TRUE(stored.HighestPrivileges);
    EXPECT_FALSE(stored.BatteryConditions);
    EXPECT_EQ(stored.TimeLimit, L"PT0S");
    EXPECT_TRUE(task.Registered());
    // The scheduler may give the path back quoted or in another case.
    store.Tasks[name].Path = L"\"c:\\program files\\ip tavix\\iptavixver2.exe\"";
    EXPECT_TRUE(task.Registered());

    // Another copy of the program holds the user's task: this one's tick is
    // off and its untick deletes nothing.
    TLogonTask other(store, user, L"D:\\Tools\\IPTavixVer2.exe");
    EXPECT_FALSE(other.Registered());
    other.Unregister();
    EXPECT_EQ(store.Tasks.count(name), 1u);

    task.Unregister();
    EXPECT_TRUE(store.Tasks.empty());
    EXPECT_EQ(store.Calls,
              (std::vector<std::string>{"register IP Tavix Ver2 at logon of OFFICE-anna",
                                        "delete IP Tavix Ver2 at logon of OFFICE-anna"}));
}

RecordingTaskStore* recordingStore = nullptr;

struct StoreView : TTaskStore {
    void Register(const std::wstring& n, const TLogonTaskDefinition& t) override {
        recordingStore->Register(n, t);
    }
    std::optional<TLogonTaskDefinition> Read(const std::wstring& n) override {
        return recordingStore->Read(n);
    }
    void Remove(const std::wstring& n) override { recordingStore->Remove(n); }
};

TEST_F(TrayWindow, TheOptionsMenuTicksFollowTheTaskAndTheStoredOption) {
    RegDeleteKeyA(HKEY_CURRENT_USER, UserOptionsKey);
    RecordingTaskStore store;
    recordingStore = &store;
    SetTaskStoreSource(
        []() -> std::unique_ptr<TTaskStore> { return std::make_unique<StoreView>(); });
    struct Restore {
        ~Restore() {
            SetTaskStoreSource(nullptr);
            recordingStore = nullptr;
            RegDeleteKeyA(HKEY_CURRENT_USER, UserOptionsKey);
        }
    } restore;
    EXPECT_TRUE(Form->MinimizetoNotificationArea1->Checked);
    Form->StartwithWindows1->Click();
    EXPECT_TRUE(Form->StartwithWindows1->Checked);
    ASSERT_EQ(store.Tasks.size(), 1u);
    const TLogonTaskDefinition& task = store.Tasks.begin()->second;
    EXPECT_TRUE(SameText(WideToAnsi(task.Path), ApplicationExeName()));
    EXPECT_EQ(task.UserId, CurrentUserId());
    // The task deleted outside the program: the tick says so when the menu opens.
    store.Tasks.clear();
    SendMessageA(Form->Handle(), WM_INITMENUPOPUP,
                 reinterpret_cast<WPARAM>(GetSubMenu(Form->MainMenu->Handle(), 3)), 3);
    EXPECT_FALSE(Form->StartwithWindows1->Checked);

    // A refusal is told in a box; the tick stays as it was.
    store.Refuse = true;
    MessageBoxCatcher boxes;
    SendMessageA(Form->Handle(), WM_COMMAND, Form->StartwithWindows1->Command(), 0);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Text, "Start with Windows was not changed. The Task Scheduler "
                                   "refused the task's logon type.");
    EXPECT_FALSE(Form->StartwithWindows1->Checked);

    Form->MinimizetoNotificationArea1->Click();
    EXPECT_FALSE(Form->MinimizetoNotificationArea1->Checked);
    EXPECT_FALSE(LoadUserOptions().MinimizeToTray);
}

} // namespace
