#pragma once
// What the netsh bridge does on a Linux host for one netsh request: the host
// commands it runs (argument vectors, never a shell line) and the new text of
// the resolver file. No platform calls here, so a test can check each plan.
#include "ipsets/NetshCommand.h"

#include <string>
#include <vector>

using THostCommand = std::vector<std::string>;

// A Linux interface name: 1 to 15 printable characters, none of them a blank,
// '/', ':' or a quote, not starting with '-', and not "." or "..".
bool ValidInterfaceName(const std::string& name);

// The DHCP clients tried, in order; the first found on the host is used.
const std::vector<std::string>& DhcpClients();

// The host commands of "set address". `ip` and `dhcpClient` are the tools'
// paths on the host; `dhcpClient` is used only for a DHCP request.
std::vector<THostCommand> AddressPlan(const TNetshRequest& request, const std::string& ip,
                                      const std::string& dhcpClient);

// resolv.conf with its nameserver lines replaced by one for `dns` (none when
// `dns` is empty); every other line is kept, in its place.
std::string WithNameServer(const std::string& resolvConf, const std::string& dns);

// The command that sets the DNS server through systemd-resolved's resolvectl.
THostCommand ResolvectlPlan(const TNetshRequest& request, const std::string& resolvectl);

// A host command as the user reads it in a message.
std::string CommandText(const THostCommand& command);
