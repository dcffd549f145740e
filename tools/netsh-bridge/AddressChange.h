#pragma once
// "add address" and "delete address": one address put on or taken off an
// interface beside those it has, through whoever manages it, and read back.
#include "tools/netsh-bridge/Backend.h"
#include "tools/netsh-bridge/BridgeHost.h"
#include "tools/netsh-bridge/IpState.h"

// Windows' netsh's answers for an address that is there already, or not there.
inline const std::string ObjectExistsText = "The object already exists.";
inline const std::string ElementNotFoundText = "Element not found.";

// The iproute2 command of a change (the prefix length from the mask, or for
// a deletion the one the interface shows the address with).
THostCommand AddressChangeCommand(const TNetshRequest& request, const std::string& ip,
                                  int prefixLength);

// What the interface shows otherwise than the change asked, as one line, or
// "" when it shows the added address (with its mask) or no longer the deleted one.
std::string AddressChangeDifference(const TNetshRequest& request, const TIPv4State& now);

// The change carried out through whoever manages the interface: iproute2
// where nobody does, NetworkManager's profile, networkd's drop-in of the
// bridge (each put back when the interface does not show the change); a
// dhcpcd manager's is refused. "" or the one-line reason.
std::string ApplyAddressChange(IBridgeHost& host, const TNetshRequest& request, TBackend backend,
                               const std::string& ip);
