#pragma once
// Which stored set each connection shows now, from one read of the adapters,
// and the status bar's line that says so.
#include "activation/ActivationCheck.h"
#include "activation/IPSetValues.h"

#include <string>
#include <vector>

class TIPInfo;

// One adapter as a connection: the names it goes by and what it shows.
struct TConnectionView {
    std::string RegistryName; // its connection's name in the registry; "" where none (Wine)
    std::string FriendlyName; // the name Windows shows for it
    TAdapterView View;
    const std::string& Name() const { return RegistryName.empty() ? FriendlyName : RegistryName; }
    bool operator==(const TConnectionView&) const = default;
};

// Every adapter of `snapshot` with its connection's names.
std::vector<TConnectionView> ReadConnectionViews(const TIPInfo& snapshot);

// The adapter that is `connection`: a registry name first, then the name
// Windows shows; nullptr when none is.
const TConnectionView* FindConnectionView(const std::vector<TConnectionView>& views,
                                          const std::string& connection);

// What one connection shows now, for the status bar and the tooltip.
struct TConnectionState {
    std::string Connection;
    std::string Address; // the first address it shows; "" when none
    int SetIndex = -1;   // the set in effect there, into the sets given; -1 when none is
    std::string SetName;
};

// One state per adapter, in the snapshot's order.
std::vector<TConnectionState> ConnectionStates(const std::vector<TIPSetValues>& sets,
                                               const std::vector<TConnectionView>& views);

// "LAN: Office; WLAN: 10.0.0.5": each connection's set in effect, else its
// address; "" when there is no adapter.
std::string ConnectionStatusText(const std::vector<TConnectionState>& states);
