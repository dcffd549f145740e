#include "base/ChildProcess.h"

#include "base/Handles.h"

#include <algorithm>
#include <cwchar>

namespace {

// A line longer than this is cut: the box shows lines, not pages.
constexpr size_t MaxLineLength = 240;
constexpr DWORD PollMs = 50;

std::string Trimmed(const std::string& line) {
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    size_t last = line.find_last_not_of(" \t\r");
    return line.substr(first, last - first + 1);
}

// Reads what the pipe holds now without blocking; false once it is broken.
bool ReadAvailable(HANDLE pipe, std::string& out) {
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
        if (available == 0) return true;
        char buffer[4096];
        DWORD read = 0;
        if (!ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof(buffer)), &read, nullptr))
            return false;
        out.append(buffer, read);
    }
}

} // namespace

void TLineTail::Push(std::string line) {
    line = Trimmed(line);
    if (line.empty()) return;
    if (line.size() > MaxLineLength) line = line.substr(0, MaxLineLength) + "...";
    FLines.push_back(std::move(line));
    if (FLines.size() > FKeep) FLines.erase(FLines.begin());
}

void TLineTail::Add(const std::string& chunk) {
    FPartial += chunk;
    size_t start = 0, end;
    while ((end = FPartial.find('\n', start)) != std::string::npos) {
        Push(FPartial.substr(start, end - start));
        start = end + 1;
    }
    FPartial.erase(0, start);
    // A child printing one endless line must not fill the memory.
    if (FPartial.size() > 4 * MaxLineLength) FPartial.erase(MaxLineLength + 1);
}

std::vector<std::string> TLineTail::Lines() const {
    TLineTail copy = *this;
    copy.Push(copy.FPartial);
    return copy.FLines;
}

std::string RecodedText(const std::string& text, UINT from, UINT to) {
    if (text.empty() || from == to) return text;
    const int size = static_cast<int>(text.size());
    int wide = MultiByteToWideChar(from, 0, text.data(), size, nullptr, 0);
    if (wide <= 0) return text;
    std::wstring w(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(from, 0, text.data(), size, w.data(), wide);
    int narrow = WideCharToMultiByte(to, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    if (narrow <= 0) return text;
    std::string out(static_cast<size_t>(narrow), '\0');
    WideCharToMultiByte(to, 0, w.data(), wide, out.data(), narrow, nullptr, nullptr);
    return out;
}

UINT ConsoleCodePage() {
    // Not GetOEMCP(): a process whose manifest makes UTF-8 its code page is
    // answered 65001 there, while a new console still starts in the system's
    // OEM code page (866 on a Russian Windows, 850 on a German one).
    wchar_t text[8] = {};
    if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTCODEPAGE, text, 8) > 0) {
        const UINT codePage = static_cast<UINT>(wcstoul(text, nullptr, 10));
        if (codePage != 0 && IsValidCodePage(codePage)) return codePage;
    }
    return GetOEMCP();
}

std::string SystemNetshPath() {
    char folder[MAX_PATH] = {};
    UINT n = GetSystemDirectoryA(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return "";
    return std::string(folder, n) + "\\netsh.exe";
}

TChildRun RunChild(const std::string& application, const std::string& commandLine,
                   DWORD timeLimitMs, const TChildWait& wait) {
    TChildRun run;
    if (application.empty()) return run;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    TKernelHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(reader.Get(), HANDLE_FLAG_INHERIT, 0);
    // The child reads nothing: its input is the null device.
    TKernelHandle nul(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                  OPEN_EXISTING, 0, nullptr));
    if (nul.Get() == INVALID_HANDLE_VALUE) nul.Release();

    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nul.Get();
    startup.hStdOutput = writer.Get();
    startup.hStdError = writer.Get();
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0'); // CreateProcessA may write into it
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(application.c_str(), line.data(), nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                        &info))
        return run;
    run.Started = true;
    TKernelHandle process(info.hProcess), thread(info.hThread);
    writer.Reset(); // the child's copy is the only writer left: its end breaks the pipe
    nul.Reset();

    // Decoded line by line: a character of a multi-byte code page (936)
    // may be split between two reads.
    TLineTail tail(ChildKeptLines);
    auto drain = [&] {
        std::string chunk;
        ReadAvailable(reader.Get(), chunk);
        if (!chunk.empty()) tail.Add(chunk);
    };
    const DWORD start = GetTickCount();
    for (;;) {
        drain();
        if (WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0) break;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeLimitMs) {
            TerminateProcess(process.Get(), 1);
            WaitForSingleObject(process.Get(), 5000);
            run.TimedOut = true;
            break;
        }
        const DWORD slice = std::min(PollMs, timeLimitMs - elapsed);
        if (wait)
            wait(process.Get(), slice);
        else
            WaitForSingleObject(process.Get(), slice);
    }
    drain();
    const UINT console = ConsoleCodePage();
    for (std::string& line : tail.Lines())
        run.LastLines.push_back(RecodedText(line, console, CP_ACP));
    if (!run.TimedOut) GetExitCodeProcess(process.Get(), &run.ExitCode);
    return run;
}
