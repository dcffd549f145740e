#pragma once
// A set applied with iproute2 alone, where no manager owns the interface.
// The bridge takes a snapshot first (IpState.h) and restores it when a step
// fails, so the interface is never left without its addresses.
#include "tools/netsh-bridge/BridgeHost.h"
#include "tools/netsh-bridge/IpState.h"

// "set address ... static": the interface's IPv4 addresses replaced by the
// set's, its own default routes by one via the gateway, appended so that it
// stands beside other interfaces' default routes of the same metric.
std::vector<THostCommand> StaticAddressPlan(const TNetshRequest& request, const std::string& ip);

// The interface made ready for a DHCP client: up, without IPv4 addresses.
std::vector<THostCommand> DhcpAddressPlan(const TNetshRequest& request, const std::string& ip);

// What the interface shows that differs from the static set, as one line
// ("ipt0 shows 10.0.0.9/24 instead of 10.0.0.5/24"), or "" when it holds
// exactly the set's address and default route.
std::string StaticDifference(const TNetshRequest& request, const TIPv4State& now);

// The interface's addresses and main-table routes, read with `ip -j`.
bool ReadIPv4State(IBridgeHost& host, const std::string& ip, const std::string& name,
                   TIPv4State& state);
// Waits up to `milliseconds` (and never past the run's deadline) for the
// interface to show the set (for DHCP: an address); "" or the last
// difference seen.
std::string AwaitAddress(IBridgeHost& host, const TNetshRequest& request, const std::string& ip,
                         int milliseconds);

// Waits up to `milliseconds` (and never past the run's deadline) for the
// interface to hold the address of its DHCP lease and no other; `lease` reads
// the lease's address ("" while there is none). Without a `lease` reader, one
// address with a lifetime of its own (as DHCP clients add them) is the
// lease's. "" or what the interface shows.
std::string AwaitLease(IBridgeHost& host, const std::string& name, const std::string& ip,
                       const THostCommand& leaseQuery, std::string (*lease)(const std::string&),
                       int milliseconds);
