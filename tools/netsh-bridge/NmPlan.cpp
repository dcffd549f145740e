#include "tools/netsh-bridge/NmPlan.h"

#include "base/AddressText.h"
#include "tools/netsh-bridge/IproutePlan.h"
#include "tools/netsh-bridge/ResolverFile.h"

#include <algorithm>
#include <sstream>

std::vector<std::string> NmTerseFields(const std::string& line) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            fields.back() += line[++i];
        } else if (line[i] == ':') {
            fields.emplace_back();
        } else if (line[i] != '\r') {
            fields.back() += line[i];
        }
    }
    return fields;
}

std::map<std::string, std::string> NmFieldMap(const std::string& output) {
    std::map<std::string, std::string> fields;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        const size_t colon = line.find(':');
        if (colon != std::string::npos) fields[line.substr(0, colon)] = line.substr(colon + 1);
    }
    return fields;
}

TNmDevice NmDeviceOf(const std::string& deviceList, const std::string& name) {
    std::istringstream in(deviceList);
    std::string line;
    while (std::getline(in, line)) {
        const std::vector<std::string> f = NmTerseFields(line);
        if (f.size() >= 4 && f[0] == name) return {true, f[1], f[2], f[3]};
    }
    return {};
}

bool NmManages(const TNmDevice& device) {
    return device.Listed && device.State != "unmanaged";
}

TNmActive NmActiveProfile(IBridgeHost& host, const std::string& nmcli, const std::string& name) {
    const std::map<std::string, std::string> general = NmFieldMap(
        host.Run({nmcli, "-t", "-f", "GENERAL.CON-UUID,GENERAL.STATE", "device", "show", name})
            .Output);
    auto field = [&](const char* key) {
        auto it = general.find(key);
        return it == general.end() ? std::string() : it->second;
    };
    TNmActive active;
    active.Uuid = field("GENERAL.CON-UUID");
    active.External =
        active.Uuid.empty() || field("GENERAL.STATE").find("extern") != std::string::npos;
    return active;
}

std::string NmOwnProfileName(const std::string& name) {
    return "IPTavix " + name;
}

std::string NmProfileUuid(const std::string& connectionList, const std::string& profileName) {
    std::istringstream in(connectionList);
    std::string line;
    while (std::getline(in, line)) {
        const std::vector<std::string> f = NmTerseFields(line);
        if (f.size() >= 2 && f[0] == profileName) return f[1];
    }
    return "";
}

std::vector<std::string> NmSettings(const TNetshRequest& request,
                                    const std::vector<std::string>& currentDns) {
    if (request.Kind == TNetshRequest::TKind::Address) {
        if (request.Dhcp) return {"ipv4.method", "auto", "ipv4.addresses", "", "ipv4.gateway", ""};
        return {"ipv4.method",
                "manual",
                "ipv4.addresses",
                request.Address + "/" + std::to_string(MaskPrefixLength(request.Mask)),
                "ipv4.gateway",
                request.Gateway};
    }
    if (request.Dhcp) return {"ipv4.dns", "", "ipv4.ignore-auto-dns", "no"};
    std::string servers;
    for (const std::string& s : RequestedServers(request, currentDns))
        servers += (servers.empty() ? "" : ",") + s;
    return {"ipv4.dns", servers, "ipv4.ignore-auto-dns", "yes"};
}

const std::vector<std::string>& NmCheckedFields() {
    static const std::vector<std::string> fields{"ipv4.method", "ipv4.addresses", "ipv4.gateway",
                                                 "ipv4.dns", "ipv4.ignore-auto-dns"};
    return fields;
}

std::string NmProfileDifference(const std::vector<std::string>& settings,
                                const std::vector<std::string>& profileValues) {
    const std::vector<std::string>& fields = NmCheckedFields();
    for (size_t i = 0; i + 1 < settings.size(); i += 2) {
        size_t at = 0;
        while (at < fields.size() && fields[at] != settings[i])
            ++at;
        const std::string shown = at < profileValues.size() ? profileValues[at] : "";
        // nmcli -g writes lists with ", " or "," between the items.
        std::string normal;
        for (char c : shown)
            if (c != ' ') normal += c;
        if (normal != settings[i + 1])
            return settings[i] + " is \"" + shown + "\" instead of \"" + settings[i + 1] + "\"";
    }
    return "";
}

std::string NmLeaseAddress(const std::string& dhcp4) {
    std::istringstream in(dhcp4);
    std::string line;
    while (std::getline(in, line)) {
        const size_t at = line.find(":ip_address = ");
        if (at != std::string::npos) return FirstLine(line.substr(at + 14));
    }
    return "";
}

bool NmRefusesRights(const std::string& nmcliOutput) {
    for (const char* text : {"Not authorized", "not authorized", "Insufficient privileges"})
        if (nmcliOutput.find(text) != std::string::npos) return true;
    return false;
}

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::string item;
    for (char c : text + ",") {
        if (c == ',') {
            if (!item.empty()) items.push_back(item);
            item.clear();
        } else if (c != ' ') {
            item += c;
        }
    }
    return items;
}

std::string FieldsText() {
    std::string text;
    for (const std::string& f : NmCheckedFields())
        text += (text.empty() ? "" : ",") + f;
    return text;
}

