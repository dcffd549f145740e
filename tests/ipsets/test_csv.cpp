#include "ipsets/IPSetCsv.h"
#include "ipsets/IPSetStore.h"
#include "store/IPDatabase.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <windows.h>

#include <memory>

namespace {

// The header of files written before the Extra column: most cases here use it.
const std::string Header = "\xEF\xBB\xBFName,Address,Mask,Gateway,DNS,DNS2,DHCP,Connection\r\n";
const std::string NewHeader =
    "\xEF\xBB\xBFName,Address,Mask,Gateway,DNS,DNS2,Extra,DHCP,Connection\r\n";

bool operator==(const TIPSetValues& a, const TIPSetValues& b) {
    return a.Name == b.Name && a.Address == b.Address && a.Mask == b.Mask &&
           a.Gateway == b.Gateway && a.Dns == b.Dns && a.Dns2 == b.Dns2 && a.Dhcp == b.Dhcp &&
           a.Connection == b.Connection && a.ExtraAddresses == b.ExtraAddresses;
}

std::string ParseError(const std::string& lines) {
    std::vector<TIPSetValues> sets;
    std::string error;
    if (ParseIPSetCsv(Header + lines, sets, error)) return "(accepted)";
    EXPECT_TRUE(sets.empty());
    return error;
}

} // namespace

TEST(IPSetCsv, WritesBomCrlfAndQuotesAsRfc4180AndReadsItBack) {
    std::vector<TIPSetValues> sets = {
        {"Office, 2nd floor", "10.0.0.5", "255.0.0.0", "10.0.0.1", "10.0.0.53", "10.0.0.54", false,
         "LAN", "10.1.0.5/255.255.0.0;192.168.1.50/255.255.255.0"},
        {"Say \"hi\" there", "0.0.0.0", "0.0.0.0", "0.0.0.0", "0.0.0.0", "", true, "Wi,Fi"},
        {"No connection", "10.0.0.6", "255.0.0.0", "", "", "", false, ""},
    };
    const std::string bytes = WriteIPSetCsv(sets);
    EXPECT_EQ(bytes,
              NewHeader +
                  "\"Office, 2nd floor\",10.0.0.5,255.0.0.0,10.0.0.1,10.0.0.53,10.0.0.54,"
                  "10.1.0.5/255.255.0.0;192.168.1.50/255.255.255.0,0,LAN\r\n"
                  "\"Say \"\"hi\"\" there\",0.0.0.0,0.0.0.0,0.0.0.0,0.0.0.0,,,1,\"Wi,Fi\"\r\n"
                  "No connection,10.0.0.6,255.0.0.0,,,,,0,\r\n");
    std::vector<TIPSetValues> read;
    std::string error;
    ASSERT_TRUE(ParseIPSetCsv(bytes, read, error)) << error;
    ASSERT_EQ(read.size(), sets.size());
    for (size_t i = 0; i < sets.size(); ++i)
        EXPECT_TRUE(read[i] == sets[i]) << read[i].Name;
    // A file saved by hand without the mark, with LF line ends, reads the same.
    std::string plain = bytes.substr(3);
    for (size_t at; (at = plain.find("0,LAN\r\n")) != std::string::npos;)
        plain.replace(at, 7, "0,LAN\n");
    ASSERT_TRUE(ParseIPSetCsv(plain, read, error)) << error;
    EXPECT_TRUE(read[0] == sets[0]);
}

TEST(IPSetCsv, CellsASpreadsheetWouldRunAreWrittenWithAQuoteAndReadBackEqual) {
    const struct {
        const char *Name, *Cell;
    } cases[] = {
        {"=1+1", "'=1+1"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"+x", "'+x"},
        {"-x", "'-x"},
        {"'=x", "''=x"},
        {"'Office", "'Office"},
        {"Office=1", "Office=1"},
    };
    // The connection too (one that netsh can take: no "=" in it).
    for (const auto& c : cases) {
        const std::vector<TIPSetValues> sets = {
            {c.Name, "10.0.0.5", "255.0.0.0", "", "", "", false, "@LAN"}};
        const std::string bytes = WriteIPSetCsv(sets);
        EXPECT_EQ(bytes, NewHeader + c.Cell + ",10.0.0.5,255.0.0.0,,,,,0,'@LAN\r\n");
        std::vector<TIPSetValues> read;
        std::string error;
        ASSERT_TRUE(ParseIPSetCsv(bytes, read, error)) << error;
        EXPECT_TRUE(read[0] == sets[0]) << c.Name << " read as " << read[0].Name;
    }
}

