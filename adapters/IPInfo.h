#pragma once
// A snapshot of the machine's network adapters, copied out of the platform's
// records when it is constructed and never changed afterwards.
#include "adapters/IPHelperDef.h"
#include "base/Classes.h"

#include <memory>
#include <string>
#include <vector>

class TInfoIPAddress {
public:
    explicit TInfoIPAddress(const IP_ADDR_STRING* entry); // entry may be null
    TInfoIPAddress(std::string address, std::string mask)
        : FIpAddress(std::move(address)), FIpMask(std::move(mask)) {}
    const std::string& IpAddress() const { return FIpAddress; }
    const std::string& IpMask() const { return FIpMask; }
    // "" when both are empty, otherwise address + "/" + mask.
    std::string AsText() const;

private:
    std::string FIpAddress;
    std::string FIpMask;
};

using TIPAddressList = TOwnedList<TInfoIPAddress>;

class TAdapter {
public:
    explicit TAdapter(const IP_ADAPTER_INFO& info);

    const std::string& AdapterName() const { return FAdapterName; }
    const std::string& Description() const { return FDescription; }
    DWORD AddressLength() const { return FAddressLength; }
    const std::string& Address() const { return FAddress; }
    DWORD Index() const { return FIndex; }
    DWORD Type() const { return FType; }
    bool DhcpEnabled() const { return FDhcpEnabled; }
    const TInfoIPAddress* CurrentIpAddress() const { return FCurrentIpAddress.get(); }
    int IPAddressCount() const { return FIpAddressList.Count(); }
    const TInfoIPAddress* IPAddresses(int index) const { return FIpAddressList.Items(index); }
    int GatewayCount() const { return FGatewayList.Count(); }
    const TInfoIPAddress* Gateways(int index) const { return FGatewayList.Items(index); }
    // A default gateway the older record left out (it names one at most on
    // some systems); one already listed is not added twice.
    void AddGateway(const std::string& address);
    const TInfoIPAddress* DhcpServer() const { return FDhcpServer.get(); }
    bool HaveWins() const { return FHaveWins; }
    const TInfoIPAddress* PrimaryWinsServer() const { return FPrimaryWinsServer.get(); }
    const TInfoIPAddress* SecondaryWinsServer() const { return FSecondaryWinsServer.get(); }

    // From the newer records; the defaults stand when those lack the adapter.
    std::vector<std::string> DnsServers; // IPv4 only, the primary first
    bool OperUp = true;                  // false: no link (cable out, not joined)
    std::string FriendlyName;            // the connection's name as Windows shows it
    // Under Wine: a local stub answers (resolv.conf names only 127.x) and the
    // servers behind it could not be read, so DnsServers says nothing.
    bool DnsUnknown = false;

private:
    void ReadDnsServers();
    std::string FAdapterName;
    std::string FDescription;
    DWORD FAddressLength;
    std::string FAddress;
    DWORD FIndex;
    DWORD FType;
    bool FDhcpEnabled;
    std::unique_ptr<TInfoIPAddress> FCurrentIpAddress;
    TIPAddressList FIpAddressList;
    TIPAddressList FGatewayList;
    std::unique_ptr<TInfoIPAddress> FDhcpServer;
    bool FHaveWins;
    std::unique_ptr<TInfoIPAddress> FPrimaryWinsServer;
    std::unique_ptr<TInfoIPAddress> FSecondaryWinsServer;
};

// The name servers a link really has under Wine, from resolv.conf's text.
// Where that names only a local stub (systemd-resolved's 127.0.0.53, a
// dnsmasq of NetworkManager's at 127.0.1.1), systemd-resolved's state of the
// link ("DNS=a b"), else its list of upstream servers (resolv.conf's form);
// `unknown` is set, and nothing returned, when neither names one.
std::vector<std::string> NameServersBehindStub(const std::string& resolvConf,
                                               const std::string& resolvedLink,
                                               const std::string& resolvedUpstream, bool& unknown);

class TIPInfo {
public:
    // Takes the snapshot; raises EOSError when the platform reports a failure.
    TIPInfo();
    int AdapterCount() const { return FAdapterList.Count(); }
    const TAdapter* Adapters(int index) const { return FAdapterList.Items(index); }

private:
    // Adds DNS servers, link state and names from GetAdaptersAddresses.
    void AddNewerRecords();
    TOwnedList<TAdapter> FAdapterList;
};

// The connection name Windows shows for the adapter of that name (its
// GUID), from GetAdaptersAddresses; "" when no adapter has it.
std::string AdapterConnectionName(const std::string& adapterName);

// "00:0C:29:AB:CD:EF"; at most the 8 bytes the record's field holds.
std::string HardwareAddressToStr(const BYTE* bytes, DWORD count);
void FillIPAddressList(const IP_ADDR_STRING* first, TIPAddressList& list);
