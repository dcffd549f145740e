#include "app/SingleInstance.h"

#include "base/SysUtils.h"

std::string InstanceMutexName(const std::string& databasePath) {
    std::string path = UpperCase(databasePath);
    for (char& c : path)
        if (c == '\\') c = '/';
    return "IPTavixVer2.Database." + path;
}
