#include "ipsets/SetsInEffect.h"

#include "adapters/IPInfo.h"
#include "base/Registry.h"
#include "base/SysUtils.h"
#include "ipsets/o_qvIPInfo.h"

std::vector<TConnectionView> ReadConnectionViews(const TIPInfo& snapshot) {
    const std::string base = NetworkBasePath;
    TRegistry registry(KEY_READ);
    registry.RootKey = HKEY_LOCAL_MACHINE;
    std::vector<TConnectionView> views;
    for (int i = 0; i < snapshot.AdapterCount(); ++i) {
        const TAdapter& adapter = *snapshot.Adapters(i);
        TConnectionView view;
        for (const std::string& key :
             {base + NetworkClassKey + "\\" + adapter.AdapterName() + "\\Connection",
              base + adapter.AdapterName() + "\\Connection"})
            if (view.RegistryName.empty() && registry.OpenKey(key))
                view.RegistryName = registry.ReadString("Name");
        view.FriendlyName = adapter.FriendlyName;
        for (int k = 0; k < adapter.IPAddressCount(); ++k)
            view.View.Addresses.emplace_back(adapter.IPAddresses(k)->IpAddress(),
                                             adapter.IPAddresses(k)->IpMask());
        for (int k = 0; k < adapter.GatewayCount(); ++k)
            view.View.Gateways.push_back(adapter.Gateways(k)->IpAddress());
        view.View.DnsServers = adapter.DnsServers;
        view.View.DnsUnknown = adapter.DnsUnknown;
        view.View.Dhcp = adapter.DhcpEnabled();
        view.View.OperUp = adapter.OperUp;
        views.push_back(std::move(view));
    }
    return views;
}

const TConnectionView* FindConnectionView(const std::vector<TConnectionView>& views,
                                          const std::string& connection) {
    for (const TConnectionView& view : views)
        if (!view.RegistryName.empty() && SameText(view.RegistryName, connection)) return &view;
    // Where the registry names no connection (Wine), the name Windows shows.
    for (const TConnectionView& view : views)
        if (SameText(view.FriendlyName, connection)) return &view;
    return nullptr;
}

std::vector<TConnectionState> ConnectionStates(const std::vector<TIPSetValues>& sets,
                                               const std::vector<TConnectionView>& views) {
    std::vector<TConnectionState> states;
    for (const TConnectionView& view : views) {
        TConnectionState state;
        state.Connection = view.Name();
        for (const auto& entry : view.View.Addresses)
            if (state.Address.empty() && !entry.first.empty() && entry.first != "0.0.0.0")
                state.Address = entry.first;
        // A set may name the connection by either of its names, as an apply finds it.
        const TIPSetValues* set =
            view.Name().empty() ? nullptr : SetInEffect(sets, view.Name(), view.View);
        if (!set && !view.FriendlyName.empty() && !SameText(view.FriendlyName, view.Name()))
            set = SetInEffect(sets, view.FriendlyName, view.View);
        if (set) {
            state.SetIndex = static_cast<int>(set - sets.data());
            state.SetName = set->Name;
        }
        states.push_back(std::move(state));
    }
    return states;
}

std::string ConnectionStatusText(const std::vector<TConnectionState>& states) {
    std::string text;
    for (const TConnectionState& state : states) {
        const std::string shown = state.SetIndex >= 0      ? state.SetName
                                  : !state.Address.empty() ? state.Address
                                                           : std::string("no address");
        text += (text.empty() ? "" : "; ") + state.Connection + ": " + shown;
    }
    return text;
}
