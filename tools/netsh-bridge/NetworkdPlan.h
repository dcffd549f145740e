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

std::string ApplyNetworkd(IBridgeHost& host, const TNetshRequest& request,
                          const std::string& networkctl, const std::string& ip);
