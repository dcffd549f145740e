#pragma once
// Who manages an interface, found before anything changes: NetworkManager
// (running, the device not unmanaged), systemd-networkd (the link's setup
// state not unmanaged), a dhcpcd manager, or nobody (iproute2 alone).
#include "tools/netsh-bridge/BridgeHost.h"
#include "tools/netsh-bridge/NmPlan.h"

enum class TBackend { NetworkManager, Networkd, DhcpcdManager, Iproute };

struct TBackendFacts {
    bool NmRunning = false;
    TNmDevice NmDevice;
    std::string NetworkdSetup; // "" when networkd does not list the link
    bool DhcpcdManager = false;
    bool NmWithoutNmcli = false; // NetworkManager runs, but its nmcli is missing
};
TBackend DetectBackend(const TBackendFacts& facts);

// The facts as the host's tools tell them; a tool that is missing or not
// running says "not this one". `dhcpcdConfig` gets the manager's file.
TBackendFacts ReadBackendFacts(IBridgeHost& host, const std::string& name,
                               std::string& dhcpcdConfig);
// A pid file's process, when it is alive and its name is `comm`; else 0.
int LivePid(IBridgeHost& host, const std::string& pidFile, const std::string& comm);

// True when /proc/PID/status shows CAP_NET_ADMIN among the effective
// capabilities: what Windows calls an elevated netsh. A text without a
// CapEff line gives nothing to go by and counts as true.
bool MayAdministerNetwork(const std::string& procStatus);
