#include "adapters/IPInfo.h"
#include "ipsets/CurrentConfiguration.h"
#include "ipsets/o_qvIPInfo.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

OSVERSIONINFOA Version(DWORD platform, DWORD major, DWORD minor, const char* csd = "") {
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof(v);
    v.dwPlatformId = platform;
    v.dwMajorVersion = major;
    v.dwMinorVersion = minor;
    std::strcpy(v.szCSDVersion, csd);
    return v;
}

OSVERSIONINFOA reportedVersion;
BOOL reportOk = TRUE;
BOOL WINAPI FakeGetVersionEx(LPOSVERSIONINFOA info) {
    if (info->dwOSVersionInfoSize != 148) return FALSE;
    *info = reportedVersion;
    return reportOk;
}

struct VersionScope {
    VersionScope(OSVERSIONINFOA v, BOOL ok = TRUE) {
        reportedVersion = v;
        reportOk = ok;
        SetVersionInfoSource(FakeGetVersionEx);
    }
    ~VersionScope() { SetVersionInfoSource(nullptr); }
};

const std::string Base = NetworkBasePath;
const std::string ClassKey = Base + NetworkClassKey + "\\";
const std::string OtherClass = Base + "{7E57C1A5-0000-0000-0000-000000000002}\\";

std::vector<std::string> StoredNames(const std::string& db) {
    return QueryColumn(db, "SELECT CONNECTIONNAME FROM Connections ORDER BY ID");
}

class Merge : public ::testing::Test {
protected:
    void SetUp() override {
        Db = FreshDatabase();
        for (const char* name : {"{7E57-AAAA}", "{7E57-BBBB}", "{7E57-CCCC}"}) {
            FakeAdapter a;
            a.Name = name;
            Source.Adapters.push_back(a);
        }
        Clean();
    }
    void TearDown() override { Clean(); }
    void Clean() {
        for (const char* name : {"{7E57-AAAA}", "{7E57-BBBB}", "{7E57-CCCC}", "{7e57-aaaa}"}) {
            DeleteTree(ClassKey + name);
            DeleteTree(Base + name);
        }
        DeleteTree(OtherClass);
    }
    std::string Db;
    FakeAdapterSource Source;
};

} // namespace

TEST(WindowsVersion, ClassificationTable) {
    EXPECT_EQ(ClassifyWindowsVersion(Version(1, 4, 0)), wvWin95);
    EXPECT_EQ(ClassifyWindowsVersion(Version(1, 4, 10, " B")), wvWin98);
    EXPECT_EQ(ClassifyWindowsVersion(Version(1, 4, 10, " A")), wvWin98SE);
    EXPECT_EQ(ClassifyWindowsVersion(Version(1, 4, 90)), wvWinME);
    EXPECT_EQ(ClassifyWindowsVersion(Version(1, 5, 0)), wvOther);
    EXPECT_EQ(ClassifyWindowsVersion(Version(2, 3, 51)), wvWinNT);
    EXPECT_EQ(ClassifyWindowsVersion(Version(2, 4, 7)), wvWinNT);
    EXPECT_EQ(ClassifyWindowsVersion(Version(2, 5, 0)), wvWin2000);
    EXPECT_EQ(ClassifyWindowsVersion(Version(2, 5, 1)), wvWinXP);
    EXPECT_EQ(ClassifyWindowsVersion(Version(2, 5, 2)), wvOther);
    EXPECT_EQ(ClassifyWindowsVersion(Version(2, 6, 0)), wvWinVista);
    EXPECT_EQ(ClassifyWindowsVersion(Version(2, 6, 3)), wvWinVista);
    EXPECT_EQ(ClassifyWindowsVersion(Version(2, 10, 0)), wvOther);
    EXPECT_EQ(ClassifyWindowsVersion(Version(3, 6, 1)), wvOther);
}

TEST(ApplicationFolder, KeepsEverythingUpToTheLastDelimiter) {
    EXPECT_EQ(ApplicationFolderOf("C:\\IPTavixVer2.exe"), "C:\\");
    EXPECT_EQ(ApplicationFolderOf("C:\\Net;Tools\\IPTavixVer2.exe"), "C:\\Net;Tools\\");
    EXPECT_EQ(ApplicationFolderOf("D:IPTavixVer2.exe"), "D:\\");
}

TEST_F(Merge, ManagerOpensTheDatabaseBesideTheProgram) {
    FakeAdaptersScope adapters(Source);
    VersionScope version(Version(2, 5, 0));
    ExecSql(Db, "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN')");
    TqvIPSetManager manager(nullptr);
    EXPECT_EQ(manager.GetApplicationFolder(), TestFolder());
    EXPECT_EQ(manager.GetConnectionName(1), "LAN");
    EXPECT_EQ(manager.GetConnectionName(0), "");
    EXPECT_EQ(manager.GetConnectionName(42), "");
    EXPECT_TRUE(manager.IPSetsTable()->Active());
}

