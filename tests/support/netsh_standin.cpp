// Stands in for netsh in the activation tests, installed as the system
// folder's netsh.exe, and answers as Windows' netsh does. Its files live in
// the folder IPTAVIX_STANDIN_DIR names (else beside itself):
// - netsh-log.txt: it appends the time, the show mode and flags it was started
//   with, its wide command line as UTF-8 and its own path, one run a line.
// - netsh-connections.txt (UTF-8), when present: the connections it knows, one
//   a line, "NAME|dhcp" or "NAME|static|GATEWAY,GATEWAY". It then refuses an
//   unknown name, says "DHCP is already enabled on this interface." with exit
//   code 1 to DHCP on a DHCP connection, and "The object already exists." with
//   exit code 1 to a gateway the connection has; it writes the new state back.
// - netsh-elevation.txt, when present: every run is refused as without
//   administrator rights.
// - netsh-exits.txt: the N-th number is the exit code of the N-th run, over
//   whatever the above decided.
// - netsh-print.txt, printed first; netsh-codepage.txt, when present, names the
//   code page everything is printed in (netsh-print.txt is then read as UTF-8).
// - netsh-delay.txt: milliseconds to wait before ending.
#include "activation/NetshCommand.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

std::wstring Wide(const std::string& text, UINT codePage) {
    const int n =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string Encoded(const std::wstring& text, UINT codePage) {
    const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

bool SameName(const std::string& a, const std::string& b) {
    const std::wstring wa = Wide(a, CP_UTF8), wb = Wide(b, CP_UTF8);
    return CompareStringOrdinal(wa.data(), static_cast<int>(wa.size()), wb.data(),
                                static_cast<int>(wb.size()), TRUE) == CSTR_EQUAL;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Connection {
    std::string Name;
    bool Dhcp = false;
    std::vector<std::string> Gateways;
};

std::vector<Connection> ReadConnections(std::istream& in) {
    std::vector<Connection> list;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream fields(line);
        Connection c;
        std::string mode, gateways, gateway;
        if (!std::getline(fields, c.Name, '|')) continue;
        std::getline(fields, mode, '|');
        std::getline(fields, gateways);
        c.Dhcp = mode == "dhcp";
        std::istringstream each(gateways);
        while (std::getline(each, gateway, ','))
            if (!gateway.empty()) c.Gateways.push_back(gateway);
        list.push_back(c);
    }
    return list;
}

void WriteConnections(const std::string& path, const std::vector<Connection>& list) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const Connection& c : list) {
        out << c.Name << '|' << (c.Dhcp ? "dhcp" : "static") << '|';
        for (size_t i = 0; i < c.Gateways.size(); ++i)
            out << (i ? "," : "") << c.Gateways[i];
        out << '\n';
    }
}

// What Windows' netsh answers to `line` for the connections it knows, and
// their state afterwards.
int Answer(const std::string& line, std::vector<Connection>& connections, std::string& message) {
    std::vector<std::string> args = SplitCommandLine(line);
    if (!args.empty()) args.erase(args.begin());
    TNetshRequest request;
    std::string error;
    if (!ParseNetshArguments(args, request, error)) {
        message = error;
        return 1;
    }
    Connection* target = nullptr;
    for (Connection& c : connections)
        if (SameName(c.Name, request.Name)) target = &c;
    if (!target) {
        message = "The filename, directory name, or volume label syntax is incorrect.";
        return 1;
    }
    if (request.Kind != TNetshRequest::TKind::Address) return 0;
    if (request.Dhcp) {
        if (target->Dhcp) {
            message = "DHCP is already enabled on this interface.";
            return 1;
        }
        target->Dhcp = true;
        target->Gateways.clear();
        return 0;
    }
    target->Dhcp = false;
    if (request.Gateway.empty()) return 0;
    for (const std::string& gateway : target->Gateways)
        if (gateway == request.Gateway) {
            message = "The object already exists.";
            return 1;
        }
    target->Gateways.push_back(request.Gateway); // the old one stays, as on Windows
    return 0;
}

} // namespace

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
    const std::string commandLine = Utf8(GetCommandLineW());
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    GetStartupInfoA(&si);
    if (FILE* f = std::fopen(log.c_str(), "ab")) {
        std::fprintf(f, "%lu|%u|%lu|%s|%s\n", GetTickCount(), si.wShowWindow, si.dwFlags,
                     commandLine.c_str(), self.c_str());
        std::fclose(f);
    }

    int exitCode = 0;
    std::string message;
    const std::string connectionsFile = folder + "netsh-connections.txt";
    if (std::ifstream(folder + "netsh-elevation.txt")) {
        message = "The requested operation requires elevation (Run as administrator).";
        exitCode = 1;
    } else if (std::ifstream in{connectionsFile, std::ios::binary}) {
        std::vector<Connection> connections = ReadConnections(in);
        in.close();
        exitCode = Answer(commandLine, connections, message);
        WriteConnections(connectionsFile, connections);
    }
    {
        std::ifstream exits(folder + "netsh-exits.txt");
        int code = 0;
        for (int i = 0; i <= run && (exits >> code); ++i) {
        }
        if (exits) exitCode = code;
    }

    UINT codePage = 0;
    const bool encode = static_cast<bool>(std::ifstream(folder + "netsh-codepage.txt") >> codePage);
    std::string printed = ReadAll(folder + "netsh-print.txt");
    if (!message.empty()) printed += message + "\r\n";
    if (encode) printed = Encoded(Wide(printed, CP_UTF8), codePage);
    std::fwrite(printed.data(), 1, printed.size(), stdout);
    std::fflush(stdout);

    int delay = 0;
    if (std::ifstream(folder + "netsh-delay.txt") >> delay) Sleep(static_cast<DWORD>(delay));
    return exitCode;
}