TEST(IPSetCsv, TextIsConvertedBetweenUtf8AndTheAnsiCodePage) {
    if (GetACP() != 1252) GTEST_SKIP() << "written for code page 1252";
    std::vector<TIPSetValues> sets = {
        {"B\xFCro", "10.0.0.5", "255.0.0.0", "", "", "", false, "Ethernet \xE9"}};
    const std::string bytes = WriteIPSetCsv(sets);
    EXPECT_NE(bytes.find("B\xC3\xBCro,"), std::string::npos);
    std::vector<TIPSetValues> read;
    std::string error;
    ASSERT_TRUE(ParseIPSetCsv(bytes, read, error)) << error;
    EXPECT_TRUE(read[0] == sets[0]);
    // No ANSI form: refused, not stored as question marks or look-alikes.
    EXPECT_EQ(ParseError(
                  "ok,10.0.0.5,255.0.0.0,,,,0,LAN\r\n\xE6\x9D\xB1,10.0.0.5,255.0.0.0,,,,0,LAN\r\n"),
              "Line 3, field Name: the text has characters this system's code page cannot hold.");
    EXPECT_EQ(ParseError("A,10.0.0.5,255.0.0.0,,,,0,\xC4\x80\r\n"),
              "Line 2, field Connection: the text has characters this system's code page cannot "
              "hold.");
}

