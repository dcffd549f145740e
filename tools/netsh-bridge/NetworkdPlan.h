#pragma once
// systemd-networkd owns the interface: the bridge writes a drop-in of its own
// for the link's .network file and has networkd reload and reconfigure the
// link, or refuses where a drop-in cannot override the file. It never
// changes a networkd link behind networkd's back.
#include "tools/netsh-bridge/BridgeHost.h"

// The link's setup state in `networkctl list --no-legend`, or "" when the
// link is not listed.
std::string NetworkdSetupState(const std::string& list, const std::string& name);
// Managed by networkd: a setup state networkd gives the links it manages
// (not "unmanaged", nor "n/a" where networkd keeps nothing for the link).
bool NetworkdManages(const std::string& setupState);
// The "Network File:" of `networkctl status NAME`, or "" when there is none.
std::string NetworkdNetworkFile(const std::string& status);

// The drop-in the bridge keeps for a .network file and a kind of request.
std::string NetworkdDropInPath(const std::string& networkFile, bool dns);

// The drop-in's new text ("" to remove it) for `request`, given the .network
// file's text and the DNS drop-in's old text; false with the reason where a
// drop-in cannot override the file (it sets addresses or routes of its own,
// which a drop-in can only add to).
bool NetworkdDropIn(const TNetshRequest& request, const std::string& networkFileText,
                    const std::string& oldDnsDropIn, std::string& text, std::string& reason);

// True when the [Match] section of a .network file matches link `name` and
// can match no other: one Name= of exactly that name (no pattern, no "!").
bool NetworkdMatchesOnly(const std::string& networkFileText, const std::string& name);
// True when the file, with the bridge's address drop-in for it, asks for DHCP
// for IPv4.
bool NetworkdDhcpEnabled(const std::string& networkFileText, const std::string& addressDropIn);

// What a request does with networkd's files. Where the link's file may match
// other links too, the bridge makes a file of its own for this link alone
// (the shared one's settings, [Match] Name=LINK), named to sort before the
// shared one (networkd takes the first match), and writes its drop-in for
// that: the set never reaches another link.
struct TNetworkdPlan {
    std::string Refusal;      // "" when the request can be carried out
    bool AlreadyDhcp = false; // DHCP asked for where the file has it
    std::string File;         // the .network file the drop-in is for
    std::string OwnFileText;  // not "": File is made anew with this text
    std::string DropIn;       // the drop-in's path
    std::string DropInText;   // "" to remove it
};
// `file`, `fileText`: the link's file as networkctl names it; the drop-ins'
// old texts are those kept for it.
TNetworkdPlan NetworkdPlanFor(const TNetshRequest& request, const std::string& file,
                              const std::string& fileText, const std::string& oldAddressDropIn,
                              const std::string& oldDnsDropIn);
// The bridge's own .network file for a link.
std::string NetworkdOwnFile(const std::string& name);

std::string ApplyNetworkd(IBridgeHost& host, const TNetshRequest& request,
                          const std::string& networkctl, const std::string& ip);
