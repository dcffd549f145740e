#include "tools/netsh-bridge/BridgeApply.h"

#include "tools/netsh-bridge/AddressChange.h"
#include "tools/netsh-bridge/Backend.h"
#include "tools/netsh-bridge/DhcpClient.h"
#include "tools/netsh-bridge/DhcpcdPlan.h"
#include "tools/netsh-bridge/IproutePlan.h"
#include "tools/netsh-bridge/NetworkdPlan.h"
#include "tools/netsh-bridge/NmPlan.h"
#include "tools/netsh-bridge/ResolvedPlan.h"
#include "tools/netsh-bridge/ResolverFile.h"

#include <algorithm>
#include <sstream>

namespace {

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The first step that failed, as the message names it; "" when all ran.
// A route put back that is there already: something on the host (a DHCP
// client renewing, a manager) added it again since the flush. That is where
// a rollback wants it.
bool RouteThereAlready(const THostCommand& command, const TRunResult& result) {
    return command.size() > 4 && command[2] == "route" && command[3] == "append" &&
           result.Code == 2 && result.Output.find("File exists") != std::string::npos;
}

std::string RunAll(IBridgeHost& host, const std::vector<THostCommand>& plan,
                   bool restoring = false) {
    for (const THostCommand& command : plan) {
        const TRunResult result = host.Run(command);
        if (result.TimedOut) return CommandText(command) + " did not end in time";
        if (restoring && RouteThereAlready(command, result)) continue;
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

// The interface put back as the snapshot had it, after `reason`, in the time
// kept for that.
std::string RolledBack(IBridgeHost& host, const TIPv4State& snapshot, const std::string& name,
                       const std::string& ip, const std::string& reason) {
    host.EnterRollback();
    const std::string restore = RunAll(host, RestorePlan(snapshot, name, ip), true);
    if (!restore.empty()) return reason + "; putting back its old addresses failed too: " + restore;
    return reason + "; its old addresses and routes were put back.";
}

// The client a pid file of the bridge is for ("dhclient-ipt0.pid": dhclient).
std::string PidFileTool(const std::string& file) {
    const std::string base = BaseName(file);
    return base.substr(0, base.find('-'));
}

// Ends a process, first asking, then by force; false when it is still there.
bool StopProcess(IBridgeHost& host, const std::string& kill, int pid, const std::string& comm) {
    const std::string proc = "/proc/" + std::to_string(pid) + "/comm";
    auto alive = [&] {
        std::string text;
        return host.ReadText(proc, text) && FirstLine(text) == comm;
    };
    if (!alive()) return true;
    host.Run({kill, std::to_string(pid)});
    for (int waited = 0; waited < 5000 && host.RemainingMs() > 1000 && alive(); waited += 100)
        host.Pause(100);
    if (alive()) host.Run({kill, "-KILL", std::to_string(pid)});
    for (int waited = 0; waited < 1000 && alive(); waited += 100)
        host.Pause(100);
    return !alive();
}

// The DHCP clients serving the interface in this network namespace that the
// bridge did not start (ifupdown's dhclient, a dhcpcd of its own), whoever
// started them. False when the host cannot say (no ps).
bool OtherClients(IBridgeHost& host, const std::string& name, std::vector<TClientProcess>& found) {
    found.clear();
    const std::string ps = host.Find("ps"), readlink = host.Find("readlink");
    if (ps.empty() || readlink.empty()) return false;
    const TRunResult list = host.Run({ps, "-e", "-o", "pid=,ppid=,comm=,args="});
    if (list.Code != 0) return false;
    const std::vector<TClientProcess> serving = ClientsServing(list.Output, name);
    if (serving.empty()) return true;
    std::vector<int> own;
    for (const std::string& file : ClientPidFiles(name))
        if (const int pid = LivePid(host, file, PidFileTool(file))) own.push_back(pid);
    // Another namespace's interface of the same name is not this one.
    THostCommand namespaces{readlink, "/proc/self/ns/net"};
    for (const TClientProcess& c : serving)
        namespaces.push_back("/proc/" + std::to_string(c.Pid) + "/ns/net");
    std::vector<std::string> links;
    std::istringstream in(host.Run(namespaces).Output);
    for (std::string line; std::getline(in, line);)
        links.push_back(FirstLine(line));
    // readlink leaves out the links it cannot read: only a full answer counts.
    if (links.size() != serving.size() + 1) return false;
    for (size_t i = 0; i < serving.size(); ++i)
        if (links[i + 1] == links[0] &&
            std::find(own.begin(), own.end(), serving[i].Pid) == own.end())
            found.push_back(serving[i]);
    return true;
}

std::string ClientText(const TClientProcess& client) {
    return client.Tool + " (pid " + std::to_string(client.Pid) + ")";
}

// Every DHCP client serving the interface stopped, the bridge's own and the
// others; "" or why one could not be.
std::string StopAllClients(IBridgeHost& host, const std::string& name,
                           const std::vector<TClientProcess>& others) {
    if (std::string error = StopOwnClients(host, name); !error.empty()) return error;
    const std::string kill = host.Find("kill");
    for (const TClientProcess& client : others) {
        if (kill.empty()) return "The host tool kill was not found to stop " + client.Tool + ".";
        if (!StopProcess(host, kill, client.Pid, client.Tool))
            return "The DHCP client " + ClientText(client) + " serving " + name +
                   " could not be stopped.";
    }
    return "";
}

std::string WithoutFullStop(const std::string& text) {
    return !text.empty() && text.back() == '.' ? text.substr(0, text.size() - 1) : text;
}

std::string ApplyStatic(IBridgeHost& host, const TNetshRequest& request, const std::string& ip) {
    const std::string& name = request.Name;
    std::vector<TClientProcess> others;
    OtherClients(host, name, others);
    for (const TClientProcess& client : others)
        if (const std::string manager = ClientManager(client); !manager.empty())
            return name + " is served by the DHCP client " + ClientText(client) + " of " + manager +
                   ", so the set was not applied behind its back.";
    TIPv4State snapshot;
    if (!ReadIPv4State(host, ip, name, snapshot))
        return "The state of " + name + " could not be read with ip -j, so nothing was changed.";
    // The clients keep running until the host has taken the set: where it
    // refuses it, the rollback leaves the lease with a client that renews it.
    auto run = [&]() -> std::string {
        if (std::string error = RunAll(host, StaticAddressPlan(request, ip)); !error.empty())
            return "Setting the address of " + name + ": " + error;
        return "";
    };
    if (std::string error = run(); !error.empty())
        return RolledBack(host, snapshot, name, ip, error);
    if (std::string error = StopAllClients(host, name, others); !error.empty())
        return RolledBack(host, snapshot, name, ip, WithoutFullStop(error));
    // A client renewing its lease meanwhile puts its address back, and one
    // that goes may take its address with it: set again, and only then judge.
    if (!AwaitAddress(host, request, ip, 0).empty()) {
        std::string error = run();
        if (error.empty()) error = WithoutFullStop(AwaitAddress(host, request, ip, 0));
        if (!error.empty()) return RolledBack(host, snapshot, name, ip, error);
    }
    return "";
}

std::string ApplyDhcp(IBridgeHost& host, const TNetshRequest& request, const std::string& ip) {
    const std::string& name = request.Name;
    // A client serves it already: a second one would fight it for the lease.
    std::vector<TClientProcess> others;
    OtherClients(host, name, others);
    bool served = !others.empty();
    for (const std::string& file : ClientPidFiles(name))
        if (LivePid(host, file, PidFileTool(file))) served = true;
    if (served) return DhcpAlreadyEnabledText;
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
    std::string pidBefore;
    const bool hadPidFile = host.ReadText(DhcpcdPidFile(name), pidBefore);
    // A second of the time left is kept for the check after the client.
    const TRunResult started =
        host.Run(DhcpClientStart(client, name, host.RemainingMs() / 1000 - 1));
    if (tool == "dhcpcd") {
        // dhcpcd keeps its own pid file; the bridge's copy marks it as its
        // own, where this start wrote it.
        std::string pid;
        if (host.ReadText(DhcpcdPidFile(name), pid) && (!hadPidFile || pid != pidBefore)) {
            host.Remove(ClientPidFile(tool, name));
            host.WriteNew(ClientPidFile(tool, name), pid);
        }
    }
    std::string reason;
    if (started.TimedOut)
        reason = "The DHCP client " + tool + " got no lease for " + name + " in the " +
                 std::to_string(host.StepsLimitMs() / 1000) + " s the bridge gives it";
    else if (started.Code != 0)
        reason = "The DHCP client " + tool + " got no lease for " + name +
                 (FirstLine(started.Output).empty() ? "" : ": " + FirstLine(started.Output));
    else
        reason = WithoutFullStop(AwaitAddress(host, request, ip, 5000));
    if (reason.empty()) return "";
    host.EnterRollback();
    StopOwnClients(host, name);
    return RolledBack(host, snapshot, name, ip, reason);
}

} // namespace

std::string StopOwnClients(IBridgeHost& host, const std::string& name) {
    const std::string kill = host.Find("kill");
    for (const std::string& file : ClientPidFiles(name)) {
        const std::string tool = PidFileTool(file);
        if (const int pid = LivePid(host, file, tool)) {
            if (kill.empty()) return "The host tool kill was not found to stop " + tool + ".";
            if (!StopProcess(host, kill, pid, tool))
                return "The DHCP client " + tool + " the bridge started for " + name + " (pid " +
                       std::to_string(pid) + ") could not be stopped.";
        }
        host.Remove(file);
    }
    return "";
}

std::string ApplyRequest(IBridgeHost& host, TNetshRequest request) {
    host.StartClock();
    std::string reason;
    if (!CheckRequest(request, reason)) return reason + " Nothing was changed.";
    const std::string& name = request.Name;
    // A name no host interface can have names no connection, as on Windows.
    if (!ValidInterfaceName(name)) return NoSuchConnectionText;
    const std::string ip = host.Find("ip");
    if (ip.empty()) return "The host tool ip (iproute2) was not found.";
    if (host.Run({ip, "-o", "link", "show", "dev", name}).Code != 0) return NoSuchConnectionText;

    std::string dhcpcdConfig;
    const TBackendFacts facts = ReadBackendFacts(host, name, dhcpcdConfig);
    if (facts.NmWithoutNmcli)
        return "NetworkManager runs on the host, but its nmcli was not found, so " + name +
               " was not changed behind its back.";
    const TBackend backend = DetectBackend(facts);
    // NetworkManager asks its own rules (polkit) and answers for itself;
    // everything else the bridge's commands do needs CAP_NET_ADMIN.
    if (backend != TBackend::NetworkManager) {
        const std::string cat = host.Find("cat");
        const TRunResult status = cat.empty() ? TRunResult{} : host.Run({cat, "/proc/self/status"});
        if (status.Code == 0 && !MayAdministerNetwork(status.Output)) return ElevationText;
    }
    if (request.Kind == TNetshRequest::TKind::AddAddress ||
        request.Kind == TNetshRequest::TKind::DeleteAddress)
        return ApplyAddressChange(host, request, backend, ip);
    const bool address = request.Kind == TNetshRequest::TKind::Address;
    switch (backend) {
    case TBackend::NetworkManager:
        return ApplyNetworkManager(host, request, facts.NmDevice, host.Find("nmcli"), ip);
    case TBackend::Networkd:
        return ApplyNetworkd(host, request, host.Find("networkctl"), ip);
    case TBackend::DhcpcdManager: {
        const std::string dhcpcd = host.Find("dhcpcd");
        if (dhcpcd.empty())
            return name + " is served by a dhcpcd manager, but dhcpcd was not found.";
        if (address && !request.Dhcp)
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
