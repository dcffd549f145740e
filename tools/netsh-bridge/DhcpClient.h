#pragma once
// The DHCP client the bridge starts where no manager serves the interface:
// one per interface, left running as a daemon so the lease is renewed, with a
// pid file of the bridge's own, and stopped before a static set or a new
// request.
#include "tools/netsh-bridge/NetshBridge.h"

// The clients tried, in order; the first found on the host is used.
const std::vector<std::string>& DhcpClients();

// The pid file the bridge keeps for `tool` (a client's name or path) serving
// interface `name`: BridgeRunDir/TOOL-NAME.pid.
std::string ClientPidFile(const std::string& tool, const std::string& name);

// Every pid file the bridge may have left for the interface, one per client.
std::vector<std::string> ClientPidFiles(const std::string& name);

// Starts `client` (its path) for the interface: it waits for a lease at most
// `seconds` (dhclient has no such bound; the run's deadline ends it), fails
// when none came, and stays in the background otherwise. dhcpcd keeps its own
// pid file (DhcpcdPidFile), which the bridge copies when it wrote it anew.
THostCommand DhcpClientStart(const std::string& client, const std::string& name, int seconds);
std::string DhcpcdPidFile(const std::string& name);

// True when /proc/PID/comm's text names `tool`: a pid file never makes the
// bridge stop a process that is not the client it started.
bool IsClientProcess(const std::string& commText, const std::string& pidFile);

// A pid file's number, or 0 when it holds none.
int PidFromText(const std::string& text);

// A DHCP client process, whoever started it.
struct TClientProcess {
    int Pid = 0;
    std::string Tool;        // its process name: dhclient, dhcpcd or udhcpc
    std::string CommandLine; // as ps shows it
};
// The lines of `ps -e -o pid=,ppid=,comm=,args=` that are DHCP clients
// serving interface `name`: the name, or a pid or lease file named after it,
// among their arguments (ifupdown's "dhclient ... -pf /run/dhclient.eth0.pid
// ... eth0", "dhcpcd: eth0 [ip4]"). A client's own helper processes
// (dhcpcd's proxies) are left out: the client they serve is the one listed.
std::vector<TClientProcess> ClientsServing(const std::string& psOutput, const std::string& name);
// The network manager whose client this is, by the folders on its command
// line ("NetworkManager"), or "".
std::string ClientManager(const TClientProcess& client);