TEST(IPSetCsv, OneBadLineRefusesTheWholeFileNamingTheLineAndField) {
    const struct {
        const char *Lines, *Error;
    } cases[] = {
        {"A,10.0.0.300,255.0.0.0,,,,0,LAN\r\n",
         "Line 2, field Address: \"10.0.0.300\" is not a valid address."},
        {"A,10.0.0.5,255.0.0.0,,,,0,LAN\r\nB,10.0.0.5,,,,,0,LAN\r\n",
         "Line 3, field Mask: a static set needs a subnet mask."},
        {"A,,255.0.0.0,,,,0,LAN\r\n", "Line 2, field Address: a static set needs an IP address."},
        {"A,10.0.0.5,255.0.0.0,10.0.0.1 & x,,,0,LAN\r\n",
         "Line 2, field Gateway: \"10.0.0.1 & x\" is not a valid address."},
        {"A,10.0.0.5,255.0.0.0,,,10.0.0.54,0,LAN\r\n",
         "Line 2, field DNS2: a second DNS server needs a first one."},
        {"A,10.0.0.5,255.0.0.0,,,,yes,LAN\r\n", "Line 2, field DHCP: \"yes\" is neither 0 nor 1."},
        {" ,10.0.0.5,255.0.0.0,,,,0,LAN\r\n", "Line 2, field Name: the name is empty."},
        {"A,10.0.0.5,255.0.0.0,,,,0\r\n", "Line 2: 7 fields where 8 are expected."},
        // netsh would read it as a tag and change the connection eth1
        {"A,,,,,,1,name=eth1\r\n", "Line 2, field Connection: The connection name \"name=eth1\" "
                                    "contains an equals sign, which netsh cannot take as a name. "
                                    "Rename the connection in Windows."},
        // A line break inside quotes counts (trimmed off the name's end).
        {"\"two\r\n\",10.0.0.5,255.0.0.0,,,,0,LAN\r\nB,1,255.0.0.0,,,,0,LAN\r\n",
         "Line 4, field Address: \"1\" is not a valid address."},
        {"A,10.0.0.5,255.0.0.0,,,,0,LAN\r\na,10.0.0.6,255.0.0.0,,,,0,LAN\r\n",
         "Line 3, field Name: the name \"a\" is on an earlier line too."},
        {"\"A,10.0.0.5,255.0.0.0,,,,0,LAN\r\n", "Line 2: a quoted field is not closed."},
        {"\"A\"x,10.0.0.5,255.0.0.0,,,,0,LAN\r\n",
         "Line 2, field Name: text after the closing quote."},
        // Names are one line of text.
        {"A,10.0.0.5,255.0.0.0,,,,0,LAN\r\n\"Home\r\nOffice\",10.0.0.6,255.0.0.0,,,,0,LAN\r\n",
         "Line 3, field Name: the text holds a control character (a line break, a tab or the "
         "like)."},
        {"A,10.0.0.5,255.0.0.0,,,,0,\"L\x7F\"\r\n",
         "Line 2, field Connection: the text holds a control character (a line break, a tab or "
         "the like)."},
        // The editor's address rules.
        {"A,10.0.0.5,255.0.255.0,,,,0,LAN\r\n",
         "Line 2, field Mask: The subnet mask 255.0.255.0 is not contiguous: its one bits must "
         "all come first."},
        {"A,10.0.0.0,255.255.255.0,,,,0,LAN\r\n",
         "Line 2, field Address: The IP address 10.0.0.0 is the network address of its subnet "
         "10.0.0.0/24."},
        {"A,10.0.0.5,255.255.255.0,10.0.0.5,,,0,LAN\r\n",
         "Line 2, field Gateway: The gateway 10.0.0.5 is the IP address itself."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseError(c.Lines), c.Error) << c.Lines;
    // A NUL inside a name would cut it wherever it is shown.
    const char withNul[] = "Ho\0me,10.0.0.5,255.0.0.0,,,,0,LAN\r\n";
    EXPECT_EQ(ParseError(std::string(withNul, sizeof(withNul) - 1)),
              "Line 2, field Name: the text holds a control character (a line break, a tab or "
              "the like).");
    std::vector<TIPSetValues> sets;
    std::string error;
    EXPECT_FALSE(ParseIPSetCsv("Name,Address\r\n", sets, error));
    EXPECT_EQ(error, "Line 1: the header must be "
                     "Name,Address,Mask,Gateway,DNS,DNS2,Extra,DHCP,Connection.");
    // Each line has the fields of its file's header: the old one 8, the new one 9.
    EXPECT_EQ(ParseError("Home,10.0.0.5,255.0.0.0,,,,,0,LAN\r\n"),
              "Line 2: 9 fields where 8 are expected.");
    EXPECT_FALSE(ParseIPSetCsv(NewHeader + "Home,10.0.0.5,255.0.0.0,,,,0,LAN\r\n", sets, error));
    EXPECT_EQ(error, "Line 2: 8 fields where 9 are expected.");
    // Extra addresses follow the editor's rules, naming the field.
    EXPECT_FALSE(ParseIPSetCsv(
        NewHeader + "Home,10.0.0.5,255.0.0.0,,,,10.0.0.5/255.0.0.0,0,LAN\r\n", sets, error));
    EXPECT_EQ(error, "Line 2, field Extra: The extra address 10.0.0.5 is the set's IP address "
                     "itself.");
    EXPECT_FALSE(ParseIPSetCsv("", sets, error));
}

namespace {
struct Tables {
    explicit Tables(const std::string& path) : Connection(nullptr) {
        Connection.FileName = path;
        Sets = std::make_unique<TDbTable>(nullptr);
        OpenIPTable(*Sets, &Connection, IPDb::IPSets);
        Names = std::make_unique<TDbTable>(nullptr);
        OpenIPTable(*Names, &Connection, IPDb::Connections);
    }
    TDbConnection Connection;
    std::unique_ptr<TDbTable> Sets, Names;
};
const char* const Stored = "SELECT IPSET_NAME || '|' || IPADDRESS || '|' || IFNULL(DNS2, '') || "
                           "'|' || DHCP || '|' || IFNULL(CONNECTION, '') FROM IPSets ORDER BY ID";
} // namespace

TEST(IPSetImport, AddsNewNamesReplacesStoredOnesAndAddsMissingConnections) {
    const std::string path = FreshDatabase();
    ExecSql(path, "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN');"
                  "INSERT INTO IPSets (IPSET_NAME, IPADDRESS, DHCP, CONNECTION) VALUES "
                  "('Office', '10.0.0.1', 0, 1), ('Home', '10.0.0.2', 0, 1)");
    Tables t(path);
    const std::vector<TIPSetValues> imported = {
        {"office", "10.0.0.9", "255.0.0.0", "", "10.0.0.53", "10.0.0.54", false, "lan"},
        {"Lab", "0.0.0.0", "0.0.0.0", "", "", "", true, "Wi-Fi"},
    };
    EXPECT_EQ(ReplacedSetCount(*t.Sets, imported), 1);
    StoreImportedSets(t.Connection, *t.Sets, *t.Names, imported);
    EXPECT_EQ(QueryColumn(path, Stored),
              (std::vector<std::string>{"office|10.0.0.9|10.0.0.54|0|1", "Home|10.0.0.2||0|1",
                                        "Lab|0.0.0.0||1|2"}));
    EXPECT_EQ(QueryColumn(path, "SELECT CONNECTIONNAME FROM Connections ORDER BY ID"),
              (std::vector<std::string>{"LAN", "Wi-Fi"}));
    const std::vector<TIPSetValues> read = ReadStoredSets(*t.Sets, *t.Names);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].Connection, "LAN"); // the stored spelling of the connection
    EXPECT_EQ(read[0].Dns2, "10.0.0.54");
    EXPECT_EQ(SetsNamed(*t.Sets, "LAB"), (std::vector<long long>{3}));
}

