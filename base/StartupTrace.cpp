#include "base/StartupTrace.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct Mark {
    const char* Phase;
    unsigned long long Time;
};

constexpr int MaxMarks = 32;
Mark marks[MaxMarks];
int markCount = 0;
// Read once: the variable is set before the process starts or not at all.
const char* const traceFile = std::getenv("IPTAVIX_STARTUP_TRACE");
bool written = false;

unsigned long long Now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

} // namespace

void StartupMark(const char* phase) {
    if (!traceFile || written || markCount == MaxMarks) return;
    marks[markCount++] = {phase, Now()};
}

void StartupMarkLast(const char* phase) {
    if (!traceFile || written) return;
    StartupMark(phase);
    written = true;
    if (FILE* f = std::fopen(traceFile, "w")) {
        for (int i = 0; i < markCount; ++i)
            std::fprintf(f, "%s %llu\n", marks[i].Phase, marks[i].Time);
        std::fclose(f);
    }
}
