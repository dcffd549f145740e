// netsh for Wine prefixes on a Linux host: carries out the two commands an
// activation runs ("interface ip set address" and "interface ip set dns")
// with the host's own tools, started through Wine's way of running a host
// program. Installed in place of Wine's netsh by scripts/wine-netsh.sh; it
// is never part of the Windows package.
//
// Exit code 0 when everything was applied, 1 with a message otherwise.
#include "tools/netsh-bridge/NetshBridge.h"

#include <windows.h>

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

struct THost {
    TSpawn Spawn = nullptr;
    TDosName DosName = nullptr;

    // The Windows name of a host path; empty when Wine cannot map it.
    std::wstring Dos(const std::string& unixPath) const {
        WCHAR* name = DosName(unixPath.c_str());
        if (!name) return L"";
        std::wstring result(name);
        HeapFree(GetProcessHeap(), 0, name);
        return result;
    }
    bool Exists(const std::string& unixPath) const {
        const std::wstring dos = Dos(unixPath);
        return !dos.empty() && GetFileAttributesW(dos.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    // The path of a host tool in the usual program folders, or "".
    std::string Find(const std::string& tool) const {
        for (const char* dir :
             {"/usr/local/sbin", "/usr/local/bin", "/usr/sbin", "/usr/bin", "/sbin", "/bin"})
            if (Exists(std::string(dir) + "/" + tool)) return std::string(dir) + "/" + tool;
        return "";
    }
    // Runs a host command and waits for it: its exit code, or -1 when it
    // could not be started.
    int Run(const THostCommand& command) const {
        std::vector<std::string> words = command;
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        const LONG status = Spawn(argv.data(), 1);
        return status >= 0 && status < 256 ? static_cast<int>(status) : -1;
    }
};

std::string RunAll(const THost& host, const std::vector<THostCommand>& plan) {
    for (const THostCommand& command : plan) {
        const int code = host.Run(command);
        if (code == -1) return "The host command could not be started: " + CommandText(command);
        if (code != 0)
            return "The host command failed with exit code " + std::to_string(code) + ": " +
                   CommandText(command);
    }
    return "";
}

bool ReadFileText(const std::wstring& path, std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
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

bool WriteFileText(const std::wstring& path, const std::string& text, DWORD disposition) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size() && FlushFileBuffers(file);
    return CloseHandle(file) && ok;
}

// True when /etc/resolv.conf is a mount point of its own (a container's or a
// test's private file): it cannot be renamed over, only rewritten.
bool ResolvConfIsMounted(const THost& host) {
    std::string mounts;
    if (!ReadFileText(host.Dos("/proc/self/mountinfo"), mounts)) return false;
    return mounts.find(" /etc/resolv.conf ") != std::string::npos;
}

std::string SetResolvConf(const THost& host, const std::string& dns) {
    const std::wstring path = host.Dos("/etc/resolv.conf");
    std::string old;
    if (path.empty() || !ReadFileText(path, old))
        return "The host's /etc/resolv.conf could not be read.";
    const std::string text = WithNameServer(old, dns);
    if (ResolvConfIsMounted(host)) {
        if (!WriteFileText(path, text, TRUNCATE_EXISTING))
            return "The host's /etc/resolv.conf could not be written.";
        return "";
    }
    // A new file renamed over the old one: readers see the old or the new.
    const std::wstring fresh = host.Dos("/etc/.resolv.conf.netsh");
    if (!WriteFileText(fresh, text, CREATE_ALWAYS) ||
        !MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(fresh.c_str());
        return "The host's /etc/resolv.conf could not be replaced.";
    }
    return "";
}

std::string SetDns(const THost& host, const TNetshRequest& request) {
    if (request.Dhcp) return ""; // the DHCP client sets the resolver with its lease
    const std::string resolvectl = host.Find("resolvectl");
    if (!resolvectl.empty() && host.Exists("/run/systemd/resolve/io.systemd.Resolve"))
        return RunAll(host, {ResolvectlPlan(request, resolvectl)});
    return SetResolvConf(host, request.Address);
}

std::string SetAddress(const THost& host, const TNetshRequest& request, const std::string& ip) {
    std::string client;
    if (request.Dhcp) {
        for (const std::string& name : DhcpClients())
            if (client.empty()) client = host.Find(name);
        if (client.empty())
            return "No DHCP client was found on the host (dhclient, dhcpcd or udhcpc).";
    }
    return RunAll(host, AddressPlan(request, ip, client));
}

} // namespace

int main() {
    THost host;
    host.Spawn = WineExport<TSpawn>("ntdll.dll", "__wine_unix_spawnvp");
    host.DosName = WineExport<TDosName>("kernel32.dll", "wine_get_dos_file_name");
    if (!host.Spawn || !host.DosName)
        return Fail(
            "This netsh runs only under Wine on a Linux host; on Windows use the system's netsh.");

    std::vector<std::string> args = SplitCommandLine(GetCommandLineA());
    if (!args.empty()) args.erase(args.begin()); // the program's own name
    TNetshRequest request;
    std::string error;
    if (!ParseNetshArguments(args, request, error)) return Fail(error);
    if (!ValidInterfaceName(request.Name))
        return Fail("The interface name \"" + request.Name +
                    "\" is not a valid host interface name.");
    const std::string ip = host.Find("ip");
    if (ip.empty()) return Fail("The host tool ip (iproute2) was not found.");
    if (host.Run({ip, "-o", "link", "show", "dev", request.Name}) != 0)
        return Fail("The interface \"" + request.Name + "\" was not found on the host.");

    error = request.Kind == TNetshRequest::TKind::Address ? SetAddress(host, request, ip)
                                                          : SetDns(host, request);
    if (!error.empty()) return Fail(error);
    std::printf("Ok.\n");
    return 0;
}