TEST(IPSetImport, AFailedWriteChangesNothing) {
    const std::string path = FreshDatabase();
    // A file whose table refuses the second set's address: the first set and
    // its new connection are written before the failure and must not stay.
    ExecSql(path,
            "DROP TABLE IPSets; CREATE TABLE IPSets (ID INTEGER PRIMARY KEY AUTOINCREMENT, "
            "IPSET_NAME TEXT, IPADDRESS TEXT, SUBNETMASK TEXT, GATEWAY TEXT, DNS TEXT, "
            "DHCP BOOLEAN, CONNECTION INTEGER, DNS2 TEXT, CHECK (IPADDRESS <> '10.0.0.8'));"
            "INSERT INTO IPSets (IPSET_NAME, IPADDRESS, DHCP) VALUES ('Office', '10.0.0.1', 0)");
    const std::vector<std::string> before = QueryColumn(path, Stored);
    Tables t(path);
    std::vector<TIPSetValues> imported = {
        {"New", "10.0.0.9", "255.0.0.0", "", "", "", false, "Added"},
        {"Office", "10.0.0.8", "255.0.0.0", "", "", "", false, ""}};
    EXPECT_THROW(StoreImportedSets(t.Connection, *t.Sets, *t.Names, imported), EDatabaseError);
    EXPECT_EQ(QueryColumn(path, Stored), before);
    EXPECT_EQ(QueryColumn(path, "SELECT count(*) FROM Connections"),
              (std::vector<std::string>{"0"}));
    EXPECT_EQ(t.Sets->RecordCount(), 1);
    EXPECT_EQ(t.Names->RecordCount(), 0);
}

TEST(IPSetImport, SecondDnsServersAreRefusedWhereTheFileCannotHoldThem) {
    const std::string path = FreshDatabase();
    ExecSql(path,
            "DROP TABLE IPSets; CREATE TABLE IPSets (ID INTEGER PRIMARY KEY AUTOINCREMENT, "
            "IPSET_NAME TEXT, IPADDRESS TEXT, SUBNETMASK TEXT, GATEWAY TEXT, DNS TEXT, "
            "DHCP BOOLEAN, CONNECTION INTEGER);"
            "INSERT INTO IPSets (IPSET_NAME, IPADDRESS, DHCP) VALUES ('Office', '10.0.0.1', 0)");
    // Another program holds the file while it opens: the column cannot be added.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::unique_ptr<Tables> t;
    try {
        t = std::make_unique<Tables>(path);
    } catch (...) {
    }
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    ASSERT_TRUE(t && !t->Sets->HasField(IPDb::Dns2));
    const std::vector<std::string> before = QueryColumn(path, "SELECT IPSET_NAME FROM IPSets");
    const std::vector<TIPSetValues> imported = {
        {"New", "10.0.0.9", "255.0.0.0", "", "10.0.0.53", "", false, "LAN"},
        {"Office", "10.0.0.8", "255.0.0.0", "", "10.0.0.53", "10.0.0.54", false, ""}};
    try {
        StoreImportedSets(t->Connection, *t->Sets, *t->Names, imported);
        ADD_FAILURE() << "the second DNS server was dropped without a word";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(e.Message().find("1 of the IP sets have a second DNS server"), std::string::npos)
            << e.Message();
    }
    EXPECT_EQ(QueryColumn(path, "SELECT IPSET_NAME FROM IPSets"), before);
    EXPECT_EQ(QueryColumn(path, "SELECT count(*) FROM Connections"),
              (std::vector<std::string>{"0"}));
    // Without second servers the same file takes the sets.
    std::vector<TIPSetValues> plain = imported;
    plain[1].Dns2.clear();
    StoreImportedSets(t->Connection, *t->Sets, *t->Names, plain);
    EXPECT_EQ(QueryColumn(path, "SELECT IPSET_NAME FROM IPSets ORDER BY ID"),
              (std::vector<std::string>{"Office", "New"}));
}

TEST(IPSetCsvFile, ExportLeavesAFileWithItsTemporaryNameAloneAndNoTemporaryBehind) {
    const std::string folder = TestFolder() + "export\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string path = folder + "sets.csv";
    const std::string stranger = path + ".tmp";
    for (const std::string& f : {path, stranger}) {
        HANDLE h = CreateFileA(f.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(h, "keep", 4, &written, nullptr);
        CloseHandle(h);
    }
    SaveIPSetCsvFile(path, {{"A", "10.0.0.5", "255.0.0.0", "", "", "", false, ""}});
    EXPECT_EQ(LoadIPSetCsvFile(stranger), "keep");
    EXPECT_EQ(LoadIPSetCsvFile(path), NewHeader + "A,10.0.0.5,255.0.0.0,,,,,0,\r\n");
    WIN32_FIND_DATAA found;
    int files = 0;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    EXPECT_EQ(files, 2);
    DeleteFileA(path.c_str());
    DeleteFileA(stranger.c_str());
    RemoveDirectoryA(folder.c_str());
}