TEST_F(Merge, MissingDatabaseFailsConstruction) {
    FakeAdaptersScope adapters(Source);
    DeleteFileA(Db.c_str());
    EXPECT_THROW(TqvIPSetManager(nullptr), EDatabaseError);
}

TEST_F(Merge, XPLayoutMergesEachNameOnceWithCaseInsensitiveAdapterNames) {
    WriteConnectionName(ClassKey + "{7e57-aaaa}\\Connection", "Local Area Connection");
    WriteConnectionName(ClassKey + "{7E57-BBBB}\\Connection", "Wireless");
    // The same adapter under a second class key: looked up again, stored once.
    WriteConnectionName(OtherClass + "{7E57-AAAA}\\Connection", "Local Area Connection");
    // Two adapters with one name add one row, letter case aside (Windows
    // holds one connection per name whatever its case).
    WriteConnectionName(ClassKey + "{7E57-CCCC}\\Connection", "WIRELESS");
    // The direct layout is not read on XP.
    WriteConnectionName(Base + "{7E57-CCCC}\\Connection", "Vista only");
    FakeAdaptersScope adapters(Source);
    VersionScope version(Version(2, 5, 1));
    { TqvIPSetManager manager(nullptr); }
    EXPECT_EQ(StoredNames(Db), (std::vector<std::string>{"Local Area Connection", "Wireless"}));
    // A later start adds nothing new.
    { TqvIPSetManager manager(nullptr); }
    EXPECT_EQ(StoredNames(Db).size(), 2u);
}

TEST_F(Merge, NamesMatchWithoutCaseAndAReadOnlyFileOffersNewOnesWithoutWritingThem) {
    ExecSql(Db, "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN')");
    WriteConnectionName(ClassKey + "{7E57-AAAA}\\Connection", "lan");
    WriteConnectionName(ClassKey + "{7E57-BBBB}\\Connection", "USB LAN");
    FakeAdaptersScope adapters(Source);
    VersionScope version(Version(2, 5, 1));
    SetFileAttributesA(Db.c_str(), FILE_ATTRIBUTE_READONLY);
    {
        TqvIPSetManager manager(nullptr);
        TDbTable& names = *manager.ConnectionsTable();
        ASSERT_EQ(names.RecordCount(), 2);
        ASSERT_TRUE(names.Locate("CONNECTIONNAME", std::string("USB LAN")));
        EXPECT_EQ(manager.GetConnectionName(names.FieldByName("ID").AsInteger()), "USB LAN");
    }
    EXPECT_EQ(StoredNames(Db), (std::vector<std::string>{"LAN"}));
    SetFileAttributesA(Db.c_str(), FILE_ATTRIBUTE_NORMAL);
    // Writable, the new name is stored and the other case of LAN is not.
    { TqvIPSetManager manager(nullptr); }
    EXPECT_EQ(StoredNames(Db), (std::vector<std::string>{"LAN", "USB LAN"}));
}

TEST_F(Merge, VistaReadsTheDirectLayoutAndTheClassKeyLayout) {
    WriteConnectionName(Base + "{7E57-AAAA}\\Connection", "Direct");
    WriteConnectionName(ClassKey + "{7E57-BBBB}\\Connection", "Class key");
    WriteConnectionName(ClassKey + "{7E57-AAAA}\\Connection", "Direct");
    FakeAdaptersScope adapters(Source);
    VersionScope version(Version(2, 6, 1));
    TqvIPSetManager manager(nullptr);
    EXPECT_EQ(StoredNames(Db), (std::vector<std::string>{"Direct", "Class key"}));
}

TEST_F(Merge, OtherVersionClassesMergeNothing) {
    WriteConnectionName(ClassKey + "{7E57-AAAA}\\Connection", "LAN");
    WriteConnectionName(Base + "{7E57-AAAA}\\Connection", "LAN");
    FakeAdaptersScope adapters(Source);
    for (OSVERSIONINFOA v :
         {Version(2, 5, 0), Version(2, 5, 2), Version(2, 10, 0), Version(1, 4, 10)}) {
        VersionScope version(v);
        TqvIPSetManager manager(nullptr);
    }
    {
        VersionScope failing(Version(2, 5, 1), FALSE);
        TqvIPSetManager manager(nullptr);
        EXPECT_EQ(manager.GetWindowsVersion(), wvOther);
    }
    EXPECT_TRUE(StoredNames(Db).empty());
}

TEST_F(Merge, MissingNameValueIsStoredAsEmptyText) {
    WriteConnectionValue(ClassKey + "{7E57-AAAA}\\Connection", REG_SZ, nullptr, 0);
    FakeAdaptersScope adapters(Source);
    VersionScope version(Version(2, 5, 1));
    TqvIPSetManager manager(nullptr);
    EXPECT_EQ(StoredNames(Db), (std::vector<std::string>{""}));
}

