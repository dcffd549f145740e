#include "app/CommandLine.h"

#include "activation/GatewayProbe.h"
#include "activation/KeepOrGoBack.h"
#include "app/SingleInstance.h"
#include "base/NameText.h"
#include "base/SysUtils.h"
#include "ipsets/IPSetCsv.h"
#include "ipsets/IPSetStore.h"
#include "ipsets/o_qvIPInfo.h"
#include "store/IPDatabase.h"
#include "toolkit/Application.h"

#include <windows.h>

#include <cstdlib>
#include <memory>
#include <optional>

const char* const CommandLineUsage =
    "Usage: IPTavixVer2.exe [/tray | /activate NAME [/confirm SECONDS] | /keep | /list |\r\n"
    "                        /export FILE | /import FILE | /?]\r\n"
    "  /tray           starts with the icon in the notification area only, the window hidden\r\n"
    "  /activate NAME  applies the IP set of that name (case does not matter)\r\n"
    "     /confirm SECONDS  then waits that long for /keep; without it the previous settings\r\n"
    "                       are applied back and the exit code is 1\r\n"
    "  /keep           keeps the IP set a run of /activate ... /confirm waits for\r\n"
    "  /list           prints the names of the IP sets, one a line\r\n"
    "  /export FILE    writes every IP set to the CSV file FILE\r\n"
    "  /import FILE    adds the IP sets of the CSV file FILE, replacing those of the same name\r\n"
    "  /?              prints this text\r\n"
    "Without arguments the main window opens.\r\n"
    "Exit codes: 0 done, 1 the apply, the program or the system failed, or the previous "
    "settings were applied back (/confirm), or no run waited to be kept (/keep), 2 bad "
    "arguments, an unknown set, a bad input file or a database in use.";

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    TCommandLine command;
    if (args.empty()) return command;
    const std::string& first = args[0];
    const std::string name =
        first.size() > 1 && (first[0] == '/' || first[0] == '-') ? UpperCase(first.substr(1)) : "";
    const struct {
        const char* Switch;
        TCommandKind Kind;
        bool TakesArgument;
    } switches[] = {
        {"ACTIVATE", TCommandKind::Activate, true}, {"LIST", TCommandKind::List, false},
        {"EXPORT", TCommandKind::Export, true},     {"IMPORT", TCommandKind::Import, true},
        {"KEEP", TCommandKind::Keep, false},        {"?", TCommandKind::Usage, false},
        {"H", TCommandKind::Usage, false},          {"HELP", TCommandKind::Usage, false},
        {"TRAY", TCommandKind::Window, false}};
    for (const auto& s : switches) {
        if (name != s.Switch) continue;
        command.Kind = s.Kind;
        if (s.Kind == TCommandKind::Activate && args.size() == 4) {
            // /activate NAME /confirm SECONDS
            const std::string& option = args[2];
            const std::string& seconds = args[3];
            const bool isConfirm = option.size() > 1 && (option[0] == '/' || option[0] == '-') &&
                                   UpperCase(option.substr(1)) == "CONFIRM";
            char* end = nullptr;
            const unsigned long value =
                seconds.empty() || seconds.size() > 6 || seconds[0] < '0' || seconds[0] > '9'
                    ? 0
                    : std::strtoul(seconds.c_str(), &end, 10);
            if (!isConfirm)
                command.Error = Format("Unknown argument: %s", option.c_str());
            else if (!end || *end || value == 0 || value > MaxConfirmSeconds)
                command.Error = Format("%s takes a number of seconds from 1 to %u.", option.c_str(),
                                       MaxConfirmSeconds);
            else if (Trim(args[1]).empty())
                command.Error = Format("%s takes exactly one argument.", first.c_str());
            if (command.Error.empty()) {
                command.Argument = args[1];
                command.ConfirmSeconds = static_cast<unsigned>(value);
            }
            return command;
        }
        const size_t wanted = s.TakesArgument ? 2 : 1;
        if (args.size() != wanted || (s.TakesArgument && Trim(args[1]).empty()))
            command.Error = s.TakesArgument
                                ? Format("%s takes exactly one argument.", first.c_str())
                                : Format("%s takes no argument.", first.c_str());
        else if (s.TakesArgument)
            command.Argument = args[1];
        command.Tray = s.Kind == TCommandKind::Window;
        return command;
    }
    command.Kind = TCommandKind::Usage;
    command.Error = Format("Unknown argument: %s", first.c_str());
    return command;
}

