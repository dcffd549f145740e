#include "tools/netsh-bridge/AddressChange.h"

#include "base/AddressText.h"
#include "tools/netsh-bridge/IproutePlan.h"

namespace {

const TIPv4Address* Shown(const TIPv4State& state, const std::string& address) {
    for (const TIPv4Address& a : state.Addresses)
        if (a.Local == address) return &a;
    return nullptr;
}

std::string Wanted(const TNetshRequest& request) {
    return request.Address + "/" + std::to_string(MaskPrefixLength(request.Mask));
}

// Reads the interface until it shows the change or the time is up; "" or
// the last difference seen.
std::string AwaitChange(IBridgeHost& host, const TNetshRequest& request, const std::string& ip,
                        int milliseconds) {
    std::string diff = "the interface " + request.Name + " could not be read.";
    for (int waited = 0;; waited += 250) {
        TIPv4State state;
        if (ReadIPv4State(host, ip, request.Name, state)) {
            diff = AddressChangeDifference(request, state);
            if (diff.empty()) return diff;
        }
        if (waited >= milliseconds || host.RemainingMs() < 250) return diff;
        host.Pause(250);
    }
}

std::string ApplyIproute(IBridgeHost& host, const TNetshRequest& request, const std::string& ip) {
    const bool add = request.Kind == TNetshRequest::TKind::AddAddress;
    TIPv4State before;
    if (!ReadIPv4State(host, ip, request.Name, before))
        return "The state of " + request.Name +
               " could not be read with ip -j, so nothing was changed.";
    const TIPv4Address* shown = Shown(before, request.Address);
    if (add && shown) return ObjectExistsText;
    if (!add && !shown) return ElementNotFoundText;
    const THostCommand command = AddressChangeCommand(
        request, ip, add ? MaskPrefixLength(request.Mask) : shown->PrefixLength);
    const TRunResult run = host.Run(command);
    if (run.TimedOut) return CommandText(command) + " did not end in time.";
    if (run.Code != 0)
        return CommandText(command) + " failed" +
               (FirstLine(run.Output).empty() ? " with exit code " + std::to_string(run.Code)
                                              : ": " + FirstLine(run.Output)) +
               ".";
    return AwaitChange(host, request, ip, 2000);
}

} // namespace

THostCommand AddressChangeCommand(const TNetshRequest& request, const std::string& ip,
                                  int prefixLength) {
    const bool add = request.Kind == TNetshRequest::TKind::AddAddress;
    return {ip,
            "-4",
            "addr",
            add ? "add" : "del",
            request.Address + "/" + std::to_string(prefixLength),
            "dev",
            request.Name};
}

std::string AddressChangeDifference(const TNetshRequest& request, const TIPv4State& now) {
    const TIPv4Address* shown = Shown(now, request.Address);
    if (request.Kind == TNetshRequest::TKind::DeleteAddress)
        return shown ? request.Name + " still shows " + request.Address + "." : "";
    if (shown && shown->PrefixLength == MaskPrefixLength(request.Mask)) return "";
    return request.Name + " shows " + AddressesText(now.Addresses) + ", without " +
           Wanted(request) + ".";
}

std::string ApplyAddressChange(IBridgeHost& host, const TNetshRequest& request, TBackend backend,
                               const TBackendFacts&, const std::string& ip) {
    switch (backend) {
    case TBackend::Iproute:
        return ApplyIproute(host, request, ip);
    case TBackend::NetworkManager:
        return request.Name + " is managed by NetworkManager; the bridge adds or removes a "
                              "further address only where iproute2 alone sets addresses, so "
                              "nothing was changed.";
    case TBackend::Networkd:
        return request.Name + " is managed by systemd-networkd; the bridge adds or removes a "
                              "further address only where iproute2 alone sets addresses, so "
                              "nothing was changed.";
    case TBackend::DhcpcdManager:
        return request.Name + " is served by a dhcpcd manager; the bridge adds or removes a "
                              "further address only where iproute2 alone sets addresses, so "
                              "nothing was changed.";
    }
    return "";
}
