#pragma once
// One program per database: the name of the mutex a main window holds while
// it has that database open.
#include <string>

// "IPTavixVer2.Database." and the database's full path, upper-cased, with
// every backslash turned into '/' (a mutex name may not hold backslashes).
std::string InstanceMutexName(const std::string& databasePath);