namespace {

// A name from a file made elsewhere may hold a line break: listed as it is,
// it would read as two sets. Each control character is shown as '?'.
std::string OneLine(std::string name) {
    for (char& c : name)
        if (HasControlCharacter(std::string(1, c))) c = '?';
    return name;
}

// True when `keep` is signalled within `milliseconds`. Messages are served
// meanwhile: the run may wait a long time, and a program broadcasting to
// every window must not hang on this one.
bool WaitForKeep(HANDLE keep, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds) return WaitForSingleObject(keep, 0) == WAIT_OBJECT_0;
        const DWORD woke =
            MsgWaitForMultipleObjects(1, &keep, FALSE, milliseconds - elapsed, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) return true;
        if (woke != WAIT_OBJECT_0 + 1) return WaitForSingleObject(keep, 0) == WAIT_OBJECT_0;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
}

// What the gateway's check found, for the run's output.
void TellGateway(const TIPSetValues& set, const TApplyResult& result, const TMessageOut& out) {
    if (!result.GatewayProbed) return;
    out(result.Gateway.Answered ? GatewayAnswersText(set, result.Gateway.RoundTripMs) + "."
                                : GatewaySilentText(set));
}

int Activate(TqvIPSetManager& manager, const std::string& name, unsigned confirmSeconds,
             const TMessageOut& out) {
    const std::vector<long long> keys = SetsNamed(*manager.IPSetsTable(), name);
    if (keys.empty()) {
        out(Format("No IP set is named \"%s\"; nothing was changed.", name.c_str()));
        return ecBadInput;
    }
    if (keys.size() > 1) {
        out(Format("%u IP sets are named \"%s\"; rename all but one. Nothing was changed.",
                   static_cast<unsigned>(keys.size()), name.c_str()));
        return ecBadInput;
    }
    TIPSetValues set;
    manager.ReadIPSet(keys[0], set);
    // What goes back, read before anything changes; and the event /keep
    // signals, made before the apply so that an early /keep counts.
    TIPSetValues before;
    std::optional<TKeepSignal> keep;
    if (confirmSeconds) {
        if (!manager.ReadConnectionConfiguration(set.Connection, before)) {
            out(NothingToGoBackToText(set));
            return ecFailed;
        }
        keep.emplace();
        if (!keep->Valid()) {
            out(Format("The IP set \"%s\" could not wait to be kept (%s). Nothing was changed.",
                       set.Name.c_str(), SysErrorMessage(GetLastError()).c_str()));
            return ecFailed;
        }
    }
    const TApplyResult result = manager.ApplyIPSet(set);
    if (result.Ok) {
        out(Format("The IP set \"%s\" was applied to the connection \"%s\".", set.Name.c_str(),
                   set.Connection.c_str()));
        if (!result.Message.empty()) out(result.Message); // what could not be checked
        TellGateway(set, result, out);
        if (!confirmSeconds) return ecDone;
        out(Format("Waiting %u seconds for \"IPTavixVer2.exe /keep\"; without it the previous "
                   "settings are applied back.",
                   confirmSeconds));
        if (WaitForKeep(keep->Handle(), confirmSeconds * 1000)) {
            out(Format("The IP set \"%s\" is kept.", set.Name.c_str()));
            return ecDone;
        }
    } else {
        out(result.Message);
        if (!confirmSeconds) return ecFailed;
    }
    // Not kept, or not applied as asked: whatever changed is taken back
    // through the same apply.
    const TApplyResult back = manager.ApplyIPSet(before, nullptr, false);
    const TKeepAnswer answer = result.Ok ? TKeepAnswer::NoAnswer : TKeepAnswer::GoBack;
    out(WentBackText(set, answer, confirmSeconds, back.Ok ? "" : back.Message));
    return ecFailed;
}

