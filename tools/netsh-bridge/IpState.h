#pragma once
// An interface's IPv4 state as iproute2 reports it (`ip -j`): read from the
// tool's JSON, turned back into the commands that restore it, and compared
// with what a set asked for.
#include "tools/netsh-bridge/NetshBridge.h"

#include <string>
#include <vector>

struct TIPv4Address {
    std::string Local; // "10.0.0.5"
    int PrefixLength = 0;
    std::string Broadcast; // "" when not set
    bool Dynamic = false;  // a lifetime of its own: a lease's address
    long long ValidLifetime = -1, PreferredLifetime = -1; // seconds left; -1 forever
};

struct TIPv4Route {
    std::string Destination; // "default" or "10.0.0.0/24"
    std::string Gateway;     // "" when on-link
    std::string Protocol;    // "" when iproute2 leaves it out ("boot")
    std::string Scope;
    std::string Source;
    long long Metric = -1; // -1 when not given
    bool OnLink = false;
};

struct TIPv4State {
    std::vector<TIPv4Address> Addresses;
    std::vector<TIPv4Route> Routes;
};

// `ip -j -4 addr show dev IF` and `ip -j -4 route show table main dev IF`;
// false when a text is not the JSON iproute2 writes.
bool ParseAddressJson(const std::string& json, std::vector<TIPv4Address>& addresses);
bool ParseRouteJson(const std::string& json, std::vector<TIPv4Route>& routes);

// The commands that put `state` back on the interface: its addresses (a
// lease's with the lifetime it had left, so it stays a lease) and the routes
// the kernel does not make by itself.
std::vector<THostCommand> RestorePlan(const TIPv4State& state, const std::string& name,
                                      const std::string& ip);

// "10.0.0.5/24, 10.0.0.6/24" (or "no IPv4 address"), as a message shows it.
std::string AddressesText(const std::vector<TIPv4Address>& addresses);
// The default routes' gateways, in order.
std::vector<std::string> DefaultGateways(const std::vector<TIPv4Route>& routes);
