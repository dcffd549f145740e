#include "tools/netsh-bridge/DhcpcdPlan.h"

#include "base/AddressText.h"
#include "tools/netsh-bridge/IproutePlan.h"
#include "tools/netsh-bridge/ResolverFile.h"

#include <sstream>

const std::vector<std::string>& DhcpcdManagerPidFiles() {
    static const std::vector<std::string> files{"/run/dhcpcd/pid", "/run/dhcpcd.pid",
                                                "/var/run/dhcpcd.pid"};
    return files;
}

std::string DhcpcdConfigPath(const std::string& cmdline) {
    std::vector<std::string> args;
    std::string arg;
    for (char c : cmdline) {
        if (c == '\0') {
            args.push_back(arg);
            arg.clear();
        } else {
            arg += c;
        }
    }
    if (!arg.empty()) args.push_back(arg);
    for (size_t i = 1; i < args.size(); ++i) {
        if ((args[i] == "-f" || args[i] == "--config") && i + 1 < args.size()) return args[i + 1];
        if (args[i].rfind("--config=", 0) == 0) return args[i].substr(9);
        if (args[i].size() > 2 && args[i].rfind("-f", 0) == 0) return args[i].substr(2);
    }
    return "/etc/dhcpcd.conf";
}

namespace {

std::string BlockBegin(const std::string& name) {
    return "# iptavix-netsh " + name + " begin";
}
std::string BlockEnd(const std::string& name) {
    return "# iptavix-netsh " + name + " end";
}

} // namespace

std::string DhcpcdConfigWith(const std::string& config, const TNetshRequest& request) {
    const std::string& name = request.Name;
    std::istringstream in(config);
    std::string line, rest, address, routers;
    std::vector<std::string> dns;
    bool inBlock = false, haveDns = false;
    while (std::getline(in, line)) {
        if (line == BlockBegin(name)) {
            inBlock = true;
        } else if (line == BlockEnd(name)) {
            inBlock = false;
        } else if (!inBlock) {
            rest += line + "\n";
        } else if (line.rfind("static ip_address=", 0) == 0) {
            address = line;
        } else if (line.rfind("static routers=", 0) == 0) {
            routers = line;
        } else if (line.rfind("static domain_name_servers=", 0) == 0) {
            haveDns = true;
            std::istringstream servers(line.substr(27));
            std::string s;
            while (servers >> s)
                dns.push_back(s);
        }
    }
    if (request.Kind == TNetshRequest::TKind::Address) {
        address = routers = "";
        if (!request.Dhcp) {
            address = "static ip_address=" + request.Address + "/" +
                      std::to_string(MaskPrefixLength(request.Mask));
            routers = "static routers=" + request.Gateway; // empty: no router
        }
    } else {
        haveDns = !request.Dhcp;
        dns = request.Dhcp ? std::vector<std::string>{} : RequestedServers(request, dns);
    }
    if (address.empty() && !haveDns) return rest;
    if (!rest.empty() && rest.back() != '\n') rest += "\n";
    std::string block = BlockBegin(name) + "\ninterface " + name + "\n";
    if (!address.empty()) block += address + "\n" + routers + "\n";
    if (haveDns) {
        std::string servers;
        for (const std::string& s : dns)
            servers += (servers.empty() ? "" : " ") + s;
        block += "static domain_name_servers=" + servers + "\n";
    }
    return rest + block + BlockEnd(name) + "\n";
}

std::string ApplyDhcpcdManager(IBridgeHost& host, const TNetshRequest& request,
                               const std::string& dhcpcd, const std::string& configPath,
                               const std::string& ip) {
    const std::string& name = request.Name;
    const std::string managed = name + " is served by a dhcpcd manager; ";
    std::string old;
    if (!host.ReadText(configPath, old))
        return managed + "its configuration " + configPath + " could not be read.";
    const std::string text = DhcpcdConfigWith(old, request);
    // No static block of the bridge's: the manager's DHCP serves it already.
    if (request.Kind == TNetshRequest::TKind::Address && request.Dhcp && text == old)
        return DhcpAlreadyEnabledText;
    if (text != old) {
        if (std::string error = WriteKeptFile(host, configPath, text); !error.empty())
            return managed + error;
    }
    // -n: the manager reads its configuration again and rebinds the interface.
    const TRunResult rebind = host.Run({dhcpcd, "-4", "-n", name});
    if (rebind.Code != 0) {
        host.EnterRollback();
        if (text != old) WriteKeptFile(host, configPath, old);
        host.Run({dhcpcd, "-4", "-n", name});
        return managed + "it refused to rebind it: " + FirstLine(rebind.Output);
    }
    if (request.Kind != TNetshRequest::TKind::Address) return "";
    // dhcpcd adds a lease's address with the lease's lifetime.
    const std::string diff = request.Dhcp ? AwaitLease(host, name, ip, {}, nullptr, 45000)
                                          : AwaitAddress(host, request, ip, 30000);
    if (diff.empty()) return "";
    // dhcpcd 9 leaves a static interface as it is at a rebind: the block goes
    // again, so its configuration says what the interface shows.
    host.EnterRollback();
    if (text != old) {
        WriteKeptFile(host, configPath, old);
        host.Run({dhcpcd, "-4", "-n", name});
    }
    return managed + "it was told the set, but " + diff;
}