int Import(TqvIPSetManager& manager, const std::string& path, const TMessageOut& out) {
    if (!FileExists(path)) {
        out(Format("The file %s does not exist; nothing was changed.", path.c_str()));
        return ecBadInput;
    }
    std::string bytes;
    try {
        bytes = LoadIPSetCsvFile(path);
    } catch (const Exception& e) {
        out(Format("The file %s was not imported; nothing was changed.", path.c_str()));
        out(e.Message());
        return ecBadInput;
    }
    std::vector<TIPSetValues> sets;
    std::string error;
    if (!ParseIPSetCsv(bytes, sets, error)) {
        out(Format("The file %s was not imported; nothing was changed.", path.c_str()));
        out(error);
        return ecBadInput;
    }
    const int replaced = ReplacedSetCount(*manager.IPSetsTable(), sets);
    manager.ImportIPSets(sets);
    out(Format("%u IP sets imported from %s (%d replaced).", static_cast<unsigned>(sets.size()),
               path.c_str(), replaced));
    return ecDone;
}

} // namespace

int RunCommandLine(const TCommandLine& command, const TMessageOut& out,
                   const std::function<bool()>& takeDatabase) {
    if (!command.Error.empty()) {
        out(command.Error);
        out(CommandLineUsage);
        return ecBadInput;
    }
    if (command.Kind == TCommandKind::Usage) {
        out(CommandLineUsage);
        return ecDone;
    }
    if (command.Kind == TCommandKind::Keep) {
        if (KeepWaitingRuns()) {
            out("The IP set a run waited for is kept.");
            return ecDone;
        }
        out("No run of /activate ... /confirm waits to be kept.");
        return ecFailed;
    }
    if (command.Kind == TCommandKind::Import && takeDatabase && !takeDatabase()) {
        out("The database is in use: IPTavix Ver2 is open on it or another import runs. Close "
            "the window or let the import finish, then import again. Nothing was changed.");
        return ecBadInput;
    }
    try {
        TqvIPSetManager manager(nullptr);
        switch (command.Kind) {
        case TCommandKind::Activate:
            return Activate(manager, command.Argument, command.ConfirmSeconds, out);
        case TCommandKind::List:
            for (const TIPSetValues& set :
                 ReadStoredSets(*manager.IPSetsTable(), *manager.ConnectionsTable()))
                out(OneLine(set.Name));
            return ecDone;
        case TCommandKind::Export: {
            const std::vector<TIPSetValues> sets =
                ReadStoredSets(*manager.IPSetsTable(), *manager.ConnectionsTable());
            manager.ExportIPSets(command.Argument);
            out(Format("%u IP sets exported to %s.", static_cast<unsigned>(sets.size()),
                       command.Argument.c_str()));
            return ecDone;
        }
        case TCommandKind::Import:
            return Import(manager, command.Argument, out);
        default:
            return ecBadInput;
        }
    } catch (const std::exception& e) {
        out(TApplication::ErrorText(e.what()));
        return ecFailed;
    }
}

TConsoleOut::TConsoleOut() {
    // A script that redirects the output gave us a handle; a console user
    // did not, and the parent's console is borrowed.
    FHandle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (FHandle && FHandle != INVALID_HANDLE_VALUE) return;
    FHandle = nullptr;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    FConsole.Reset(CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    if (FConsole) FHandle = FConsole.Get();
}

TConsoleOut::~TConsoleOut() {
    if (FConsole) {
        FConsole.Reset();
        FreeConsole();
    }
}

void TConsoleOut::Write(const std::string& line) {
    if (!FHandle) return;
    const std::string text = line + "\r\n";
    DWORD written = 0, mode = 0;
    // A console shows every name whatever its code page; a pipe or file gets
    // UTF-8, which a script can read whatever the system's language.
    if (GetConsoleMode(FHandle, &mode)) {
        const std::wstring wide = AnsiToWide(text);
        WriteConsoleW(FHandle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    const std::string utf8 = AnsiToUtf8(text);
    WriteFile(FHandle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}
