#pragma once
// A console program run hidden, with what it prints caught through a pipe
// and a time limit, while the caller's own wait keeps its thread alive.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct TChildRun {
    bool Started = false;
    bool TimedOut = false; // ended by the time limit; ExitCode is then meaningless
    DWORD ExitCode = 0;
    // The last lines the child printed on either stream, decoded from the
    // console's code page into the process's, empty lines left out.
    std::vector<std::string> LastLines;
};

// Waits on `process` for at most `milliseconds`; returns as soon as it ends
// (or earlier, to let the caller read the pipe). The default only waits.
using TChildWait = std::function<void(HANDLE process, DWORD milliseconds)>;

constexpr size_t ChildKeptLines = 10;

// The full path of netsh in the system folder, never a netsh found elsewhere.
std::string SystemNetshPath();

// Runs `application` (a full path, so no folder is searched) with the command
// line text as given, hidden and without a console window.
TChildRun RunChild(const std::string& application, const std::string& commandLine,
                   DWORD timeLimitMs, const TChildWait& wait = nullptr);

// Text in code page `from` in code page `to`.
std::string RecodedText(const std::string& text, UINT from, UINT to);
// The code page a console program started by this one prints in through a
// pipe: the system's OEM code page, whatever the process's own is.
UINT ConsoleCodePage();

// Collects printed text into its last `keep` non-empty lines.
class TLineTail {
public:
    explicit TLineTail(size_t keep) : FKeep(keep) {}
    void Add(const std::string& chunk);
    // The lines so far, the unfinished last one included.
    std::vector<std::string> Lines() const;

private:
    void Push(std::string line);
    size_t FKeep;
    std::vector<std::string> FLines;
    std::string FPartial;
};
