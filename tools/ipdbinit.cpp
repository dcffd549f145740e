// ipdbinit: creates the program's empty database, DataBase\ipdb.ipdb beside
// this tool or at the path given as the only argument. Never overwrites.
#include "store/IPDatabase.h"
#include "base/SysUtils.h"

#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "Usage: ipdbinit [database file]\n");
        return 2;
    }
    std::string path;
    if (argc == 2) {
        path = argv[1];
    } else {
        const std::string here = IncludeTrailingBackslash(ExtractFilePath(ApplicationExeName()));
        const std::string folder = IPDatabaseFolder(here);
        if (!DirectoryExists(folder) && !CreateDirectoryA(folder.c_str(), nullptr)) {
            std::fprintf(stderr, "ipdbinit: cannot create the folder %s: %s.\n", folder.c_str(),
                         SysErrorMessage(GetLastError()).c_str());
            return 1;
        }
        path = IPDatabasePath(here);
    }
    try {
        CreateIPDatabase(path);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ipdbinit: %s\n", e.what());
        return 1;
    }
    std::printf("Created %s\n", path.c_str());
    return 0;
}
