// Stands in for netsh in the activation tests, installed as the system
// folder's netsh.exe. Its files live in the folder IPTAVIX_STANDIN_DIR names
// (else beside itself). It appends the time, the show mode and flags it was
// started with, its command line and its own path to netsh-log.txt. Its exit
// code for the N-th run is the N-th number in netsh-exits.txt (0 when the file
// or the number is missing); netsh-print.txt, when present, is printed first;
// netsh-delay.txt holds milliseconds to wait before ending.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

int main() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string self(path, n);
    std::string folder = self.substr(0, self.find_last_of('\\') + 1);
    char dir[MAX_PATH];
    DWORD d = GetEnvironmentVariableA("IPTAVIX_STANDIN_DIR", dir, MAX_PATH);
    if (d > 0 && d < MAX_PATH) {
        folder.assign(dir, d);
        if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    }
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
        std::fprintf(f, "%lu|%u|%lu|%s|%s\n", GetTickCount(), si.wShowWindow, si.dwFlags,
                     GetCommandLineA(), self.c_str());
        std::fclose(f);
    }
    std::ifstream print(folder + "netsh-print.txt", std::ios::binary);
    if (print) {
        std::ostringstream text;
        text << print.rdbuf();
        std::fwrite(text.str().data(), 1, text.str().size(), stdout);
        std::fflush(stdout);
    }
    int delay = 0;
    if (std::ifstream(folder + "netsh-delay.txt") >> delay) Sleep(static_cast<DWORD>(delay));
    return exitCode;
}
