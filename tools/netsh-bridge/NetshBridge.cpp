#include "tools/netsh-bridge/NetshBridge.h"

#include "base/AddressText.h"

#include <sstream>

bool ValidInterfaceName(const std::string& name) {
    if (name.empty() || name.size() > 15 || name == "." || name == ".." || name[0] == '-')
        return false;
    for (unsigned char c : name)
        if (c <= ' ' || c >= 0x7F || c == '/' || c == ':' || c == '"' || c == '\'' || c == '\\')
            return false;
    return true;
}

const std::vector<std::string>& DhcpClients() {
    static const std::vector<std::string> clients{"dhclient", "dhcpcd", "udhcpc"};
    return clients;
}

namespace {

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Asks for one lease and gives up after a bounded time; each client backs
// off to the background (or ends) once it holds the lease.
THostCommand DhcpClientCommand(const std::string& client, const std::string& name) {
    const std::string tool = BaseName(client);
    if (tool == "dhcpcd") return {client, "-4", "-1", "-t", "30", name};
    if (tool == "udhcpc") return {client, "-i", name, "-n", "-q", "-t", "10", "-T", "3"};
    return {client, "-4", "-1", name}; // dhclient: one try, its own timeout (60 s)
}

} // namespace

std::vector<THostCommand> AddressPlan(const TNetshRequest& request, const std::string& ip,
                                      const std::string& dhcpClient) {
    const std::string& name = request.Name;
    std::vector<THostCommand> plan{{ip, "link", "set", "dev", name, "up"},
                                   {ip, "-4", "addr", "flush", "dev", name}};
    if (request.Dhcp) {
        plan.push_back(DhcpClientCommand(dhcpClient, name));
        return plan;
    }
    const std::string prefix = std::to_string(MaskPrefixLength(request.Mask));
    plan.push_back({ip, "-4", "addr", "add", request.Address + "/" + prefix, "dev", name});
    // The interface's default routes give way to the one via the gateway.
    plan.push_back({ip, "-4", "route", "flush", "exact", "0.0.0.0/0", "dev", name});
    if (!request.Gateway.empty())
        plan.push_back({ip, "-4", "route", "add", "default", "via", request.Gateway, "dev", name,
                        "metric", std::to_string(request.GatewayMetric)});
    return plan;
}

std::string WithNameServer(const std::string& resolvConf, const std::string& dns) {
    std::istringstream in(resolvConf);
    std::string line, out;
    bool placed = false;
    const std::string server = dns.empty() ? "" : "nameserver " + dns + "\n";
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first == "nameserver") {
            if (!placed) out += server; // where the first one stood
            placed = true;
            continue;
        }
        out += line + "\n";
    }
    if (!placed) out += server;
    return out;
}

THostCommand ResolvectlPlan(const TNetshRequest& request, const std::string& resolvectl) {
    // An empty server list clears the interface's servers.
    return {resolvectl, "dns", request.Name, request.Address};
}

std::string CommandText(const THostCommand& command) {
    std::string text;
    for (const std::string& word : command) {
        if (!text.empty()) text += ' ';
        text += word.empty() ? "\"\"" : word;
    }
    return text;
}
