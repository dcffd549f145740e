#pragma once
// The program's command line for scripts, scheduled tasks and fleet tools:
// what the arguments ask for, and running it without the main window. Its
// messages go to a sink (the console it was started from), never to a box.
#include "base/Handles.h"

#include <functional>
#include <string>
#include <vector>

enum class TCommandKind { Window, Activate, List, Export, Import, Keep, Usage };

struct TCommandLine {
    TCommandKind Kind = TCommandKind::Window;
    std::string Argument; // the set's name or the file
    std::string Error;    // why the arguments are refused; "" when they are not
    // /activate NAME /confirm SECONDS: the run waits that long for /keep and
    // goes back without it; 0 when not asked.
    unsigned ConfirmSeconds = 0;
    bool Tray = false; // Window: its icon in the notification area only, the window hidden
};

// The longest wait /confirm accepts: a day.
constexpr unsigned MaxConfirmSeconds = 86400;

// The outcome a script reads from the exit code.
enum TExitCode { ecDone = 0, ecFailed = 1, ecBadInput = 2 };

extern const char* const CommandLineUsage;

// `args` as split by the C runtime's rules, without the program's own path.
// Switches start with / or - and are read without case; none means the window.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);

using TMessageOut = std::function<void(const std::string& line)>;

// Runs a command that is not Window on the database beside the program and
// returns its exit code. An import first calls `takeDatabase`, which takes
// the database for the rest of the run; false when a main window or another
// import holds it, and the import is refused.
int RunCommandLine(const TCommandLine& command, const TMessageOut& out,
                   const std::function<bool()>& takeDatabase);

// Writes lines to the standard output the program was given, or else to the
// console of the process that started it; nowhere when there is neither.
class TConsoleOut {
public:
    TConsoleOut();
    ~TConsoleOut();
    TConsoleOut(const TConsoleOut&) = delete;
    TConsoleOut& operator=(const TConsoleOut&) = delete;
    void Write(const std::string& line);

private:
    HANDLE FHandle = nullptr; // where lines go: not owned, or FConsole's
    TFileHandle FConsole;     // CONOUT$ of the parent's console, when attached
};
