#pragma once
// A dhcpcd manager (one dhcpcd serving every interface, as Arch runs it)
// owns the interface: the bridge writes a block of its own into the
// manager's configuration and has it rebind the interface. No second client
// is started, and "set address ... dhcp" is the manager's own DHCP again.
#include "tools/netsh-bridge/BridgeHost.h"

// The manager's pid files (dhcpcd 9, then older ones).
const std::vector<std::string>& DhcpcdManagerPidFiles();
// The configuration file of the manager's command line (/proc/PID/cmdline:
// arguments ended by NUL), /etc/dhcpcd.conf when it names none (dhcpcd 9
// writes its title over its arguments, so the default is what it reads there).
std::string DhcpcdConfigPath(const std::string& cmdline);

// The configuration with the bridge's block for the interface changed by
// `request` and moved to the end (an "interface" block runs to the next one
// or the end); the block goes when nothing static is left in it.
std::string DhcpcdConfigWith(const std::string& config, const TNetshRequest& request);

std::string ApplyDhcpcdManager(IBridgeHost& host, const TNetshRequest& request,
                               const std::string& dhcpcd, const std::string& configPath,
                               const std::string& ip);
