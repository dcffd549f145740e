#include "ipsets/CurrentConfiguration.h"

#include "adapters/IPInfo.h"

#include <utility>

namespace {
// The platform reports an adapter without an address as 0.0.0.0.
std::string AddressOrNone(const std::string& address) {
    return address == "0.0.0.0" ? std::string() : address;
}
} // namespace

TIPSetValues ConfigurationOfAdapter(const TAdapter& adapter, const std::string& connection) {
    TIPSetValues set;
    set.Connection = connection;
    set.Dhcp = adapter.DhcpEnabled();
    if (adapter.IPAddressCount() > 0) {
        set.Address = AddressOrNone(adapter.IPAddresses(0)->IpAddress());
        if (!set.Address.empty()) set.Mask = adapter.IPAddresses(0)->IpMask();
    }
    if (adapter.GatewayCount() > 0) set.Gateway = AddressOrNone(adapter.Gateways(0)->IpAddress());
    if (adapter.DnsServers.size() > 0) set.Dns = AddressOrNone(adapter.DnsServers[0]);
    if (adapter.DnsServers.size() > 1) set.Dns2 = AddressOrNone(adapter.DnsServers[1]);
    if (set.Dns.empty()) std::swap(set.Dns, set.Dns2);
    return set;
}
