#include "ipsets/CurrentConfiguration.h"

#include "activation/ExtraAddresses.h"
#include "adapters/IPInfo.h"

#include <utility>

#include <windows.h>

namespace {
// The platform reports an adapter without an address as 0.0.0.0.
std::string AddressOrNone(const std::string& address) {
    return address == "0.0.0.0" ? std::string() : address;
}

// Wine reports DHCP as on for every adapter; there only an adapter with a
// DHCP server is taken to use DHCP, so a static one is put back as static.
bool UsesDhcp(const TAdapter& adapter) {
    static const bool wine =
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    if (!wine) return adapter.DhcpEnabled();
    const std::string server = adapter.DhcpServer() ? adapter.DhcpServer()->IpAddress() : "";
    return adapter.DhcpEnabled() && !AddressOrNone(server).empty() && server != "255.255.255.255";
}
} // namespace

TIPSetValues ConfigurationOfAdapter(const TAdapter& adapter, const std::string& connection) {
    TIPSetValues set;
    set.Connection = connection;
    set.Dhcp = UsesDhcp(adapter);
    if (adapter.IPAddressCount() > 0) {
        set.Address = AddressOrNone(adapter.IPAddresses(0)->IpAddress());
        if (!set.Address.empty()) set.Mask = adapter.IPAddresses(0)->IpMask();
    }
    // The further addresses, so that an undo puts them back too.
    std::vector<TAddressPair> extra;
    for (int k = 1; k < adapter.IPAddressCount() && extra.size() < MaxExtraAddresses; ++k) {
        const std::string address = AddressOrNone(adapter.IPAddresses(k)->IpAddress());
        if (!address.empty() && !set.Address.empty() && !set.Dhcp)
            extra.emplace_back(address, adapter.IPAddresses(k)->IpMask());
    }
    set.ExtraAddresses = ExtraAddressesText(extra);
    if (adapter.GatewayCount() > 0) set.Gateway = AddressOrNone(adapter.Gateways(0)->IpAddress());
    if (adapter.DnsServers.size() > 0) set.Dns = AddressOrNone(adapter.DnsServers[0]);
    if (adapter.DnsServers.size() > 1) set.Dns2 = AddressOrNone(adapter.DnsServers[1]);
    if (set.Dns.empty()) std::swap(set.Dns, set.Dns2);
    return set;
}
