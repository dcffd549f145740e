// netsh for Wine prefixes on a Linux host: carries out the commands an
// activation runs ("interface ip set address", "set dns", "add dns", "add
// address", "delete address") through
// whoever manages the interface on the host, with the host's own tools
// started through Wine's way of running a host program. Installed in place
// of Wine's netsh by scripts/wine-netsh.sh; never part of the Windows package.
//
// Exit code 0 when everything was applied and the host shows it, 1 with a
// one-line reason on standard output otherwise.
#include "activation/Activation.h"
#include "tools/netsh-bridge/BridgeApply.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using TSpawn = LONG(WINAPI*)(char* const argv[], int wait);
using TDosName = WCHAR*(__cdecl*)(const char* unixName);

// A function Wine exports beside the Windows API, or null outside Wine.
template <typename T> T WineExport(const char* module, const char* name) {
    HMODULE handle = GetModuleHandleA(module);
    return handle ? reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(handle, name)))
                  : nullptr;
}

int Fail(const std::string& message) {
    std::printf("%s\n", message.c_str());
    std::fflush(stdout);
    return 1;
}

class TWineHost : public IBridgeHost {
public:
    TSpawn Spawn = nullptr;
    TDosName DosName = nullptr;
    bool Trace = false; // IPTAVIX_NETSH_TRACE: each host command on standard error

