#include "tools/netsh-bridge/DhcpClient.h"

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

THostCommand DhcpClientStart(const std::string& client, const std::string& name) {
    const std::string tool = BaseName(client), pidFile = ClientPidFile(tool, name);
    // dhcpcd: for this interface only, IPv4, at most 30 s for the first lease.
    if (tool == "dhcpcd") return {client, "-4", "-t", "30", name};
    // udhcpc: three tries, ends with a failure when no lease came.
    if (tool == "udhcpc")
        return {client, "-i", name, "-p", pidFile, "-t", "3", "-T", "3", "-A", "3", "-n"};
    // dhclient: waits its own timeout (60 s) for the first lease.
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
