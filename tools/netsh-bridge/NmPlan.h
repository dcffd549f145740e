#pragma once
// NetworkManager owns the interface: the bridge changes NM's own profile and
// has NM apply it, so NM keeps the set (as Windows keeps netsh's changes)
// instead of putting its profile back at the next activation.
#include "tools/netsh-bridge/BridgeHost.h"

#include <map>

// `nmcli -t` lines split into fields at unescaped colons ("\:" is a colon
// inside a field, "\\" a backslash).
std::vector<std::string> NmTerseFields(const std::string& line);
// `nmcli -t -f A,B ... show` lines "A:value" as a map.
std::map<std::string, std::string> NmFieldMap(const std::string& output);

struct TNmDevice {
    bool Listed = false;
    std::string Type, State, Connection;
};
// The interface's line of `nmcli -t -f DEVICE,TYPE,STATE,CONNECTION device`.
TNmDevice NmDeviceOf(const std::string& deviceList, const std::string& name);
// Managed by NM: listed and not "unmanaged".
bool NmManages(const TNmDevice& device);

// The profile NM applies to the interface now (`GENERAL.CON-UUID`), and
// whether its addresses were set outside NM (no profile, or "externally").
struct TNmActive {
    std::string Uuid;
    bool External = true;
};
TNmActive NmActiveProfile(IBridgeHost& host, const std::string& nmcli, const std::string& name);

// The profile the bridge makes for an interface whose active connection is
// NM's record of settings made outside it, or that has none.
std::string NmOwnProfileName(const std::string& name);
// The UUID of the profile named `profileName` in `nmcli -t -f NAME,UUID connection show`.
std::string NmProfileUuid(const std::string& connectionList, const std::string& profileName);

// The settings (name value ...) of a request. `currentDns`: the profile's
// servers now, for "add dns".
std::vector<std::string> NmSettings(const TNetshRequest& request,
                                    const std::vector<std::string>& currentDns);
// The settings read back, for the check and for putting them back.
const std::vector<std::string>& NmCheckedFields();

// What the profile (its `nmcli -g` values of NmCheckedFields, one a line, in
// order) shows that differs from `settings`, or "".
std::string NmProfileDifference(const std::vector<std::string>& settings,
                                const std::vector<std::string>& profileValues);

// The address of the device's DHCP lease in `nmcli -t -f DHCP4 device show`
// ("DHCP4.OPTION[5]:ip_address = 10.0.0.9"), or "" while it has none.
std::string NmLeaseAddress(const std::string& dhcp4);

// True when nmcli says the user may not change the profile (polkit's
// refusal): what Windows answers with its elevation text.
bool NmRefusesRights(const std::string& nmcliOutput);

// Applies a request through NM. "" or the one-line reason, e.g.
// `lan0 is managed by NetworkManager; its profile "Wired connection 1" could
// not be changed: <nmcli's message>`.
std::string ApplyNetworkManager(IBridgeHost& host, const TNetshRequest& request,
                                const TNmDevice& device, const std::string& nmcli,
                                const std::string& ip);
