#pragma once
// systemd-resolved holds the name servers per link: set with resolvectl, and
// given back to the link's DHCP lease with "resolvectl revert".
#include "tools/netsh-bridge/BridgeHost.h"

// The servers of `resolvectl dns NAME` ("Link 2 (eth0): 10.0.0.1 10.0.0.2").
std::vector<std::string> ResolvectlServers(const std::string& output);
// The command of a DNS request; `current`: the link's servers now.
THostCommand ResolvectlPlan(const TNetshRequest& request, const std::string& resolvectl,
                            const std::vector<std::string>& current);
std::string ApplyResolved(IBridgeHost& host, const TNetshRequest& request,
                          const std::string& resolvectl);
