#pragma once
// This program's database: where it lives, its two tables and their fields,
// the shape an opened file must have, and the creation of a new file. The
// table engine (Database.h) knows nothing of these.
#include "store/Database.h"

#include <string>
#include <vector>

namespace IPDb {
inline constexpr char IPSets[] = "IPSets";
inline constexpr char Connections[] = "Connections";

inline constexpr char ID[] = "ID"; // the key of both tables
// IPSets
inline constexpr char SetName[] = "IPSET_NAME";
inline constexpr char Address[] = "IPADDRESS";
inline constexpr char Mask[] = "SUBNETMASK";
inline constexpr char Gateway[] = "GATEWAY";
inline constexpr char Dns[] = "DNS";
// A second DNS server; older files lack it and gain it when opened writable.
inline constexpr char Dns2[] = "DNS2";
// A static set's extra address/mask pairs ("A/M;A/M"); added as DNS2 is.
inline constexpr char ExtraAddresses[] = "EXTRAADDRESSES";
inline constexpr char Dhcp[] = "DHCP";
// Go back to the configuration before unless the user keeps the set; added
// to older files as DNS2 is.
inline constexpr char Confirm[] = "CONFIRM";
inline constexpr char Connection[] = "CONNECTION"; // key of a Connections row
// Connections
inline constexpr char ConnectionName[] = "CONNECTIONNAME";
} // namespace IPDb

// The tables as the creation tool writes them.
extern const char* const IPDatabaseSchema;

// DataBase\ipdb.ipdb in the program's folder (with its trailing backslash),
// and the folder that holds it.
std::string IPDatabaseFolder(const std::string& programFolder);
std::string IPDatabasePath(const std::string& programFolder);

// The fields a table of the program's database must have besides ID.
const std::vector<std::string>& RequiredFields(const std::string& table);

// Names `table` as the program's table `name` on `connection` and opens it,
// checking the fields it must have. An IPSets table without DNS2,
// EXTRAADDRESSES or CONFIRM gains the column when the file is writable; a
// read-only file opens without it.
void OpenIPTable(TDbTable& table, TDbConnection* connection, const char* name);

// Creates a new database file with the program's two tables. Refuses a path
// that already exists; raises EDatabaseError with the reason.
void CreateIPDatabase(const std::string& path);