bool ReadProfile(IBridgeHost& host, const std::string& nmcli, const std::string& uuid,
                 std::vector<std::string>& values) {
    const TRunResult shown = host.Run({nmcli, "-g", FieldsText(), "connection", "show", uuid});
    values = SplitLines(shown.Output);
    return shown.Code == 0 && values.size() >= NmCheckedFields().size();
}

} // namespace

std::string ApplyNetworkManager(IBridgeHost& host, const TNetshRequest& request,
                                const TNmDevice& device, const std::string& nmcli,
                                const std::string& ip) {
    const std::string& name = request.Name;
    const std::string managed = name + " is managed by NetworkManager; ";
    const TNmActive active = NmActiveProfile(host, nmcli, name);
    std::string uuid = active.Uuid, profile = device.Connection;
    const bool external = active.External;

    std::vector<std::string> before;
    bool created = false;
    if (external) {
        // NM's record of settings made outside it is not kept: a profile of
        // the bridge's own, bound to the interface, is.
        profile = NmOwnProfileName(name);
        uuid = NmProfileUuid(
            host.Run({nmcli, "-t", "-f", "NAME,UUID", "connection", "show"}).Output, profile);
        if (uuid.empty()) {
            if (device.Type != "ethernet")
                return managed +
                       "it has no profile of its own, and the bridge makes one only "
                       "for an ethernet device (this one is " +
                       device.Type + ").";
            THostCommand add{nmcli,    "connection", "add",      "type",  "ethernet",
                             "ifname", name,         "con-name", profile, "connection.autoconnect",
                             "yes"};
            // A DNS request keeps the address the interface has now.
            if (request.Kind != TNetshRequest::TKind::Address && !active.Uuid.empty()) {
                std::vector<std::string> now;
                if (ReadProfile(host, nmcli, active.Uuid, now))
                    add.insert(add.end(), {"ipv4.method", now[0], "ipv4.addresses", now[1],
                                           "ipv4.gateway", now[2]});
            }
            const TRunResult added = host.Run(add);
            if (added.Code != 0 && NmRefusesRights(added.Output)) return ElevationText;
            if (added.Code != 0)
                return managed + "a profile \"" + profile +
                       "\" for it could not be made: " + FirstLine(added.Output);
            uuid = NmProfileUuid(
                host.Run({nmcli, "-t", "-f", "NAME,UUID", "connection", "show"}).Output, profile);
            if (uuid.empty()) return managed + "the new profile \"" + profile + "\" was not found.";
            created = true;
        }
    }
    const std::string changing = managed + "its profile \"" + profile + "\" ";
    if (!ReadProfile(host, nmcli, uuid, before)) return changing + "could not be read.";

    const std::vector<std::string> settings = NmSettings(request, SplitList(before[3]));
    THostCommand modify{nmcli, "connection", "modify", uuid};
    modify.insert(modify.end(), settings.begin(), settings.end());
    // The profile as it was, put back when NM cannot apply the new one.
    THostCommand restore{nmcli, "connection", "modify", uuid};
    for (size_t i = 0; i < NmCheckedFields().size(); ++i) {
        restore.push_back(NmCheckedFields()[i]);
        restore.push_back(before[i]);
    }
    auto undo = [&](const std::string& reason) {
        host.EnterRollback();
        if (created) {
            host.Run({nmcli, "connection", "delete", uuid});
        } else {
            host.Run(restore);
            host.Run({nmcli, "device", "reapply", name});
        }
        return reason;
    };

    // Already NM's DHCP: Windows' answer, and nothing changes.
    if (request.Kind == TNetshRequest::TKind::Address && request.Dhcp && !external &&
        before[0] == "auto")
        return DhcpAlreadyEnabledText;
    const TRunResult changed = host.Run(modify);
    if (changed.Code != 0) {
        // nmcli changes a profile whole or not at all: only a new one goes again.
        const std::string reason =
            NmRefusesRights(changed.Output)
                ? ElevationText
                : changing + "could not be changed: " + FirstLine(changed.Output);
        return created ? undo(reason) : reason;
    }
    TRunResult applied = created ? TRunResult{} : host.Run({nmcli, "device", "reapply", name});
    if (created || applied.Code != 0) {
        // NM's own wait, within what is left of the run (a second kept for the check).
        const std::string wait = std::to_string(std::max(1, host.RemainingMs() / 1000 - 1));
        applied = host.Run({nmcli, "--wait", wait, "connection", "up", uuid, "ifname", name});
        if (applied.Code != 0)
            return undo(changing + "was changed, but NetworkManager could not apply it: " +
                        FirstLine(applied.Output));
    }

    // Checked: the profile holds the set, and the interface shows it.
    std::vector<std::string> after;
    if (!ReadProfile(host, nmcli, uuid, after)) return changing + "could not be read back.";
    if (const std::string diff = NmProfileDifference(settings, after); !diff.empty())
        return undo(changing + "shows " + diff + ".");
    if (request.Kind != TNetshRequest::TKind::Address) return "";
    if (!request.Dhcp) {
        if (const std::string diff = AwaitAddress(host, request, ip, 10000); !diff.empty())
            return changing + "was applied, but " + diff;
        return "";
    }
    // The old static address may stay while NM asks for a lease: only the
    // lease's address, and it alone, counts.
    if (const std::string diff =
            AwaitLease(host, name, ip, {nmcli, "-t", "-f", "DHCP4", "device", "show", name},
                       NmLeaseAddress, 45000);
        !diff.empty())
        return changing + "was applied, but " + diff;
    return "";
}
