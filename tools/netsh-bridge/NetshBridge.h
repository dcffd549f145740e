#pragma once
// What every part of the netsh bridge shares: host commands (argument
// vectors, never a shell line), the check of a request before anything on
// the host changes, and the names the bridge keeps its own files under.
#include "activation/NetshCommand.h"

#include <string>
#include <vector>

using THostCommand = std::vector<std::string>;

// A Linux interface name: 1 to 15 printable characters, none of them a blank,
// '/', ':' or a quote, not starting with '-', and not "." or "..".
bool ValidInterfaceName(const std::string& name);

// Refuses a request no host could carry out sensibly (the program's own
// rules for a set, and for an added address: no 0.0.0.0/8, loopback, multicast, network or
// broadcast address, a contiguous mask, a gateway that is not the address) with the reason;
// otherwise writes its addresses in plain decimal, so "010.0.0.1" never reaches a tool that reads
// it as octal.
bool CheckRequest(TNetshRequest& request, std::string& reason);

// The folder of the bridge's own files on the host (DHCP clients' pid files,
// the name servers a static DNS set replaced).
inline const std::string BridgeRunDir = "/run/iptavix-netsh";

// Windows' netsh's own answers, given (with exit code 1, changing nothing)
// where it would give them.
inline const std::string DhcpAlreadyEnabledText = "DHCP is already enabled on this interface.";
inline const std::string NoSuchConnectionText =
    "The filename, directory name, or volume label syntax is incorrect.";
inline const std::string ElevationText =
    "The requested operation requires elevation (Run as administrator).";

// A host command as the user reads it in a message.
std::string CommandText(const THostCommand& command);
// The first line of a tool's output, without blanks around it; what a
// one-line reason quotes.
std::string FirstLine(const std::string& output);
