#include "tools/netsh-bridge/AddressChange.h"

#include "base/AddressText.h"
#include "tools/netsh-bridge/IproutePlan.h"
#include "tools/netsh-bridge/NetworkdPlan.h"
#include "tools/netsh-bridge/NmPlan.h"
#include "tools/netsh-bridge/ResolverFile.h"

#include <sstream>

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

// The entry of `items` ("10.1.0.5/16") for `address`, or "".
std::string EntryOf(const std::vector<std::string>& items, const std::string& address) {
    for (const std::string& item : items)
        if (item.rfind(address + "/", 0) == 0) return item;
    return "";
}

std::string Reason(const TRunResult& run) {
    return run.TimedOut ? std::string("it did not answer in time") : FirstLine(run.Output);
}

// NetworkManager keeps the address in the profile it applies, as it keeps
// the set's own address: "+ipv4.addresses" or "-ipv4.addresses", then reapply.
std::string ApplyNetworkManagerChange(IBridgeHost& host, const TNetshRequest& request,
                                      const std::string& nmcli, const std::string& ip) {
    const bool add = request.Kind == TNetshRequest::TKind::AddAddress;
    const std::string& name = request.Name;
    const std::string managed = name + " is managed by NetworkManager; ";
    const TNmActive active = NmActiveProfile(host, nmcli, name);
    const std::string& uuid = active.Uuid;
    if (active.External)
        return managed + "its addresses were set outside it, so nothing was changed: apply a "
                         "static set first.";
    const TRunResult shown =
        host.Run({nmcli, "-g", "ipv4.method,ipv4.addresses", "connection", "show", uuid});
    std::istringstream in(shown.Output);
    std::string method, addresses;
    std::getline(in, method);
    std::getline(in, addresses);
    if (shown.Code != 0 || FirstLine(method) != "manual")
        return managed + "its profile is not static, so nothing was changed: apply a static set "
                         "first.";
    std::vector<std::string> items;
    std::string item;
    for (char c : addresses + ",") {
        if (c == ',') {
            if (!item.empty()) items.push_back(item);
            item.clear();
        } else if (c != ' ' && c != '\r') {
            item += c;
        }
    }
    const std::string entry = EntryOf(items, request.Address);
    if (add && !entry.empty()) return ObjectExistsText;
    if (!add && entry.empty()) return ElementNotFoundText;
    const THostCommand modify{nmcli,
                              "connection",
                              "modify",
                              uuid,
                              add ? "+ipv4.addresses" : "-ipv4.addresses",
                              add ? Wanted(request) : entry};
    const TRunResult changed = host.Run(modify);
    if (changed.Code != 0)
        return NmRefusesRights(changed.Output)
                   ? ElevationText
                   : managed + "its profile could not be changed: " + Reason(changed);
    std::string old;
    for (const std::string& i : items)
        old += (old.empty() ? "" : ",") + i;
    auto undo = [&](const std::string& reason) {
        host.EnterRollback();
        host.Run({nmcli, "connection", "modify", uuid, "ipv4.addresses", old});
        host.Run({nmcli, "device", "reapply", name});
        return reason + " The profile was put back.";
    };
    const TRunResult applied = host.Run({nmcli, "device", "reapply", name});
    if (applied.Code != 0)
        return undo(managed + "it could not apply the changed profile: " + Reason(applied) + ".");
    if (std::string diff = AwaitChange(host, request, ip, 10000); !diff.empty())
        return undo(managed + "the profile was applied, but " + diff);
    return "";
}

// networkd: the address is one more Address= line of the bridge's own
// drop-in, the one that holds the set's address.
std::string ApplyNetworkdChange(IBridgeHost& host, const TNetshRequest& request,
                                const std::string& networkctl, const std::string& ip) {
    const bool add = request.Kind == TNetshRequest::TKind::AddAddress;
    const std::string& name = request.Name;
    const std::string managed = name + " is managed by systemd-networkd; ";
    const std::string file =
        NetworkdNetworkFile(host.Run({networkctl, "status", "--no-pager", name}).Output);
    const std::string dropIn = file.empty() ? "" : NetworkdDropInPath(file, false);
    std::string old;
    if (dropIn.empty() || !host.ReadText(dropIn, old) ||
        old.find("\nDHCP=no\n") == std::string::npos)
        return managed + "its addresses are not the bridge's own, so nothing was changed: apply "
                         "a static set first.";
    std::vector<std::string> lines, listed;
    std::istringstream in(old);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
        if (line.rfind("Address=", 0) == 0) listed.push_back(line.substr(8));
    }
    const std::string entry = EntryOf(listed, request.Address);
    if (add && !entry.empty()) return ObjectExistsText;
    if (!add && entry.empty()) return ElementNotFoundText;
    std::string text;
    for (const std::string& line : lines)
        if (add || line != "Address=" + entry) text += line + "\n";
    if (add) text += "Address=" + Wanted(request) + "\n";
    auto reload = [&] {
        for (const THostCommand& step :
             {THostCommand{networkctl, "reload"}, THostCommand{networkctl, "reconfigure", name}})
            if (const TRunResult run = host.Run(step); run.Code != 0) return Reason(run);
        return std::string();
    };
    auto undo = [&](const std::string& reason) {
        host.EnterRollback();
        WriteResolverFile(host, dropIn, old, TResolverWay::Replace);
        reload();
        return reason + " The drop-in was put back.";
    };
    if (!WriteResolverFile(host, dropIn, text, TResolverWay::Replace).empty())
        return managed + "its drop-in " + dropIn + " could not be written.";
    if (std::string error = reload(); !error.empty())
        return undo(managed + "it refused the drop-in " + dropIn + ": " + error + ".");
    if (std::string diff = AwaitChange(host, request, ip, 10000); !diff.empty())
        return undo(managed + "the drop-in " + dropIn + " was applied, but " + diff);
    return "";
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
                               const std::string& ip) {
    switch (backend) {
    case TBackend::Iproute:
        return ApplyIproute(host, request, ip);
    case TBackend::NetworkManager:
        return ApplyNetworkManagerChange(host, request, host.Find("nmcli"), ip);
    case TBackend::Networkd:
        return ApplyNetworkdChange(host, request, host.Find("networkctl"), ip);
    case TBackend::DhcpcdManager:
        break;
    }
    return request.Name + " is served by a dhcpcd manager, which keeps one static address for "
                          "it; nothing was changed.";
}
