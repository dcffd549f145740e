#include "store/Database.h"
#include "store/IPDatabase.h"
#include "support/TestSupport.h"
#include "base/SysUtils.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <set>

namespace {

struct Db {
    explicit Db(const std::string& path) : Connection(nullptr) {
        Connection.FileName = path;
        Connection.Open();
        IPSets = std::make_unique<TDbTable>(nullptr);
        OpenIPTable(*IPSets, &Connection, IPDb::IPSets);
        Names = std::make_unique<TDbTable>(nullptr);
        OpenIPTable(*Names, &Connection, IPDb::Connections);
    }
    TDbConnection Connection;
    std::unique_ptr<TDbTable> IPSets, Names;
};

void AddName(TDbTable& t, const std::string& name) {
    t.Insert();
    t.FieldByName("CONNECTIONNAME").SetAsString(name);
    t.Post();
}

std::string OpenError(const std::string& path) {
    try {
        Db db(path);
    } catch (const EDatabaseError& e) {
        return e.Message();
    }
    return "(opened)";
}

class Store : public ::testing::Test {
protected:
    void SetUp() override { Path = FreshDatabase(); }
    std::string Path;
};

} // namespace

TEST_F(Store, InsertPostAssignsKeysAndStoresAtOnce) {
    Db db(Path);
    EXPECT_EQ(db.Names->RecordCount(), 0);
    EXPECT_TRUE(db.Names->Eof());
    AddName(*db.Names, "LAN");
    AddName(*db.Names, "WLAN");
    EXPECT_EQ(db.Names->FieldByName("ID").AsInteger(), 2);
    EXPECT_EQ(db.Names->FieldByName("CONNECTIONNAME").AsString(), "WLAN");
    // Another reader of the file sees both rows without any close or flush.
    EXPECT_EQ(QueryColumn(Path, "SELECT CONNECTIONNAME FROM Connections ORDER BY ID"),
              (std::vector<std::string>{"LAN", "WLAN"}));
}

TEST_F(Store, EmptyFieldsReadAsEmptyZeroFalseAndBooleansAsWords) {
    ExecSql(Path, "INSERT INTO IPSets (IPSET_NAME) VALUES ('bare');"
                  "INSERT INTO IPSets (IPSET_NAME, DHCP, CONNECTION) VALUES ('dhcp', 1, 7)");
    Db db(Path);
    db.IPSets->First();
    EXPECT_EQ(db.IPSets->FieldByName("IPADDRESS").AsString(), "");
    EXPECT_EQ(db.IPSets->FieldByName("CONNECTION").AsInteger(), 0);
    EXPECT_FALSE(db.IPSets->FieldByName("DHCP").AsBoolean());
    EXPECT_EQ(db.IPSets->FieldByName("DHCP").AsString(), "");
    db.IPSets->Next();
    EXPECT_TRUE(db.IPSets->FieldByName("DHCP").AsBoolean());
    EXPECT_EQ(db.IPSets->FieldByName("DHCP").AsString(), "True");
    EXPECT_EQ(db.IPSets->FieldByName("CONNECTION").AsInteger(), 7);
    db.IPSets->Edit();
    db.IPSets->FieldByName("DHCP").SetAsBoolean(false);
    db.IPSets->Post();
    EXPECT_EQ(db.IPSets->FieldByName("DHCP").AsString(), "False");
    EXPECT_THROW(db.IPSets->FieldByName("NOPE"), EDatabaseError);
}

TEST_F(Store, WritesOutsideEditOrInsertAreRefused) {
    Db db(Path);
    AddName(*db.Names, "LAN");
    EXPECT_THROW(db.Names->FieldByName("CONNECTIONNAME").SetAsString("x"), EDatabaseError);
    EXPECT_THROW(db.Names->Post(), EDatabaseError);
    db.Names->Edit();
    EXPECT_THROW(db.Names->FieldByName("ID").SetAsInteger(5), EDatabaseError);
    db.Names->Cancel();
}

