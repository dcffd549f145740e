#pragma once
// One netsh request carried out on the host: checked, given to whoever
// manages the interface, and read back before it counts as done. Where no
// manager owns the interface, a failure puts back the addresses and routes
// it had.
#include "tools/netsh-bridge/BridgeHost.h"

// "" when the request was applied and the host shows it; else the one-line
// reason, which netsh prints for the program's failure box.
std::string ApplyRequest(IBridgeHost& host, TNetshRequest request);

// Stops every DHCP client the bridge started for the interface; "" or why
// one could not be stopped.
std::string StopOwnClients(IBridgeHost& host, const std::string& name);
