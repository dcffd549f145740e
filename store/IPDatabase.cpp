#include "store/IPDatabase.h"

#include "base/SysUtils.h"

#include <sqlite3.h>

#include <map>

const char* const IPDatabaseSchema =
    "CREATE TABLE IPSets (ID INTEGER PRIMARY KEY AUTOINCREMENT, IPSET_NAME TEXT, "
    "IPADDRESS TEXT, SUBNETMASK TEXT, GATEWAY TEXT, DNS TEXT, DHCP BOOLEAN, "
    "CONNECTION INTEGER, DNS2 TEXT);\n"
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

void OpenIPTable(TDbTable& table, TDbConnection* connection, const char* name) {
    table.SetConnection(connection);
    table.TableName = name;
    table.RequiredFields = RequiredFields(name);
    table.Open();
    if (!SameText(name, IPDb::IPSets) || table.HasField(IPDb::Dns2)) return;
    sqlite3* db = connection->Handle();
    if (sqlite3_db_readonly(db, "main") != 0) return;
    // A file the program wrote before the second DNS server existed; if the
    // column cannot be added (another program holds the file) it works without.
    table.Close();
    const std::string sql =
        std::string("ALTER TABLE ") + IPDb::IPSets + " ADD COLUMN " + IPDb::Dns2 + " TEXT";
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    table.Open();
}

void CreateIPDatabase(const std::string& path) {
    CreateDatabaseFile(path, IPDatabaseSchema);
}