TEST_F(Store, PendingRowIsSettledBeforeLocateFirstAndRefresh) {
    Db db(Path);
    AddName(*db.Names, "LAN");

    // Written and then settled by First: posted.
    db.IPSets->Insert();
    db.IPSets->FieldByName("IPSET_NAME").SetAsString("Home");
    db.IPSets->First();
    EXPECT_EQ(db.IPSets->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(db.IPSets->RecordCount(), 1);

    // Nothing written: dropped by Refresh.
    db.IPSets->Insert();
    db.IPSets->Refresh();
    EXPECT_EQ(db.IPSets->RecordCount(), 1);

    // Edit with a change, settled by Locate.
    db.IPSets->Edit();
    db.IPSets->FieldByName("GATEWAY").SetAsString("10.0.0.1");
    EXPECT_FALSE(db.IPSets->Locate("ID", 99LL));
    EXPECT_EQ(QueryColumn(Path, "SELECT GATEWAY FROM IPSets"),
              (std::vector<std::string>{"10.0.0.1"}));

    // Cancel drops the change and restores the stored values.
    db.IPSets->Edit();
    db.IPSets->FieldByName("GATEWAY").SetAsString("10.9.9.9");
    db.IPSets->Cancel();
    EXPECT_EQ(db.IPSets->FieldByName("GATEWAY").AsString(), "10.0.0.1");
    EXPECT_EQ(QueryColumn(Path, "SELECT GATEWAY FROM IPSets"),
              (std::vector<std::string>{"10.0.0.1"}));
}

TEST_F(Store, LocateIgnoresCaseAndKeepsCurrentRowWhenNothingFound) {
    Db db(Path);
    for (const char* n : {"LAN", "Wireless", "lan"})
        AddName(*db.Names, n);
    EXPECT_TRUE(db.Names->Locate("CONNECTIONNAME", std::string("Wireless")));
    EXPECT_EQ(db.Names->FieldByName("ID").AsInteger(), 2);
    // As every other comparison of names: the first row of any case.
    EXPECT_TRUE(db.Names->Locate("CONNECTIONNAME", std::string("lan")));
    EXPECT_EQ(db.Names->FieldByName("ID").AsInteger(), 1);
    EXPECT_TRUE(db.Names->Locate("CONNECTIONNAME", std::string("wIRELESS")));
    EXPECT_EQ(db.Names->FieldByName("ID").AsInteger(), 2);
    db.Names->MoveTo(2);
    EXPECT_FALSE(db.Names->Locate("CONNECTIONNAME", std::string("Wire")));
    EXPECT_EQ(db.Names->FieldByName("ID").AsInteger(), 3);
    EXPECT_TRUE(db.Names->Locate("ID", 1LL));
    EXPECT_EQ(db.Names->FieldByName("CONNECTIONNAME").AsString(), "LAN");
    EXPECT_FALSE(db.Names->Locate("ID", 0LL));
}

TEST_F(Store, DeleteMakesFollowingRowCurrentAndKeysAreNeverReused) {
    Db db(Path);
    for (const char* n : {"a", "b", "c"})
        AddName(*db.Names, n);
    ASSERT_TRUE(db.Names->Locate("ID", 2LL));
    db.Names->Delete();
    EXPECT_EQ(db.Names->FieldByName("CONNECTIONNAME").AsString(), "c");
    db.Names->Delete(); // the last row: the new last becomes current
    EXPECT_EQ(db.Names->FieldByName("CONNECTIONNAME").AsString(), "a");
    AddName(*db.Names, "d");
    EXPECT_EQ(db.Names->FieldByName("ID").AsInteger(), 4);
    db.Names->First();
    db.Names->Delete();
    db.Names->Delete();
    EXPECT_EQ(db.Names->RecordCount(), 0);
    EXPECT_THROW(db.Names->Delete(), EDatabaseError);
    EXPECT_EQ(QueryColumn(Path, "SELECT count(*) FROM Connections"),
              (std::vector<std::string>{"0"}));
}

TEST_F(Store, RowsComeBackInKeyOrderAndIterationEnds) {
    ExecSql(Path, "INSERT INTO Connections (ID, CONNECTIONNAME) VALUES (5, 'five');"
                  "INSERT INTO Connections (ID, CONNECTIONNAME) VALUES (2, 'two');"
                  "INSERT INTO Connections (ID, CONNECTIONNAME) VALUES (9, 'nine')");
    Db db(Path);
    std::vector<std::string> names;
    for (db.Names->First(); !db.Names->Eof(); db.Names->Next())
        names.push_back(db.Names->FieldByName("CONNECTIONNAME").AsString());
    EXPECT_EQ(names, (std::vector<std::string>{"two", "five", "nine"}));
    ExecSql(Path, "INSERT INTO Connections (CONNECTIONNAME) VALUES ('ten')");
    EXPECT_EQ(db.Names->RecordCount(), 3);
    db.Names->Refresh();
    EXPECT_EQ(db.Names->RecordCount(), 4);
}

namespace {
struct EventLog : TDataLink {
    std::vector<TDataEvent> Events;
    void DataEvent(TDataEvent e) override { Events.push_back(e); }
    bool Saw(TDataEvent e) const {
        return std::find(Events.begin(), Events.end(), e) != Events.end();
    }
};
} // namespace

TEST_F(Store, LinksAreToldOfMovesStatesAndWrites) {
    Db db(Path);
    AddName(*db.Names, "a");
    AddName(*db.Names, "b");
    EventLog log;
    db.Names->AddLink(&log);
    db.Names->First();
    EXPECT_TRUE(log.Saw(TDataEvent::deScroll));
    db.Names->Edit();
    EXPECT_TRUE(log.Saw(TDataEvent::deStateChange));
    db.Names->FieldByName("CONNECTIONNAME").SetAsString("c");
    EXPECT_TRUE(log.Saw(TDataEvent::deFieldChange));
    log.Events.clear();
    db.Names->Post();
    EXPECT_TRUE(log.Saw(TDataEvent::deDataSetChange));
    db.Names->RemoveLink(&log);
    log.Events.clear();
    db.Names->Next();
    EXPECT_TRUE(log.Events.empty());
}

// ------------------------------------------------------------ open failures

TEST(StoreOpen, MissingFolderOrFileNamesThePath) {
    std::string folder = TestFolder() + "NoSuchFolder\\";
    EXPECT_EQ(OpenError(folder + "ipdb.ipdb"),
              "The database folder " + folder + " does not exist.");
    FreshDatabase();
    std::string missing = TestFolder() + "DataBase\\other.ipdb";
    EXPECT_EQ(OpenError(missing), "The database file " + missing + " does not exist.");
    // Opening never creates anything.
    EXPECT_FALSE(FileExists(missing));
}

namespace {
std::string WriteFile(const std::string& name, const std::string& bytes) {
    std::string path = TestFolder() + "DataBase\\" + name;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
    return path;
}
std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
bool Contains(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}
} // namespace

TEST(StoreOpen, MalformedFilesFailWithClearMessages) {
    std::string good = FreshDatabase();
    std::string empty = WriteFile("empty.ipdb", "");
    std::string msg = OpenError(empty);
    EXPECT_TRUE(Contains(msg, "The table IPSets does not exist") && Contains(msg, empty)) << msg;

    std::mt19937 rng(42);
    std::string noise(4096, '\0');
    for (char& c : noise)
        c = static_cast<char>(rng());
    std::string random = WriteFile("random.ipdb", noise);
    msg = OpenError(random);
    EXPECT_TRUE(Contains(msg, "is not a valid IP set database") && Contains(msg, random)) << msg;

    // A database cut short in the middle of its pages.
    {
        Db db(good);
        db.IPSets->Insert();
        db.IPSets->FieldByName("IPSET_NAME").SetAsString(std::string(3000, 'x'));
        db.IPSets->Post();
        for (int i = 0; i < 200; ++i)
            AddName(*db.Names, "name " + std::to_string(i));
    }
    std::string whole = ReadWholeFile(good);
    ASSERT_GT(whole.size(), 8192u);
    std::string truncated = WriteFile("truncated.ipdb", whole.substr(0, whole.size() / 2 + 100));
    msg = OpenError(truncated);
    EXPECT_TRUE(Contains(msg, truncated) && msg != "(opened)") << msg;
}

TEST(StoreOpen, MissingTableOrFieldIsNamed) {
    std::string path = FreshDatabase();
    ExecSql(path, "DROP TABLE Connections");
    EXPECT_EQ(OpenError(path),
              "The table Connections does not exist in the database file " + path + ".");

    for (const char* field :
         {"IPSET_NAME", "IPADDRESS", "SUBNETMASK", "GATEWAY", "DNS", "DHCP", "CONNECTION"}) {
        path = FreshDatabase();
        ExecSql(path, std::string("ALTER TABLE IPSets DROP COLUMN ") + field);
        EXPECT_EQ(OpenError(path), std::string("The field ") + field +
                                       " is missing from the table IPSets in " + path + ".");
    }
    path = FreshDatabase();
    ExecSql(path, "ALTER TABLE Connections RENAME COLUMN CONNECTIONNAME TO NAME");
    EXPECT_TRUE(Contains(OpenError(path), "The field CONNECTIONNAME is missing"));
}

namespace {
// Opens the file the way the program does and reads every row; the verdict is
// "(opened)" or the engine's message. Anything else (a crash, another kind of
// failure) fails the test; a hang is caught by the test's time limit.
std::string OpenAndRead(const std::string& path) {
    try {
        Db db(path);
        for (TDbTable* t : {db.IPSets.get(), db.Names.get()})
            for (t->First(); !t->Eof(); t->Next())
                t->FieldByName("ID").AsString();
    } catch (const EDatabaseError& e) {
        return e.Message();
    }
    return "(opened)";
}

std::string FilledDatabase() {
    std::string path = FreshDatabase();
    std::string sql;
    for (int i = 0; i < 300; ++i)
        sql += "INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, DHCP, CONNECTION) VALUES "
               "('set " +
               std::to_string(i) + "', '10.0.0." + std::to_string(i % 250) +
               "', '255.0.0.0', 0, 1);"
               "INSERT INTO Connections (CONNECTIONNAME) VALUES ('connection " +
               std::to_string(i) + "');";
    ExecSql(path, sql);
    return path;
}
} // namespace

TEST(StoreOpen, DamagedFilesOpenOrFailWithTheirPathNamed) {
    const std::string whole = ReadWholeFile(FilledDatabase());
    ASSERT_GT(whole.size(), 16384u);
    int opened = 0, refused = 0;
    auto verdict = [&](const std::string& bytes, const std::string& label) {
        std::string path = WriteFile("damaged.ipdb", bytes);
        DeleteFileA((path + "-journal").c_str());
        std::string result = OpenAndRead(path);
        if (result == "(opened)") {
            ++opened;
        } else {
            ++refused;
            EXPECT_TRUE(Contains(result, path)) << label << ": " << result;
        }
    };
    for (size_t cut : {size_t{1}, size_t{99}, size_t{100}, size_t{512}, size_t{4096}, size_t{4097},
                       whole.size() / 3, whole.size() / 2, whole.size() - 4096, whole.size() - 1})
        verdict(whole.substr(0, cut), "cut at " + std::to_string(cut));
    std::mt19937 rng(7);
    for (size_t at : {size_t{16}, size_t{28}, size_t{56}, size_t{100}, size_t{4096}, size_t{4100},
                      size_t{8192 + 8}, whole.size() / 2, whole.size() - 200}) {
        std::string bytes = whole;
        for (size_t k = 0; k < 64 && at + k < bytes.size(); ++k)
            bytes[at + k] = static_cast<char>(rng());
        verdict(bytes, "overwritten at " + std::to_string(at));
    }
    for (int i = 0; i < 5; ++i) {
        std::string noise(whole.size(), '\0');
        for (char& c : noise)
            c = static_cast<char>(rng());
        // A valid header over random pages is the harder case.
        if (i % 2) noise.replace(0, 100, whole.substr(0, 100));
        verdict(noise, "random " + std::to_string(i));
    }
    EXPECT_GT(refused, 10);
    SUCCEED() << opened << " opened, " << refused << " refused";
}

TEST(StoreOpen, HostileSchemasAreRefusedOrDisarmed) {
    struct Case {
        const char* Sql;
        const char* Expected; // part of the message, or null: it opens
    } cases[] = {
        // An endless recursive view in place of a table must not hang start-up.
        {"DROP TABLE IPSets; CREATE VIEW IPSets AS WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL "
         "SELECT n + 1 FROM r) SELECT n AS ID, '' AS IPSET_NAME, '' AS IPADDRESS, '' AS "
         "SUBNETMASK, "
         "'' AS GATEWAY, '' AS DNS, 0 AS DHCP, 0 AS CONNECTION FROM r",
         "It is not an ordinary table"},
        {"DROP TABLE Connections; CREATE VIEW Connections AS SELECT 1 AS ID, 'x' AS CONNECTIONNAME",
         "It is not an ordinary table"},
        {"DROP TABLE IPSets; CREATE TABLE IPSets (ID INTEGER, IPSET_NAME TEXT, IPADDRESS TEXT, "
         "SUBNETMASK TEXT, GATEWAY TEXT, DNS TEXT, DHCP BOOLEAN, CONNECTION INTEGER)",
         "Its field ID is not an INTEGER PRIMARY KEY AUTOINCREMENT"},
        {"DROP TABLE Connections; CREATE TABLE Connections (ID INTEGER PRIMARY KEY, CONNECTIONNAME "
         "TEXT)",
         "Its field ID is not an INTEGER PRIMARY KEY AUTOINCREMENT"},
        {"DROP TABLE Connections; CREATE TABLE Connections (ID TEXT PRIMARY KEY, CONNECTIONNAME "
         "TEXT)",
         "Its field ID is not an INTEGER PRIMARY KEY AUTOINCREMENT"},
        {"DROP TABLE Connections; CREATE TABLE Connections (ID INT PRIMARY KEY, CONNECTIONNAME "
         "TEXT) "
         "WITHOUT ROWID",
         "Its field ID is not an INTEGER PRIMARY KEY AUTOINCREMENT"},
        // Conflict clauses make writes silent no-ops or deletions of other rows.
        {"DROP TABLE Connections; CREATE TABLE Connections (ID INTEGER PRIMARY KEY AUTOINCREMENT, "
         "CONNECTIONNAME TEXT UNIQUE ON CONFLICT IGNORE)",
         "ON CONFLICT"},
        {"DROP TABLE Connections; CREATE TABLE Connections (ID INTEGER PRIMARY KEY AUTOINCREMENT, "
         "CONNECTIONNAME TEXT, UNIQUE (CONNECTIONNAME) on\n conflict REPLACE)",
         "ON CONFLICT"},
        // SQLite keeps comments and reads every kind of its white space.
        {"DROP TABLE Connections; CREATE TABLE Connections (ID INTEGER PRIMARY KEY AUTOINCREMENT, "
         "CONNECTIONNAME TEXT NOT NULL ON/**/CONFLICT REPLACE DEFAULT 'x')",
         "ON CONFLICT"},
        {"DROP TABLE Connections; CREATE TABLE Connections (ID INTEGER PRIMARY KEY AUTOINCREMENT, "
         "CONNECTIONNAME TEXT, CHECK (1) , UNIQUE(CONNECTIONNAME) ON -- a comment\n"
         "\fCONFLICT IGNORE)",
         "ON CONFLICT"},
        {"DROP TABLE Connections; CREATE TABLE Connections (ID INTEGER PRIMARY KEY AUTOINCREMENT, "
         "CONNECTIONNAME TEXT /* no clause */ UNIQUE)",
         "UNIQUE constraints"},
        {"CREATE UNIQUE INDEX Names ON Connections (CONNECTIONNAME)", "UNIQUE index"},
        // Only outside the key: the key itself is never written.
        {"DROP TABLE Connections; CREATE TABLE Connections (\"id\" INTEGER PRIMARY KEY ON "
         "CONFLICT ABORT AUTOINCREMENT, CONNECTIONNAME TEXT DEFAULT 'unique on conflict', "
         "[on conflict] TEXT)",
         nullptr},
        // Triggers never run: not an endless one, not one that empties a table.
        {"CREATE TRIGGER wipe AFTER INSERT ON Connections BEGIN DELETE FROM IPSets; END;"
         "CREATE TRIGGER spin BEFORE UPDATE ON IPSets BEGIN SELECT count(*) FROM (WITH RECURSIVE "
         "r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r) SELECT n FROM r); END;",
         nullptr},
        // A view beside the tables is left alone.
        {"CREATE VIEW Endless AS WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r) "
         "SELECT n FROM r",
         nullptr},
    };
    for (const Case& c : cases) {
        std::string path = FreshDatabase();
        ExecSql(path, "INSERT INTO IPSets (IPSET_NAME) VALUES ('kept');");
        ExecSql(path, c.Sql);
        std::string result = OpenAndRead(path);
        if (!c.Expected) {
            EXPECT_EQ(result, "(opened)") << c.Sql;
            Db db(path);
            AddName(*db.Names, "LAN");
            db.IPSets->First();
            db.IPSets->Edit();
            db.IPSets->FieldByName("IPSET_NAME").SetAsString("changed");
            db.IPSets->Post();
            EXPECT_EQ(QueryColumn(path, "SELECT IPSET_NAME FROM IPSets"),
                      std::vector<std::string>{"changed"});
        } else {
            EXPECT_TRUE(Contains(result, c.Expected) && Contains(result, path)) << c.Sql << "\n"
                                                                                << result;
        }
    }
}

TEST_F(Store, AWriteThatChangesNoRowIsAnErrorAndALockIsNamed) {
    Db db(Path);
    AddName(*db.Names, "LAN");
    AddName(*db.Names, "WLAN");
    // Deleted by another program while this one still shows it.
    ExecSql(Path, "DELETE FROM Connections WHERE ID = 1");
    db.Names->First();
    db.Names->Edit();
    db.Names->FieldByName("CONNECTIONNAME").SetAsString("changed");
    EXPECT_THROW(db.Names->Post(), EDatabaseRowGone);
    db.Names->Cancel();
    db.Names->First();
    EXPECT_THROW(db.Names->Delete(), EDatabaseRowGone);
    EXPECT_EQ(QueryColumn(Path, "SELECT CONNECTIONNAME FROM Connections"),
              std::vector<std::string>{"WLAN"});

    // Another program holding the file: told as such, not as a damaged file.
    db.Names->Refresh();
    db.Names->First();
    db.Names->Edit();
    db.Names->FieldByName("CONNECTIONNAME").SetAsString("blocked");
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(Path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::string told, atOpen, reading;
    for (auto [action, text] :
         {std::pair<std::function<void()>, std::string*>{[&] { db.Names->Post(); }, &told},
          {[&] { db.Names->Cancel(), db.Names->Refresh(); }, &reading},
          {[&] { Db opened(Path); }, &atOpen}}) {
        try {
            action();
        } catch (const EDatabaseError& e) {
            *text = e.Message();
        }
    }
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(Contains(told, "The database is in use by another program")) << told;
    EXPECT_TRUE(Contains(atOpen, "The database is in use by another program")) << atOpen;
    EXPECT_TRUE(Contains(reading, "The database is in use by another program")) << reading;
}

TEST(StoreOpen, ReadOnlyFileRefusesWritesAndStaysUnchanged) {
    std::string path = FreshDatabase();
    ExecSql(path, "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN')");
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    std::string before = ReadWholeFile(path);
    {
        Db db(path);
        EXPECT_EQ(db.Names->RecordCount(), 1);
        db.Names->Insert();
        db.Names->FieldByName("CONNECTIONNAME").SetAsString("WLAN");
        try {
            db.Names->Post();
            ADD_FAILURE() << "post on a read-only file succeeded";
        } catch (const EDatabaseError& e) {
            EXPECT_TRUE(Contains(e.Message(), "Cannot store the new row") &&
                        Contains(e.Message(), "readonly") && Contains(e.Message(), path))
                << e.Message();
        }
        db.Names->Cancel();
        db.Names->First();
        EXPECT_THROW(db.Names->Delete(), EDatabaseError);
        EXPECT_EQ(db.Names->RecordCount(), 1);
    }
    EXPECT_TRUE(ReadWholeFile(path) == before) << "the read-only file was changed";
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(StoreOpen, RowsOfThisRunOnReadOnlyFileAreNeverWrittenAndLastUntilDeleted) {
    std::string path = FreshDatabase();
    ExecSql(path, "INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN')");
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string before = ReadWholeFile(path);
    {
        Db db(path);
        EXPECT_TRUE(db.Connection.ReadOnly());
        for (const char* name : {"USB LAN", "VPN"}) {
            db.Names->Insert();
            db.Names->FieldByName("CONNECTIONNAME").SetAsString(name);
            db.Names->PostUnstored();
        }
        EXPECT_EQ(db.Names->FieldByName("ID").AsInteger(), -2);
        db.Names->Refresh();
        ASSERT_EQ(db.Names->RecordCount(), 3);
        ASSERT_TRUE(db.Names->Locate("CONNECTIONNAME", std::string("usb lan")));
        EXPECT_EQ(db.Names->FieldByName("ID").AsInteger(), -1);
        db.Names->Delete();
        EXPECT_EQ(db.Names->RecordCount(), 2);
        db.Names->Refresh();
        EXPECT_FALSE(db.Names->Locate("CONNECTIONNAME", std::string("USB LAN")));
        EXPECT_TRUE(db.Names->Locate("ID", -2LL));
    }
    EXPECT_TRUE(ReadWholeFile(path) == before) << "the read-only file was changed";
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_FALSE(Db(path).Connection.ReadOnly());
}

TEST(StoreOpen, CreationRefusesAnExistingFile) {
    std::string path = FreshDatabase();
    ExecSql(path, "INSERT INTO Connections (CONNECTIONNAME) VALUES ('keep')");
    EXPECT_THROW(CreateIPDatabase(path), EDatabaseError);
    EXPECT_EQ(QueryColumn(path, "SELECT CONNECTIONNAME FROM Connections"),
              (std::vector<std::string>{"keep"}));
}

// ------------------------------------------------------------ durability

namespace {
// Child: inserts rows as fast as it can, reporting each key once Post returned.
int WriterChild(int argc, char** argv) {
    if (argc < 1) return 2;
    Db db(argv[0]);
    for (int i = 0;; ++i) {
        db.IPSets->Insert();
        db.IPSets->FieldByName("IPSET_NAME").SetAsString("burst " + std::to_string(i));
        db.IPSets->FieldByName("IPADDRESS").SetAsString(std::string(200, 'a' + i % 26));
        db.IPSets->Post();
        std::printf("%lld\n", db.IPSets->FieldByName("ID").AsInteger());
        std::fflush(stdout);
    }
}
ChildRegistration writer("writer", WriterChild);
} // namespace

TEST(StoreDurability, KilledWriterLeavesEveryCompletedRow) {
    std::string path = FreshDatabase();
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &sa, 0));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    std::string cmd = "\"" + ApplicationExeName() + "\" --child writer \"" + path + "\"";
    ASSERT_TRUE(
        CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi));
    CloseHandle(writeEnd);

    std::set<long long> reported;
    std::string pending;
    char buf[256];
    DWORD got = 0;
    while (reported.size() < 40 && ReadFile(readEnd, buf, sizeof(buf), &got, nullptr) && got) {
        pending.append(buf, got);
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            reported.insert(std::stoll(pending.substr(0, nl)));
            pending.erase(0, nl + 1);
        }
    }
    TerminateProcess(pi.hProcess, 9); // in the middle of the burst
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(readEnd);
    ASSERT_GE(reported.size(), 40u);

    // The program's next start opens the file without complaint. Killed in
    // the middle of a commit, the writer leaves its journal behind; this open
    // rolls it back, and until then only a writer may read the file.
    {
        Db db(path);
        EXPECT_GE(db.IPSets->RecordCount(), static_cast<int>(reported.size()));
    }
    EXPECT_EQ(QueryColumn(path, "PRAGMA integrity_check"), (std::vector<std::string>{"ok"}));
    std::set<long long> stored;
    for (const std::string& id : QueryColumn(path, "SELECT ID FROM IPSets"))
        stored.insert(std::stoll(id));
    for (long long id : reported)
        EXPECT_TRUE(stored.count(id)) << "lost row " << id;
}

