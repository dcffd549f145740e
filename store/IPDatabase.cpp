#include "store/IPDatabase.h"

#include "base/SysUtils.h"

#include <sqlite3.h>

#include <windows.h>

#include <cwchar>
#include <map>
#include <vector>

const char* const IPDatabaseSchema =
    "CREATE TABLE IPSets (ID INTEGER PRIMARY KEY AUTOINCREMENT, IPSET_NAME TEXT, "
    "IPADDRESS TEXT, SUBNETMASK TEXT, GATEWAY TEXT, DNS TEXT, DHCP BOOLEAN, "
    "CONNECTION INTEGER, DNS2 TEXT, EXTRAADDRESSES TEXT, CONFIRM BOOLEAN);\n"
    "CREATE TABLE Connections (ID INTEGER PRIMARY KEY AUTOINCREMENT, CONNECTIONNAME TEXT);\n";

std::string IPDatabaseFolder(const std::string& programFolder) {
    return programFolder + "DataBase";
}

std::string IPDatabasePath(const std::string& programFolder) {
    return IPDatabaseFolder(programFolder) + "\\ipdb.ipdb";
}

const std::vector<std::string>& RequiredFields(const std::string& table) {
    using namespace IPDb;
    static const std::map<std::string, std::vector<std::string>> fields = {
        {UpperCase(IPSets), {SetName, Address, Mask, Gateway, Dns, Dhcp, Connection}},
        {UpperCase(Connections), {ConnectionName}},
    };
    static const std::vector<std::string> none;
    auto it = fields.find(UpperCase(table));
    return it == fields.end() ? none : it->second;
}

namespace {

// A file earlier versions wrote holds its names in the system's ANSI code
// page; where this process's text is UTF-8, each such text is rewritten as
// UTF-8 once, so every later reader sees the names right. Text that is valid
// UTF-8 already is left as it is.
void RewriteAnsiText(sqlite3* db, const char* table) {
    if (GetACP() != CP_UTF8 || sqlite3_db_readonly(db, "main") != 0) return;
    const std::string select = std::string("SELECT * FROM ") + table;
    sqlite3_stmt* rows = nullptr;
    if (sqlite3_prepare_v2(db, select.c_str(), -1, &rows, nullptr) != SQLITE_OK) return;
    struct Change {
        long long Row;
        std::string Column, Text;
    };
    std::vector<Change> changes;
    const int columns = sqlite3_column_count(rows);
    while (sqlite3_step(rows) == SQLITE_ROW) {
        long long id = 0;
        for (int c = 0; c < columns; ++c) {
            if (SameText(sqlite3_column_name(rows, c), "ID")) id = sqlite3_column_int64(rows, c);
            if (sqlite3_column_type(rows, c) != SQLITE_TEXT) continue;
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(rows, c));
            const int size = sqlite3_column_bytes(rows, c);
            if (!IsUtf8Text(text, size))
                changes.push_back({id, sqlite3_column_name(rows, c), FileTextAsUtf8(text, size)});
        }
    }
    sqlite3_finalize(rows);
    if (changes.empty()) return;
    // All or nothing: a file half rewritten would mix two encodings.
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return;
    bool ok = true;
    for (const Change& change : changes) {
        const std::string sql =
            std::string("UPDATE ") + table + " SET \"" + change.Column + "\" = ? WHERE ID = ?";
        sqlite3_stmt* update = nullptr;
        ok = ok && sqlite3_prepare_v2(db, sql.c_str(), -1, &update, nullptr) == SQLITE_OK &&
             sqlite3_bind_text(update, 1, change.Text.c_str(), static_cast<int>(change.Text.size()),
                               SQLITE_TRANSIENT) == SQLITE_OK &&
             sqlite3_bind_int64(update, 2, change.Row) == SQLITE_OK &&
             sqlite3_step(update) == SQLITE_DONE;
        sqlite3_finalize(update);
    }
    sqlite3_exec(db, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
}

} // namespace

void OpenIPTable(TDbTable& table, TDbConnection* connection, const char* name) {
    RewriteAnsiText(connection->Handle(), name);
    table.SetConnection(connection);
    table.TableName = name;
    table.RequiredFields = RequiredFields(name);
    table.Open();
    if (!SameText(name, IPDb::IPSets)) return;
    sqlite3* db = connection->Handle();
    // A file the program wrote before these columns existed; where a column
    // cannot be added (another program holds the file) it works without.
    const char* const added[][2] = {
        {IPDb::Dns2, "TEXT"}, {IPDb::ExtraAddresses, "TEXT"}, {IPDb::Confirm, "BOOLEAN"}};
    for (const auto& [column, type] : added) {
        if (table.HasField(column) || sqlite3_db_readonly(db, "main") != 0) continue;
        table.Close();
        const std::string sql =
            std::string("ALTER TABLE ") + IPDb::IPSets + " ADD COLUMN " + column + " " + type;
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        table.Open();
    }
}

void CreateIPDatabase(const std::string& path) {
    CreateDatabaseFile(path, IPDatabaseSchema);
}
