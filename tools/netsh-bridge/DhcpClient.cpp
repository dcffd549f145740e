#include "tools/netsh-bridge/DhcpClient.h"

#include <algorithm>
#include <set>
#include <sstream>

namespace {

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

const std::vector<std::string>& DhcpClients() {
    static const std::vector<std::string> clients{"dhclient", "dhcpcd", "udhcpc"};
    return clients;
}

std::string ClientPidFile(const std::string& tool, const std::string& name) {
    return BridgeRunDir + "/" + BaseName(tool) + "-" + name + ".pid";
}

std::vector<std::string> ClientPidFiles(const std::string& name) {
    std::vector<std::string> files;
    for (const std::string& client : DhcpClients())
        files.push_back(ClientPidFile(client, name));
    return files;
}

THostCommand DhcpClientStart(const std::string& client, const std::string& name, int seconds) {
    const std::string tool = BaseName(client), pidFile = ClientPidFile(tool, name);
    // dhcpcd: for this interface only, IPv4, the time left for the first lease.
    if (tool == "dhcpcd") return {client, "-4", "-t", std::to_string(std::max(1, seconds)), name};
    // udhcpc: three tries, ends with a failure when no lease came.
    if (tool == "udhcpc")
        return {client, "-i", name, "-p", pidFile, "-t", "3", "-T", "3", "-A", "3", "-n"};
    // dhclient: waits its own timeout (60 s, or what dhclient.conf says) for
    // the first lease, unless the run's deadline ends it first.
    return {client, "-4", "-pf", pidFile, name};
}

std::string DhcpcdPidFile(const std::string& name) {
    return "/run/dhcpcd/" + name + "-4.pid";
}

bool IsClientProcess(const std::string& commText, const std::string& pidFile) {
    std::string comm = commText;
    while (!comm.empty() && (comm.back() == '\n' || comm.back() == ' '))
        comm.pop_back();
    const std::string file = BaseName(pidFile);
    return !comm.empty() && file.compare(0, comm.size() + 1, comm + "-") == 0;
}

int PidFromText(const std::string& text) {
    long long pid = 0;
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    const size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && pid < 100000000)
        pid = pid * 10 + (text[i++] - '0');
    if (i == start || pid <= 1 || pid >= 100000000) return 0;
    return static_cast<int>(pid);
}

namespace {

bool NameSeparator(char c) {
    return c == '.' || c == '-' || c == '_';
}

// True when `word` is `name`, or a file's name holding it between
// separators ("dhclient.eth0.leases", "dhcpcd-eth0.pid"), not a longer
// interface name ("eth0p").
bool NamesInterface(const std::string& word, const std::string& name) {
    if (word == name) return true;
    const std::string base = BaseName(word);
    for (size_t at = base.find(name); at != std::string::npos; at = base.find(name, at + 1)) {
        const size_t end = at + name.size();
        if ((at == 0 || NameSeparator(base[at - 1])) &&
            (end == base.size() || NameSeparator(base[end])))
            return true;
    }
    return false;
}

} // namespace

std::vector<TClientProcess> ClientsServing(const std::string& psOutput, const std::string& name) {
    struct TLine {
        int Pid, Parent;
        TClientProcess Client;
        bool Serves;
    };
    std::vector<TLine> lines;
    std::istringstream in(psOutput);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        long long pid = 0, parent = 0;
        std::string comm;
        if (!(words >> pid >> parent >> comm)) continue;
        if (std::find(DhcpClients().begin(), DhcpClients().end(), comm) == DhcpClients().end())
            continue;
        TLine entry{static_cast<int>(pid), static_cast<int>(parent), {}, false};
        entry.Client.Pid = entry.Pid;
        entry.Client.Tool = comm;
        std::string word;
        while (words >> word) {
            entry.Client.CommandLine += (entry.Client.CommandLine.empty() ? "" : " ") + word;
            if (NamesInterface(word, name)) entry.Serves = true;
        }
        lines.push_back(entry);
    }
    std::set<int> clients;
    for (const TLine& l : lines)
        clients.insert(l.Pid);
    std::vector<TClientProcess> serving;
    for (const TLine& l : lines)
        if (l.Serves && !clients.count(l.Parent) && l.Pid > 1) serving.push_back(l.Client);
    return serving;
}

std::string ClientManager(const TClientProcess& client) {
    if (client.CommandLine.find("/NetworkManager/") != std::string::npos) return "NetworkManager";
    return "";
}
