#include "tools/netsh-bridge/BridgeApply.h"

#include "tools/netsh-bridge/Backend.h"
#include "tools/netsh-bridge/DhcpClient.h"
#include "tools/netsh-bridge/DhcpcdPlan.h"
#include "tools/netsh-bridge/IproutePlan.h"
#include "tools/netsh-bridge/NetworkdPlan.h"
#include "tools/netsh-bridge/NmPlan.h"
#include "tools/netsh-bridge/ResolvedPlan.h"
#include "tools/netsh-bridge/ResolverFile.h"

namespace {

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The first step that failed, as the message names it; "" when all ran.
std::string RunAll(IBridgeHost& host, const std::vector<THostCommand>& plan) {
    for (const THostCommand& command : plan) {
        const TRunResult result = host.Run(command);
        if (result.Code == -1)
            return "the host command could not be started: " + CommandText(command);
        if (result.Code != 0)
            return CommandText(command) + " failed" +
                   (FirstLine(result.Output).empty()
                        ? " with exit code " + std::to_string(result.Code)
                        : ": " + FirstLine(result.Output));
    }
    return "";
}

// The interface put back as the snapshot had it, after `reason`.
std::string RolledBack(IBridgeHost& host, const TIPv4State& snapshot, const std::string& name,
                       const std::string& ip, const std::string& reason) {
    const std::string restore = RunAll(host, RestorePlan(snapshot, name, ip));
    if (!restore.empty()) return reason + "; putting back its old addresses failed too: " + restore;
    return reason + "; its old addresses and routes were put back.";
}

std::string ApplyStatic(IBridgeHost& host, const TNetshRequest& request, const std::string& ip) {
    const std::string& name = request.Name;
    TIPv4State snapshot;
    if (!ReadIPv4State(host, ip, name, snapshot))
        return "The state of " + name + " could not be read with ip -j, so nothing was changed.";
    if (std::string error = StopOwnClients(host, name); !error.empty()) return error;
    if (std::string error = RunAll(host, StaticAddressPlan(request, ip)); !error.empty())
        return RolledBack(host, snapshot, name, ip,
                          "Setting the address of " + name + ": " + error);
    if (std::string diff = AwaitAddress(host, request, ip, 0); !diff.empty())
        return RolledBack(host, snapshot, name, ip, diff.substr(0, diff.size() - 1));
    return "";
}

std::string ApplyDhcp(IBridgeHost& host, const TNetshRequest& request, const std::string& ip) {
    const std::string& name = request.Name;
    std::string client;
    for (const std::string& tool : DhcpClients())
        if (client.empty()) client = host.Find(tool);
    if (client.empty()) return "No DHCP client was found on the host (dhclient, dhcpcd or udhcpc).";
    TIPv4State snapshot;
    if (!ReadIPv4State(host, ip, name, snapshot))
        return "The state of " + name + " could not be read with ip -j, so nothing was changed.";
    if (std::string error = StopOwnClients(host, name); !error.empty()) return error;
    if (std::string error = RunAll(host, DhcpAddressPlan(request, ip)); !error.empty())
        return RolledBack(host, snapshot, name, ip, "Preparing " + name + " for DHCP: " + error);
    host.MakeDirectory(BridgeRunDir);
    const std::string tool = BaseName(client);
    const TRunResult started = host.Run(DhcpClientStart(client, name));
    if (tool == "dhcpcd") {
        // dhcpcd keeps its own pid file; the bridge's copy marks it as its own.
        std::string pid;
        if (host.ReadText(DhcpcdPidFile(name), pid)) {
            host.Remove(ClientPidFile(tool, name));
            host.WriteNew(ClientPidFile(tool, name), pid);
        }
    }
    std::string reason;
    if (started.Code != 0)
        reason = "The DHCP client " + tool + " got no lease for " + name +
                 (FirstLine(started.Output).empty() ? "" : ": " + FirstLine(started.Output));
    else if (std::string diff = AwaitAddress(host, request, ip, 5000); !diff.empty())
        reason = diff.substr(0, diff.size() - 1);
    if (reason.empty()) return "";
    StopOwnClients(host, name);
    return RolledBack(host, snapshot, name, ip, reason);
}

} // namespace

std::string StopOwnClients(IBridgeHost& host, const std::string& name) {
    const std::string kill = host.Find("kill");
    for (const std::string& file : ClientPidFiles(name)) {
        const std::string tool = BaseName(file).substr(0, BaseName(file).find('-'));
        const int pid = LivePid(host, file, tool);
        if (pid) {
            if (kill.empty()) return "The host tool kill was not found to stop " + tool + ".";
            const std::string proc = "/proc/" + std::to_string(pid) + "/comm";
            host.Run({kill, std::to_string(pid)});
            for (int waited = 0; waited < 5000 && host.Exists(proc); waited += 100)
                host.Pause(100);
            if (host.Exists(proc)) host.Run({kill, "-KILL", std::to_string(pid)});
            if (LivePid(host, file, tool))
                return "The DHCP client " + tool + " the bridge started for " + name + " (pid " +
                       std::to_string(pid) + ") could not be stopped.";
        }
        host.Remove(file);
    }
    return "";
}

std::string ApplyRequest(IBridgeHost& host, TNetshRequest request) {
    std::string reason;
    if (!CheckRequest(request, reason)) return reason + " Nothing was changed.";
    const std::string& name = request.Name;
    if (!ValidInterfaceName(name))
        return "The interface name \"" + name + "\" is not a valid host interface name.";
    const std::string ip = host.Find("ip");
    if (ip.empty()) return "The host tool ip (iproute2) was not found.";
    if (host.Run({ip, "-o", "link", "show", "dev", name}).Code != 0)
        return "The interface \"" + name + "\" was not found on the host.";

    std::string dhcpcdConfig;
    const TBackendFacts facts = ReadBackendFacts(host, name, dhcpcdConfig);
    if (facts.NmWithoutNmcli)
        return "NetworkManager runs on the host, but its nmcli was not found, so " + name +
               " was not changed behind its back.";
    const bool address = request.Kind == TNetshRequest::TKind::Address;
    switch (DetectBackend(facts)) {
    case TBackend::NetworkManager:
        return ApplyNetworkManager(host, request, facts.NmDevice, host.Find("nmcli"), ip);
    case TBackend::Networkd:
        return ApplyNetworkd(host, request, host.Find("networkctl"), ip);
    case TBackend::DhcpcdManager: {
        const std::string dhcpcd = host.Find("dhcpcd");
        if (dhcpcd.empty())
            return name + " is served by a dhcpcd manager, but dhcpcd was not found.";
        if (address)
            if (std::string error = StopOwnClients(host, name); !error.empty()) return error;
        return ApplyDhcpcdManager(host, request, dhcpcd, dhcpcdConfig, ip);
    }
    case TBackend::Iproute:
        break;
    }
    if (address)
        return request.Dhcp ? ApplyDhcp(host, request, ip) : ApplyStatic(host, request, ip);
    const std::string resolvectl = host.Find("resolvectl");
    if (!resolvectl.empty() && host.Exists("/run/systemd/resolve/io.systemd.Resolve"))
        return ApplyResolved(host, request, resolvectl);
    return ApplyResolverFile(host, request);
}
