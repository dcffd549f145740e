// Stands in for netsh in the activation tests: appends its command line, the
// show mode it was started with and the time to netsh-log.txt beside itself.
// Its exit code for the N-th run is the N-th number in netsh-exits.txt beside
// itself (0 when the file or the number is missing). netsh-delay.txt beside
// it, when present, holds milliseconds to wait before ending.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

int main() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n);
    folder = folder.substr(0, folder.find_last_of('\\') + 1);
    const std::string log = folder + "netsh-log.txt";
    int run = 0;
    {
        std::ifstream previous(log);
        std::string line;
        while (std::getline(previous, line))
            ++run;
    }
    int exitCode = 0;
    {
        std::ifstream exits(folder + "netsh-exits.txt");
        for (int i = 0; i <= run && (exits >> exitCode); ++i) {
        }
        if (!exits) exitCode = 0;
    }
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    GetStartupInfoA(&si);
    if (FILE* f = std::fopen(log.c_str(), "a")) {
        std::fprintf(f, "%lu|%u|%lu|%s\n", GetTickCount(), si.wShowWindow, si.dwFlags,
                     GetCommandLineA());
        std::fclose(f);
    }
    int delay = 0;
    if (std::ifstream(folder + "netsh-delay.txt") >> delay) Sleep(static_cast<DWORD>(delay));
    return exitCode;
}
