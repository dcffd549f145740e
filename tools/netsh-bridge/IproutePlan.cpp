#include "tools/netsh-bridge/IproutePlan.h"

#include "base/AddressText.h"

namespace {

std::string PrefixText(const TNetshRequest& request) {
    return std::to_string(MaskPrefixLength(request.Mask));
}

} // namespace

std::vector<THostCommand> StaticAddressPlan(const TNetshRequest& request, const std::string& ip) {
    const std::string& name = request.Name;
    std::vector<THostCommand> plan{
        {ip, "link", "set", "dev", name, "up"},
        {ip, "-4", "addr", "flush", "dev", name},
        {ip, "-4", "addr", "add", request.Address + "/" + PrefixText(request), "dev", name},
        {ip, "-4", "route", "flush", "exact", "0.0.0.0/0", "dev", name}};
    // "append": "add" fails with "File exists" when another interface holds a
    // default route of the same metric.
    if (!request.Gateway.empty())
        plan.push_back({ip, "-4", "route", "append", "default", "via", request.Gateway, "dev", name,
                        "metric", std::to_string(request.GatewayMetric)});
    return plan;
}

std::vector<THostCommand> DhcpAddressPlan(const TNetshRequest& request, const std::string& ip) {
    return {{ip, "link", "set", "dev", request.Name, "up"},
            {ip, "-4", "addr", "flush", "dev", request.Name}};
}

std::string StaticDifference(const TNetshRequest& request, const TIPv4State& now) {
    const std::string wanted = request.Address + "/" + PrefixText(request);
    if (now.Addresses.size() != 1 || AddressesText(now.Addresses) != wanted)
        return request.Name + " shows " + AddressesText(now.Addresses) + " instead of " + wanted +
               ".";
    const std::vector<std::string> gateways = DefaultGateways(now.Routes);
    const std::vector<std::string> expected = request.Gateway.empty()
                                                  ? std::vector<std::string>{}
                                                  : std::vector<std::string>{request.Gateway};
    if (gateways != expected) {
        std::string shown;
        for (const std::string& g : gateways)
            shown += (shown.empty() ? "" : ", ") + g;
        return request.Name + " shows " +
               (shown.empty() ? "no default route" : "a default route via " + shown) +
               (request.Gateway.empty() ? " where the set has no gateway."
                                        : " instead of one via " + request.Gateway + ".");
    }
    return "";
}

bool ReadIPv4State(IBridgeHost& host, const std::string& ip, const std::string& name,
                   TIPv4State& state) {
    const TRunResult addresses = host.Run({ip, "-j", "-4", "addr", "show", "dev", name});
    const TRunResult routes =
        host.Run({ip, "-j", "-4", "route", "show", "table", "main", "dev", name});
    return addresses.Code == 0 && routes.Code == 0 &&
           ParseAddressJson(addresses.Output, state.Addresses) &&
           ParseRouteJson(routes.Output, state.Routes);
}

std::string AwaitAddress(IBridgeHost& host, const TNetshRequest& request, const std::string& ip,
                         int milliseconds) {
    std::string diff = "the interface " + request.Name + " could not be read.";
    for (int waited = 0;; waited += 500) {
        TIPv4State state;
        if (ReadIPv4State(host, ip, request.Name, state)) {
            diff = !request.Dhcp             ? StaticDifference(request, state)
                   : state.Addresses.empty() ? request.Name + " has no DHCP lease."
                                             : "";
            if (diff.empty() || waited >= milliseconds) return diff;
        } else if (waited >= milliseconds) {
            return diff;
        }
        // The run's deadline ends the wait too.
        if (host.RemainingMs() < 500) return diff;
        host.Pause(500);
    }
}

std::string AwaitLease(IBridgeHost& host, const std::string& name, const std::string& ip,
                       const THostCommand& leaseQuery, std::string (*lease)(const std::string&),
                       int milliseconds) {
    std::string shown = "no IPv4 address";
    for (int waited = 0;; waited += 500) {
        const std::string address = lease ? lease(host.Run(leaseQuery).Output) : "";
        TIPv4State state;
        if (ReadIPv4State(host, ip, name, state)) {
            shown = AddressesText(state.Addresses);
            if (state.Addresses.size() == 1 &&
                (lease ? !address.empty() && state.Addresses[0].Local == address
                       : state.Addresses[0].Dynamic))
                return "";
        }
        if (waited >= milliseconds || host.RemainingMs() < 500)
            return name + " shows " + shown + " instead of the address of a DHCP lease.";
        host.Pause(500);
    }
}
