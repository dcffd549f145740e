// Stands in for netsh in the activation tests: appends its command line, the
// show mode it was started with and the time to netsh-log.txt beside itself.
#include <windows.h>

#include <cstdio>
#include <string>

int main() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string log(path, n);
    log = log.substr(0, log.find_last_of('\\') + 1) + "netsh-log.txt";
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    GetStartupInfoA(&si);
    if (FILE* f = std::fopen(log.c_str(), "a")) {
        std::fprintf(f, "%lu|%u|%lu|%s\n", GetTickCount(), si.wShowWindow, si.dwFlags,
                     GetCommandLineA());
        std::fclose(f);
    }
    return 3;
}