TEST_F(Merge, NonStringNameFailsStartUpAndStoresNothing) {
    DWORD number = 5;
    WriteConnectionName(ClassKey + "{7E57-AAAA}\\Connection", "LAN");
    WriteConnectionValue(ClassKey + "{7E57-BBBB}\\Connection", REG_DWORD, &number, sizeof(number));
    FakeAdaptersScope adapters(Source);
    VersionScope version(Version(2, 5, 1));
    try {
        TqvIPSetManager manager(nullptr);
        FAIL() << "no failure";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), "Invalid data type for 'Name'");
    }
    EXPECT_EQ(StoredNames(Db), (std::vector<std::string>{"LAN"}));
}

TEST_F(Merge, FailingSnapshotEndsConstruction) {
    Source.Status = ERROR_NOT_SUPPORTED;
    FakeAdaptersScope adapters(Source);
    EXPECT_THROW(TqvIPSetManager(nullptr), EOSError);
}

TEST(CurrentConfiguration, FirstAddressMaskAndGatewayWithNoneForZeroes) {
    IP_ADAPTER_INFO info{};
    IP_ADDR_STRING second{};
    std::strcpy(info.IpAddressList.IpAddress.String, "10.0.0.5");
    std::strcpy(info.IpAddressList.IpMask.String, "255.0.0.0");
    info.IpAddressList.Next = &second;
    std::strcpy(second.IpAddress.String, "10.0.0.6");
    std::strcpy(second.IpMask.String, "255.255.0.0");
    std::strcpy(info.GatewayList.IpAddress.String, "10.0.0.1");
    TAdapter adapter(info);
    adapter.DnsServers = {"0.0.0.0", "10.0.0.54"}; // a missing primary: the other one moves up
    TIPSetValues set = ConfigurationOfAdapter(adapter, "LAN");
    EXPECT_EQ(set.Address + "|" + set.Mask + "|" + set.Gateway + "|" + set.Dns + "|" + set.Dns2 +
                  "|" + set.Connection,
              "10.0.0.5|255.0.0.0|10.0.0.1|10.0.0.54||LAN");
    EXPECT_FALSE(set.Dhcp);

    IP_ADAPTER_INFO bare{};
    std::strcpy(bare.IpAddressList.IpAddress.String, "0.0.0.0");
    std::strcpy(bare.IpAddressList.IpMask.String, "0.0.0.0");
    std::strcpy(bare.GatewayList.IpAddress.String, "0.0.0.0");
    bare.DhcpEnabled = TRUE;
    std::strcpy(bare.DhcpServer.IpAddress.String, "10.0.0.2");
    set = ConfigurationOfAdapter(TAdapter(bare), "");
    EXPECT_EQ(set.Address + "|" + set.Mask + "|" + set.Gateway + "|" + set.Dns, "|||");
    EXPECT_TRUE(set.Dhcp);
}

// Each adapter's state by the same check an apply ends with: a registry name
// before the name Windows shows, a set naming either, the first of equal sets,
// an empty name never matching a set without a connection.
TEST(SetsInEffect, EachConnectionShowsTheFirstSetItMatchesElseItsAddress) {
    auto view = [](const char* registry, const char* friendly, const char* address) {
        TConnectionView v;
        v.RegistryName = registry;
        v.FriendlyName = friendly;
        if (*address) v.View.Addresses = {{"0.0.0.0", "0.0.0.0"}, {address, "255.255.255.0"}};
        return v;
    };
    const std::vector<TConnectionView> views = {
        view("LAN", "Ethernet", "10.0.0.2"), view("", "LAN", "10.0.0.9"),
        view("Wi-Fi", "wlan0", "192.168.1.7"), view("", "", "")};
    EXPECT_EQ(FindConnectionView(views, "lan"), &views[0]);
    EXPECT_EQ(FindConnectionView(views, "WLAN0"), &views[2]);
    EXPECT_EQ(FindConnectionView(views, "Bluetooth"), nullptr);

    auto set = [](const char* name, const char* address, const char* connection) {
        TIPSetValues s;
        s.Name = name;
        s.Address = address;
        s.Mask = "255.255.255.0";
        s.Connection = connection;
        return s;
    };
    const std::vector<TIPSetValues> sets = {
        set("Elsewhere", "10.0.0.3", "LAN"), set("Office", "10.0.0.2", "lan"),
        set("Office too", "10.0.0.2", "LAN"), set("Cafe", "192.168.1.7", "wlan0"),
        set("Nameless", "0.0.0.0", "")};
    const std::vector<TConnectionState> states = ConnectionStates(sets, views);
    ASSERT_EQ(states.size(), 4u);
    EXPECT_EQ(states[0].SetIndex, 1);
    EXPECT_EQ(states[2].SetName, "Cafe");
    EXPECT_EQ(states[3].SetIndex, -1);
    EXPECT_EQ(ConnectionStatusText(states),
              "LAN: Office; LAN: 10.0.0.9; Wi-Fi: Cafe; : no address");
    EXPECT_EQ(ConnectionStatusText({}), "");
}