    TRunResult Run(const THostCommand& command, const std::string& input) override {
        // The child inherits the Unix side's standard handles, not ours: a
        // fixed shell line sends its input and output through files of this
        // run (the command's words stay arguments, never part of the line).
        TRunResult result;
        if (Deadline && RemainingMs() <= 0) {
            result.TimedOut = true;
            result.Output = "no time was left to start it";
            return result;
        }
        const std::string out = FreshFile(""), in = input.empty() ? "/dev/null" : FreshFile(input);
        if (out.empty() || in.empty()) return result;
        std::vector<std::string> words{
            "/bin/sh",      "-c", "in=$1; out=$2; shift 2; exec \"$@\" <\"$in\" >\"$out\" 2>&1",
            "netsh-bridge", in,   out};
        // coreutils' timeout ends the command and its children at the deadline
        // (and kills them a second later if they are still there).
        if (TimeoutTool.empty()) TimeoutTool = Find("timeout");
        if (TimeoutTool.empty()) TimeoutTool = "-";
        const bool bounded = Deadline && TimeoutTool != "-";
        if (bounded) {
            const int ms = RemainingMs();
            words.insert(words.end(), {TimeoutTool, "-k", "1",
                                       std::to_string(ms / 1000) + "." + ThreeDigits(ms % 1000)});
        }
        words.insert(words.end(), command.begin(), command.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        if (Trace) std::fprintf(stderr, "netsh-bridge: %s\n", CommandText(command).c_str());
        const LONG status = Spawn(argv.data(), 1);
        if (Trace) std::fprintf(stderr, "netsh-bridge: exit code %ld\n", static_cast<long>(status));
        result.Code = status >= 0 && status < 256 && status != 127 ? static_cast<int>(status) : -1;
        result.TimedOut = bounded && (status == 124 || status == 137) && RemainingMs() < 1000;
        ReadText(out, result.Output);
        Remove(out);
        if (!input.empty()) Remove(in);
        return result;
    }
    bool Exists(const std::string& path) override {
        const std::wstring dos = Dos(path);
        return !dos.empty() && GetFileAttributesW(dos.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    bool ReadText(const std::string& path, std::string& text) override {
        HANDLE file = CreateFileW(Dos(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        char buffer[4096];
        DWORD got = 0;
        bool ok = true;
        text.clear();
        while ((ok = ReadFile(file, buffer, sizeof(buffer), &got, nullptr)) && got)
            text.append(buffer, got);
        CloseHandle(file);
        return ok;
    }
    bool WriteNew(const std::string& path, const std::string& text) override {
        return Write(path, text, CREATE_NEW, false);
    }
    bool WriteOver(const std::string& path, const std::string& text) override {
        return Write(path, text, OPEN_EXISTING, true);
    }
    bool Rename(const std::string& from, const std::string& to) override {
        return MoveFileExW(Dos(from).c_str(), Dos(to).c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    bool Remove(const std::string& path) override { return DeleteFileW(Dos(path).c_str()); }
    bool MakeDirectory(const std::string& path) override {
        return CreateDirectoryW(Dos(path).c_str(), nullptr) ||
               GetLastError() == ERROR_ALREADY_EXISTS;
    }
    void Pause(int milliseconds) override { Sleep(static_cast<DWORD>(milliseconds)); }
    int ProcessId() override { return static_cast<int>(GetCurrentProcessId()); }
    long long Now() override { return static_cast<long long>(GetTickCount64()); }

private:
    int Counter = 0;
    std::string TimeoutTool; // "" not looked for yet, "-" not on the host

    static std::string ThreeDigits(int n) {
        std::string text = std::to_string(n);
        return std::string(3 - text.size(), '0') + text;
    }

    // The Windows name of a host path; empty when Wine cannot map it.
    std::wstring Dos(const std::string& unixPath) const {
        WCHAR* name = DosName(unixPath.c_str());
        if (!name) return L"";
        std::wstring result(name);
        HeapFree(GetProcessHeap(), 0, name);
        return result;
    }
    bool Write(const std::string& path, const std::string& text, DWORD disposition, bool cut) {
        HANDLE file = CreateFileW(Dos(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  disposition, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        bool ok =
            WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
            written == text.size();
        if (ok && cut) ok = SetEndOfFile(file);
        ok = ok && FlushFileBuffers(file);
        return CloseHandle(file) && ok;
    }
    // A new file of this run in /tmp holding `text`; "" when none could be made.
    std::string FreshFile(const std::string& text) {
        for (int tries = 0; tries < 100; ++tries) {
            const std::string path = "/tmp/.iptavix-netsh-" + std::to_string(ProcessId()) + "-" +
                                     std::to_string(++Counter);
            if (WriteNew(path, text)) return path;
        }
        return "";
    }
};

} // namespace

int main() {
    TWineHost host;
    host.Spawn = WineExport<TSpawn>("ntdll.dll", "__wine_unix_spawnvp");
    host.DosName = WineExport<TDosName>("kernel32.dll", "wine_get_dos_file_name");
    if (!host.Spawn || !host.DosName)
        return Fail(
            "This netsh runs only under Wine on a Linux host; on Windows use the system's netsh.");

    host.Trace = GetEnvironmentVariableA("IPTAVIX_NETSH_TRACE", nullptr, 0) > 0;
    // IPTAVIX_NETSH_LOG=FILE: each command line as received, one a line, so
    // a test can read the exact lines the program ran.
    char log[MAX_PATH] = {};
    const DWORD logLength = GetEnvironmentVariableA("IPTAVIX_NETSH_LOG", log, sizeof log);
    if (logLength > 0 && logLength < sizeof log) {
        HANDLE file = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            const std::string line = std::string(GetCommandLineA()) + "\n";
            DWORD written = 0;
            WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            CloseHandle(file);
        }
    }
    // Three quarters of the program's limit for a run, so that the program
    // never ends the bridge half-way, whatever a test shortened it to.
    host.TimeLimitMs = std::min<int>(BridgeTimeLimitMs, NetshTimeLimitMs() / 4 * 3);
    std::vector<std::string> args = SplitCommandLine(GetCommandLineA());
    if (!args.empty()) args.erase(args.begin()); // the program's own name
    TNetshRequest request;
    std::string error;
    if (!ParseNetshArguments(args, request, error)) return Fail(error);
    error = ApplyRequest(host, request);
    if (!error.empty()) return Fail(error);
    std::printf("Ok.\n");
    return 0;
}