TEST(StoreOpen, OlderFileGainsTheNewColumnsUnlessReadOnly) {
    // A file as the program wrote it before DNS2 existed, with one set.
    const char* older = "DROP TABLE IPSets;"
                        "CREATE TABLE IPSets (ID INTEGER PRIMARY KEY AUTOINCREMENT, IPSET_NAME "
                        "TEXT, IPADDRESS TEXT, SUBNETMASK TEXT, GATEWAY TEXT, DNS TEXT, DHCP "
                        "BOOLEAN, CONNECTION INTEGER);"
                        "INSERT INTO IPSets (IPSET_NAME, DNS) VALUES ('Old', '10.0.0.53')";
    std::string path = FreshDatabase();
    ExecSql(path, older);
    {
        Db db(path);
        ASSERT_TRUE(db.IPSets->HasField(IPDb::Dns2));
        ASSERT_TRUE(db.IPSets->HasField(IPDb::ExtraAddresses));
        ASSERT_TRUE(db.IPSets->HasField(IPDb::Confirm));
        EXPECT_FALSE(db.IPSets->FieldByName(IPDb::Confirm).AsBoolean());
        EXPECT_EQ(db.IPSets->FieldByName(IPDb::Dns).AsString(), "10.0.0.53");
        db.IPSets->Edit();
        db.IPSets->FieldByName(IPDb::Dns2).SetAsString("10.0.0.54");
        db.IPSets->FieldByName(IPDb::ExtraAddresses).SetAsString("10.1.0.5/255.255.0.0");
        db.IPSets->Post();
    }
    EXPECT_EQ(QueryColumn(path, "SELECT IPSET_NAME || DNS || '/' || DNS2 || '/' || "
                                "EXTRAADDRESSES FROM IPSets"),
              (std::vector<std::string>{"Old10.0.0.53/10.0.0.54/10.1.0.5/255.255.0.0"}));

    path = FreshDatabase();
    ExecSql(path, older);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string before = ReadWholeFile(path);
    {
        Db db(path);
        EXPECT_FALSE(db.IPSets->HasField(IPDb::Dns2));
        EXPECT_FALSE(db.IPSets->HasField(IPDb::ExtraAddresses));
        EXPECT_FALSE(db.IPSets->HasField(IPDb::Confirm));
        EXPECT_EQ(db.IPSets->RecordCount(), 1);
    }
    EXPECT_TRUE(ReadWholeFile(path) == before) << "the read-only file was changed";
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A file of the version that had DNS2 but not CONFIRM gains the one it lacks.
    path = FreshDatabase();
    ExecSql(path, "DROP TABLE IPSets;"
                  "CREATE TABLE IPSets (ID INTEGER PRIMARY KEY AUTOINCREMENT, IPSET_NAME TEXT, "
                  "IPADDRESS TEXT, SUBNETMASK TEXT, GATEWAY TEXT, DNS TEXT, DHCP BOOLEAN, "
                  "CONNECTION INTEGER, DNS2 TEXT);"
                  "INSERT INTO IPSets (IPSET_NAME, DNS2) VALUES ('Mid', '10.0.0.54')");
    {
        Db db(path);
        ASSERT_TRUE(db.IPSets->HasField(IPDb::Confirm));
        db.IPSets->Edit();
        db.IPSets->FieldByName(IPDb::Confirm).SetAsBoolean(true);
        db.IPSets->Post();
    }
    EXPECT_EQ(QueryColumn(path, "SELECT IPSET_NAME || DNS2 || CONFIRM FROM IPSets"),
              (std::vector<std::string>{"Mid10.0.0.541"}));
}
