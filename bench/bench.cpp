// Benchmark: start-up to first paint with 0, 1,000 and 10,000 stored sets,
// against a bare Win32 program; the tree rebuild and the adapter list refresh;
// the program's peak working set with 10,000 sets. Every figure is the median
// of several runs on this machine, printed, never asserted.
#include "app/f_main.h"
#include "ipsets/o_qvIPInfo.h"
#include "store/IPDatabase.h"
#include "toolkit/Application.h"
#include "base/SysUtils.h"

#include <psapi.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int Runs = 7;

// The program's start-up marks (base/StartupTrace.h) in the order it reaches
// them, each shown as the phase that ends there.
struct Phase {
    const char* Mark;
    const char* Label;
};
constexpr Phase Phases[] = {
    {"winmain", "process start (loader, DLLs)"},
    {"controls", "common controls, application"},
    {"window", "main window, fonts, menus"},
    {"database", "database open and its checks"},
    {"registry", "registry scan, names merged"},
    {"adapters", "adapter snapshot and list"},
    {"tree", "tree build"},
    {"painted", "first paint"},
};

std::string Here() {
    return IncludeTrailingBackslash(ExtractFilePath(ApplicationExeName()));
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void FillDatabase(const std::string& path, int sets) {
    std::string folder = ExtractFilePath(path);
    CreateDirectoryA(folder.c_str(), nullptr);
    DeleteFileA(path.c_str());
    CreateIPDatabase(path);
    sqlite3* db = nullptr;
    sqlite3_open(AnsiToUtf8(path).c_str(), &db);
    sqlite3_exec(db,
                 "BEGIN; INSERT INTO Connections (CONNECTIONNAME) VALUES ('LAN'), ('Wireless');",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO IPSets (IPSET_NAME, IPADDRESS, SUBNETMASK, GATEWAY, DNS, DHCP, "
                       "CONNECTION) VALUES (?, '192.168.1.10', '255.255.255.0', '192.168.1.1', "
                       "'192.168.1.1', ?, ?)",
                       -1, &st, nullptr);
    for (int i = 0; i < sets; ++i) {
        std::string name = "Set " + std::to_string(i);
        sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(st, 2, i % 2);
        sqlite3_bind_int(st, 3, 1 + i % 3);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

struct StartResult {
    double Millis;
    double PeakMB;
    std::map<std::string, double> PhaseMillis; // by mark, when the program left them
};

// Each mark's time after the one before it (the first after the creation).
std::map<std::string, double> ReadPhases(const std::string& file, unsigned long long created) {
    std::map<std::string, double> phases;
    FILE* f = std::fopen(file.c_str(), "r");
    if (!f) return phases;
    char mark[64];
    unsigned long long time = 0, before = created;
    while (std::fscanf(f, "%63s %llu", mark, &time) == 2) {
        phases[mark] = (time - before) / 10000.0;
        before = time;
    }
    std::fclose(f);
    return phases;
}

// Starts `exe`, waits for its first paint, reads its peak working set, closes it.
StartResult TimeStart(const std::string& exe, const char* windowTitle) {
    std::string paintFile = Here() + "first-paint.txt", traceFile = Here() + "startup-trace.txt";
    DeleteFileA(paintFile.c_str());
    DeleteFileA(traceFile.c_str());
    SetEnvironmentVariableA("IPTAVIX_FIRST_PAINT_FILE", paintFile.c_str());
    SetEnvironmentVariableA("IPTAVIX_STARTUP_TRACE", traceFile.c_str());
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::string cmd = "\"" + exe + "\"";
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        ExtractFilePath(exe).c_str(), &si, &pi)) {
        std::fprintf(stderr, "cannot start %s\n", exe.c_str());
        std::exit(1);
    }
    unsigned long long painted = 0;
    for (int i = 0; i < 6000 && !painted; ++i) {
        if (FILE* f = std::fopen(paintFile.c_str(), "r")) {
            if (std::fscanf(f, "%llu", &painted) != 1) painted = 0;
            std::fclose(f);
        }
        if (!painted) Sleep(5);
    }
    FILETIME created, exited, kernel, user;
    GetProcessTimes(pi.hProcess, &created, &exited, &kernel, &user);
    unsigned long long start =
        (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof(pmc);
    GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof(pmc));
    HWND wnd = nullptr;
    for (int i = 0; i < 200 && !wnd; ++i) {
        wnd = FindWindowA(nullptr, windowTitle);
        if (!wnd) Sleep(10);
    }
    if (wnd) PostMessageA(wnd, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return {(painted - start) / 10000.0, pmc.PeakWorkingSetSize / (1024.0 * 1024.0),
            ReadPhases(traceFile, start)};
}

double TimeIt(const std::function<void()>& f) {
    LARGE_INTEGER freq, a, b;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&a);
    f();
    QueryPerformanceCounter(&b);
    return (b.QuadPart - a.QuadPart) * 1000.0 / freq.QuadPart;
}

} // namespace

int main(int argc, char** argv) {
    const std::string here = Here();
    // Another build of the program can be timed instead: bench PROGRAM.exe.
    const std::string program = here + (argc > 1 ? argv[1] : "IPTavixVer2.exe");
    const std::string database = IPDatabasePath(here);

    std::vector<double> floor;
    std::map<std::string, std::vector<double>> floorPhases;
    for (int i = 0; i < Runs; ++i) {
        StartResult r = TimeStart(here + "floor.exe", "Floor Window");
        floor.push_back(r.Millis);
        for (const auto& [mark, millis] : r.PhaseMillis)
            floorPhases[mark].push_back(millis);
    }
    const double floorMs = Median(floor);
    std::printf("start-up to first paint, bare Win32 window (floor): %8.1f ms\n", floorMs);
    // The floor's own phases, for comparing them one by one.
    for (const Phase& phase : Phases)
        if (floorPhases.count(phase.Mark))
            std::printf("    %-34s %8.1f ms\n", phase.Label, Median(floorPhases[phase.Mark]));

    double peak10k = 0;
    for (int sets : {0, 1000, 10000}) {
        FillDatabase(database, sets);
        std::vector<double> times, peaks;
        std::map<std::string, std::vector<double>> phases;
        for (int i = 0; i < Runs; ++i) {
            StartResult r = TimeStart(program, "IPTavix Ver2");
            times.push_back(r.Millis);
            peaks.push_back(r.PeakMB);
            for (const auto& [mark, millis] : r.PhaseMillis)
                phases[mark].push_back(millis);
        }
        double ms = Median(times);
        std::printf("start-up to first paint, %5d sets: %8.1f ms  (%.2f x floor)\n", sets, ms,
                    ms / floorMs);
        for (const Phase& phase : Phases)
            if (phases.count(phase.Mark))
                std::printf("    %-34s %8.1f ms\n", phase.Label, Median(phases[phase.Mark]));
        if (sets == 10000) peak10k = Median(peaks);
    }
    std::printf("peak working set, 10000 sets:       %8.1f MB\n", peak10k);

    // In-process: the two views of the real main window over 10,000 sets.
    TApplication app;
    TFrmMain* form = new TFrmMain(&app);
    std::vector<double> tree, list;
    for (int i = 0; i < Runs; ++i) {
        tree.push_back(TimeIt([&] { form->IPSetManager()->RefreshIPSetTree(); }));
        list.push_back(TimeIt([&] { form->IPSetManager()->RefreshAdapterList(); }));
    }
    std::printf("RefreshIPSetTree, 10000 sets:       %8.1f ms (%d nodes)\n", Median(tree),
                form->IPSetTreeView->Count());
    std::printf("RefreshAdapterList:                 %8.1f ms (%d rows)\n", Median(list),
                form->IPListView->Count());
    delete form;
    return 0;
}
