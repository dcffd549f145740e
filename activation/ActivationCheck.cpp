#include "activation/ActivationCheck.h"

#include "base/AddressText.h"
#include "base/SysUtils.h"

namespace {

// Compared as numbers, so "010" on either side means ten.
bool SameAddress(const std::string& a, const std::string& b) {
    const TParsedIP pa = ParseIPText(a), pb = ParseIPText(b);
    return pa.Valid && pb.Valid && AddressValue(pa) == AddressValue(pb);
}

bool Leased(const std::string& address) {
    const TParsedIP parsed = ParseIPText(address);
    if (!parsed.Valid) return false;
    const uint32_t value = AddressValue(parsed);
    return value != 0 && (value & 0xFFFF0000u) != 0xA9FE0000u; // not 169.254.0.0/16
}

std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items)
        out += (out.empty() ? "" : ", ") + item;
    return out;
}

std::string AddressesText(const TAdapterView& adapter) {
    std::vector<std::string> shown;
    for (const auto& [address, mask] : adapter.Addresses)
        if (!address.empty() && address != "0.0.0.0") shown.push_back(address + "/" + mask);
    return shown.empty() ? "no address" : Joined(shown);
}

// The first thing the adapter shows otherwise than the set, as "it shows X, not Y".
std::string StaticMismatch(const TIPSetValues& set, const TAdapterView& adapter) {
    bool addressShown = false;
    for (const auto& [address, mask] : adapter.Addresses)
        if (SameAddress(address, set.Address) && SameAddress(mask, set.Mask)) addressShown = true;
    if (!addressShown)
        return Format("it shows %s, not %s/%s", AddressesText(adapter).c_str(),
                      NormalizedAddress(set.Address).c_str(), NormalizedAddress(set.Mask).c_str());
    if (!set.Gateway.empty()) {
        bool gatewayShown = false;
        std::vector<std::string> gateways;
        for (const std::string& gateway : adapter.Gateways) {
            if (SameAddress(gateway, set.Gateway)) gatewayShown = true;
            if (!gateway.empty() && gateway != "0.0.0.0") gateways.push_back(gateway);
        }
        if (!gatewayShown)
            return Format("it shows the gateway %s, not %s",
                          gateways.empty() ? "none" : Joined(gateways).c_str(),
                          NormalizedAddress(set.Gateway).c_str());
    }
    const std::pair<const std::string*, size_t> servers[] = {{&set.Dns, 0}, {&set.Dns2, 1}};
    for (const auto& [server, position] : servers) {
        // Servers nobody can read are never called wrong.
        if (server->empty() || adapter.DnsUnknown) continue;
        if (adapter.DnsServers.size() > position &&
            SameAddress(adapter.DnsServers[position], *server))
            continue;
        return Format("it shows the DNS servers %s, not %s %s",
                      adapter.DnsServers.empty() ? "none" : Joined(adapter.DnsServers).c_str(),
                      NormalizedAddress(*server).c_str(), position == 0 ? "first" : "second");
    }
    return "";
}

} // namespace

unsigned CheckLimitMs(const TIPSetValues& set) {
    return set.Dhcp ? 30000 : 10000;
}

TCheckResult CheckActivation(const TIPSetValues& set, const TAdapterView* adapter) {
    TCheckResult result;
    if (!adapter) {
        result.Outcome = TCheckOutcome::NoAdapter;
        result.Text = Format("The IP set \"%s\" could not be checked: no network adapter is the "
                             "connection \"%s\" now (it may be disabled or removed).",
                             set.Name.c_str(), set.Connection.c_str());
        return result;
    }
    if (!adapter->OperUp) {
        result.Outcome = TCheckOutcome::NoLink;
        result.Text = Format("The IP set \"%s\" is stored in the connection \"%s\", which is not "
                             "connected now (no cable or no wireless network). It takes effect "
                             "when the connection connects.",
                             set.Name.c_str(), set.Connection.c_str());
        return result;
    }
    if (set.Dhcp) {
        bool leased = false;
        for (const auto& entry : adapter->Addresses)
            if (Leased(entry.first)) leased = true;
        if (adapter->Dhcp && leased) {
            result.Outcome = TCheckOutcome::InEffect;
        } else if (!adapter->Dhcp) {
            result.Text =
                Format("The IP set \"%s\" is not in effect on the connection \"%s\": it "
                       "shows DHCP off and %s.",
                       set.Name.c_str(), set.Connection.c_str(), AddressesText(*adapter).c_str());
        } else {
            result.Text = Format("The IP set \"%s\" turned DHCP on for the connection \"%s\", but "
                                 "no address was leased within %u seconds: no DHCP server "
                                 "answered. It shows %s.",
                                 set.Name.c_str(), set.Connection.c_str(), CheckLimitMs(set) / 1000,
                                 AddressesText(*adapter).c_str());
        }
        return result;
    }
    const std::string mismatch = StaticMismatch(set, *adapter);
    if (mismatch.empty()) {
        result.Outcome = TCheckOutcome::InEffect;
        return result;
    }
    result.Text = Format("The IP set \"%s\" is not in effect on the connection \"%s\": %s.",
                         set.Name.c_str(), set.Connection.c_str(), mismatch.c_str());
    return result;
}
