#include "activation/ActivationCheck.h"

#include "activation/ExtraAddresses.h"
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

bool Automatic(const std::string& address) {
    const TParsedIP parsed = ParseIPText(address);
    return parsed.Valid && (AddressValue(parsed) & 0xFFFF0000u) == 0xA9FE0000u; // 169.254.0.0/16
}

// The automatic address Windows gives itself when no DHCP server answers or
// its static address is in use elsewhere; "" when it shows none.
std::string AutomaticAddress(const TAdapterView& adapter) {
    for (const auto& entry : adapter.Addresses)
        if (Automatic(entry.first)) return entry.first;
    return "";
}

std::vector<std::string> Shown(const std::vector<std::string>& addresses) {
    std::vector<std::string> shown;
    for (const std::string& address : addresses)
        if (!address.empty() && address != "0.0.0.0") shown.push_back(address);
    return shown;
}

// "the default gateway 10.0.0.1" or "the default gateways 10.0.0.1, 10.0.0.2".
std::string Named(const char* one, const char* many, const std::vector<std::string>& items) {
    return Format("the %s %s", items.size() == 1 ? one : many, Joined(items).c_str());
}

// The first thing the adapter shows otherwise than the set, as "it shows X,
// not Y" or "it still shows X as well"; "" when it shows the set exactly.
std::string StaticMismatch(const TIPSetValues& set, const TAdapterView& adapter) {
    auto shows = [&](const TAddressPair& pair) {
        for (const auto& [address, mask] : adapter.Addresses)
            if (SameAddress(address, pair.first) && SameAddress(mask, pair.second)) return true;
        return false;
    };
    if (!shows({set.Address, set.Mask})) {
        std::string text =
            Format("it shows %s, not %s/%s", AddressesText(adapter).c_str(),
                   NormalizedAddress(set.Address).c_str(), NormalizedAddress(set.Mask).c_str());
        if (!AutomaticAddress(adapter).empty())
            text += " (Windows takes an address of 169.254.0.0/16 when the one it was given is in "
                    "use by another computer)";
        return text;
    }
    // Every extra address, and no address the set does not hold.
    std::vector<TAddressPair> extra;
    ParseExtraAddresses(set.ExtraAddresses, extra);
    for (const TAddressPair& pair : extra)
        if (!shows(pair))
            return Format("it shows %s, without the extra address %s/%s",
                          AddressesText(adapter).c_str(), NormalizedAddress(pair.first).c_str(),
                          NormalizedAddress(pair.second).c_str());
    extra.emplace_back(set.Address, set.Mask);
    std::vector<std::string> leftovers;
    for (const auto& [address, mask] : adapter.Addresses) {
        if (address.empty() || address == "0.0.0.0") continue;
        bool held = false;
        for (const TAddressPair& pair : extra)
            held = held || (SameAddress(address, pair.first) && SameAddress(mask, pair.second));
        if (!held) leftovers.push_back(address + "/" + mask);
    }
    if (!leftovers.empty())
        return Format("it still shows %s %s as well, which the set does not hold",
                      leftovers.size() == 1 ? "the address" : "the addresses",
                      Joined(leftovers).c_str());
    // The set's gateway must be the connection's only default gateway: an
    // old one left beside it sends traffic the wrong way.
    const std::vector<std::string> gateways = Shown(adapter.Gateways);
    std::vector<std::string> others;
    for (const std::string& gateway : gateways)
        if (set.Gateway.empty() || !SameAddress(gateway, set.Gateway)) others.push_back(gateway);
    if (!set.Gateway.empty() && others.size() == gateways.size())
        return Format("it shows the gateway %s, not %s",
                      gateways.empty() ? "none" : Joined(gateways).c_str(),
                      NormalizedAddress(set.Gateway).c_str());
    if (!others.empty())
        return Format("it still shows %s%s",
                      Named("default gateway", "default gateways", others).c_str(),
                      set.Gateway.empty() ? ", and the set has none" : " as well");
    // The set's servers first and in order. Servers after them are not
    // judged: Wine goes on reporting the resolver's servers after
    // "set dns ... none" has emptied it. Servers nobody can read are never
    // called wrong.
    if (adapter.DnsUnknown) return "";
    std::vector<std::string> servers;
    for (const std::string* server : {&set.Dns, &set.Dns2})
        if (!server->empty()) servers.push_back(*server);
    const std::vector<std::string> shownServers = Shown(adapter.DnsServers);
    for (size_t position = 0; position < servers.size(); ++position) {
        if (shownServers.size() > position &&
            SameAddress(shownServers[position], servers[position]))
            continue;
        return Format("it shows the DNS servers %s, not %s %s",
                      shownServers.empty() ? "none" : Joined(shownServers).c_str(),
                      NormalizedAddress(servers[position]).c_str(),
                      position == 0 ? "first" : "second");
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
    // Without a link only the DHCP switch can be seen; a DHCP set the
    // connection shows off is not stored, whatever netsh said.
    if (!adapter->OperUp && !(set.Dhcp && !adapter->Dhcp)) {
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
        } else if (const std::string automatic = AutomaticAddress(*adapter); !automatic.empty()) {
            result.Text = Format("The IP set \"%s\" turned DHCP on for the connection \"%s\", but "
                                 "no DHCP server answered: it shows the automatic address %s, "
                                 "which Windows takes when none does.",
                                 set.Name.c_str(), set.Connection.c_str(), automatic.c_str());
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
        if (adapter->DnsUnknown && !(set.Dns.empty() && set.Dns2.empty()))
            result.Text = Format("The IP set \"%s\" is in effect on the connection \"%s\", but "
                                 "its DNS servers could not be checked: this computer asks a "
                                 "local resolver, which does not tell the servers behind it.",
                                 set.Name.c_str(), set.Connection.c_str());
        return result;
    }
    result.Text = Format("The IP set \"%s\" is not in effect on the connection \"%s\": %s.",
                         set.Name.c_str(), set.Connection.c_str(), mismatch.c_str());
    return result;
}

const TIPSetValues* SetInEffect(const std::vector<TIPSetValues>& sets,
                                const std::string& connection, const TAdapterView& adapter) {
    for (const TIPSetValues& set : sets)
        if (SameText(set.Connection, connection) &&
            CheckActivation(set, &adapter).Outcome == TCheckOutcome::InEffect)
            return &set;
    return nullptr;
}
