#include "adapters/IPInfo.h"

#include "base/AddressText.h"
#include "base/SysUtils.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The bytes up to the first NUL, or the whole field when it holds none.
template <size_t N> std::string FieldText(const char (&field)[N]) {
    const void* nul = std::memchr(field, '\0', N);
    size_t len = nul ? static_cast<size_t>(static_cast<const char*>(nul) - field) : N;
    return std::string(field, len);
}

constexpr ULONG InitialBufferSize = 5120;

std::string WideToAnsi(const wchar_t* text) {
    if (!text || !*text) return "";
    return ::WideToAnsi(std::wstring(text)); // "?" where the code page has no such character
}

// A host file's text under Wine, through the Unix name space (Z: where that
// is not there); false outside Wine or when it cannot be read.
bool ReadHostFile(const std::string& unixPath, std::string& text) {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (!ntdll || !GetProcAddress(ntdll, "wine_get_version")) return false;
    std::string dosPath = unixPath;
    for (char& c : dosPath)
        if (c == '/') c = '\\';
    for (const std::string& path : {"\\\\?\\unix" + dosPath, "Z:" + dosPath}) {
        FILE* file = std::fopen(path.c_str(), "rb");
        if (!file) continue;
        char buffer[4096];
        size_t got = 0;
        text.clear();
        while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
            text.append(buffer, got);
        std::fclose(file);
        return true;
    }
    return false;
}

// The dotted quads after `key` at the start of a line ("nameserver", "DNS="),
// each up to a port, interface or name suffix ("10.0.0.1:53%2#dns.example").
std::vector<std::string> ServersOf(const std::string& text, const std::string& key) {
    std::vector<std::string> servers;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line.compare(first, key.size(), key) != 0) continue;
        line = line.substr(first + key.size());
        if (!line.empty() && key.back() != '=' && line[0] != ' ' && line[0] != '\t') continue;
        size_t at = 0;
        while (at < line.size()) {
            const size_t wordStart = line.find_first_not_of(" \t\r", at);
            if (wordStart == std::string::npos) break;
            size_t wordEnd = line.find_first_of(" \t\r", wordStart);
            if (wordEnd == std::string::npos) wordEnd = line.size();
            std::string word = line.substr(wordStart, wordEnd - wordStart);
            word = word.substr(0, word.find_first_of(":%#"));
            if (IsDottedQuad(word)) servers.push_back(word);
            at = wordEnd;
        }
    }
    return servers;
}

bool OnlyLoopback(const std::vector<std::string>& servers) {
    for (const std::string& server : servers) {
        uint32_t value = 0;
        if (!ParseAddress(server, value) || !IsLoopback(value)) return false;
    }
    return !servers.empty();
}

// Under Wine a link's DNS servers are read here, afresh for each snapshot,
// so a change made by netsh meanwhile is seen. Empty outside Wine or when
// resolv.conf cannot be read.
std::vector<std::string> WineNameServers(DWORD index, bool& unknown) {
    unknown = false;
    std::string resolvConf, link, upstream;
    if (!ReadHostFile("/etc/resolv.conf", resolvConf)) return {};
    if (!OnlyLoopback(ServersOf(resolvConf, "nameserver")))
        return NameServersBehindStub(resolvConf, "", "", unknown);
    ReadHostFile("/run/systemd/resolve/netif/" + std::to_string(index), link);
    ReadHostFile("/run/systemd/resolve/resolv.conf", upstream);
    // NetworkManager's own dnsmasq (127.0.1.1) keeps the servers behind it here.
    std::string managers;
    if (ReadHostFile("/run/NetworkManager/no-stub-resolv.conf", managers))
        upstream += "\n" + managers;
    return NameServersBehindStub(resolvConf, link, upstream, unknown);
}

// An IPv4 socket address as dotted text; "" for any other.
std::string Ipv4Text(const SOCKET_ADDRESS& socketAddress) {
    const sockaddr* address = socketAddress.lpSockaddr;
    if (!address || address->sa_family != AF_INET ||
        socketAddress.iSockaddrLength < static_cast<INT>(sizeof(sockaddr_in)))
        return "";
    const auto* b =
        reinterpret_cast<const BYTE*>(&reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
    return Format("%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

} // namespace

TInfoIPAddress::TInfoIPAddress(const IP_ADDR_STRING* entry) {
    if (!entry) return;
    FIpAddress = FieldText(entry->IpAddress.String);
    FIpMask = FieldText(entry->IpMask.String);
}

std::string TInfoIPAddress::AsText() const {
    if (FIpAddress.empty() && FIpMask.empty()) return std::string();
    return FIpAddress + "/" + FIpMask;
}

TAdapter::TAdapter(const IP_ADAPTER_INFO& info)
    : FAdapterName(FieldText(info.AdapterName)), FDescription(FieldText(info.Description)),
      FAddressLength(info.AddressLength),
      FAddress(HardwareAddressToStr(info.Address, info.AddressLength)), FIndex(info.Index),
      FType(info.Type), FDhcpEnabled(info.DhcpEnabled != 0),
      FCurrentIpAddress(std::make_unique<TInfoIPAddress>(info.CurrentIpAddress)) {
    FillIPAddressList(&info.IpAddressList, FIpAddressList);
    FillIPAddressList(&info.GatewayList, FGatewayList);
    FDhcpServer = std::make_unique<TInfoIPAddress>(&info.DhcpServer);
    FHaveWins = info.HaveWins != 0;
    FPrimaryWinsServer = std::make_unique<TInfoIPAddress>(&info.PrimaryWinsServer);
    FSecondaryWinsServer = std::make_unique<TInfoIPAddress>(&info.SecondaryWinsServer);
    ReadDnsServers();
}

void TAdapter::AddGateway(const std::string& address) {
    for (int i = 0; i < FGatewayList.Count(); ++i)
        if (FGatewayList.Items(i)->IpAddress() == address) return;
    FGatewayList.Add(std::make_unique<TInfoIPAddress>(address, "255.255.255.255"));
}

void TAdapter::ReadDnsServers() {
    ULONG size = 0;
    if (CallGetPerAdapterInfo(FIndex, nullptr, &size) != ERROR_BUFFER_OVERFLOW || !size) return;
    std::vector<BYTE> buffer(size);
    auto* info = reinterpret_cast<PIP_PER_ADAPTER_INFO>(buffer.data());
    if (CallGetPerAdapterInfo(FIndex, info, &size) != ERROR_SUCCESS) return;
    for (const IP_ADDR_STRING* entry = &info->DnsServerList; entry; entry = entry->Next) {
        const std::string address = FieldText(entry->IpAddress.String);
        if (!address.empty()) DnsServers.push_back(address);
    }
}

TIPInfo::TIPInfo() {
    std::vector<BYTE> buffer(InitialBufferSize);
    ULONG size = InitialBufferSize;
    DWORD status = CallGetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data()), &size);
    // Adapters can appear between two calls, so grow until the records fit.
    for (int tries = 0; status == ERROR_BUFFER_OVERFLOW && size > buffer.size() && tries < 8;
         ++tries) {
        buffer.resize(size);
        status = CallGetAdaptersInfo(reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data()), &size);
    }
    if (status == ERROR_NO_DATA) return; // no adapter at all: an empty snapshot
    if (status != ERROR_SUCCESS) {
        SetLastError(status);
        RaiseLastOSError();
    }
    for (auto* info = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data()); info;
         info = info->Next)
        FAdapterList.Add(std::make_unique<TAdapter>(*info));
    AddNewerRecords();
}

void TIPInfo::AddNewerRecords() {
    // Without these records the snapshot still holds what the list shows.
    // Their gateways are every default route of the adapter: an old gateway
    // left beside a new one shows here, where the older record may name one.
    const ULONG flags = GAA_FLAG_SKIP_UNICAST | GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                        GAA_FLAG_INCLUDE_GATEWAYS;
    ULONG size = 16384;
    std::vector<BYTE> buffer(size);
    ULONG status = ERROR_BUFFER_OVERFLOW;
    for (int tries = 0; tries < 8; ++tries) {
        status = CallGetAdaptersAddresses(
            AF_INET, flags, reinterpret_cast<PIP_ADAPTER_ADDRESSES>(buffer.data()), &size);
        if (status != ERROR_BUFFER_OVERFLOW || size <= buffer.size()) break;
        buffer.resize(size);
    }
    if (status != ERROR_SUCCESS) return;
    const bool underWine = PlatformAdaptersAddresses();
    for (auto* record = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); record;
         record = record->Next) {
        if (!record->AdapterName) continue;
        for (int i = 0; i < FAdapterList.Count(); ++i) {
            TAdapter* adapter = FAdapterList.Items(i);
            if (!SameText(adapter->AdapterName(), record->AdapterName)) continue;
            adapter->OperUp = record->OperStatus == IfOperStatusUp;
            adapter->FriendlyName = WideToAnsi(record->FriendlyName);
            for (auto* dns = record->FirstDnsServerAddress; dns; dns = dns->Next)
                if (const std::string server = Ipv4Text(dns->Address); !server.empty())
                    adapter->DnsServers.push_back(server);
            for (auto* gateway = record->FirstGatewayAddress; gateway; gateway = gateway->Next)
                if (const std::string address = Ipv4Text(gateway->Address);
                    !address.empty() && address != "0.0.0.0")
                    adapter->AddGateway(address);
            if (underWine) {
                bool unknown = false;
                const std::vector<std::string> servers = WineNameServers(adapter->Index(), unknown);
                if (!servers.empty() || unknown) adapter->DnsServers = servers;
                adapter->DnsUnknown = unknown;
            }
        }
    }
}

std::vector<std::string> NameServersBehindStub(const std::string& resolvConf,
                                               const std::string& resolvedLink,
                                               const std::string& resolvedUpstream, bool& unknown) {
    unknown = false;
    const std::vector<std::string> listed = ServersOf(resolvConf, "nameserver");
    if (!OnlyLoopback(listed)) return listed;
    for (const std::vector<std::string>& behind :
         {ServersOf(resolvedLink, "DNS="), ServersOf(resolvedUpstream, "nameserver")})
        if (!behind.empty() && !OnlyLoopback(behind)) return behind;
    unknown = true;
    return {};
}

std::string AdapterConnectionName(const std::string& adapterName) {
    ULONG size = 16 * 1024;
    std::vector<BYTE> buffer;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    const ULONG flags = GAA_FLAG_SKIP_UNICAST | GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                        GAA_FLAG_SKIP_DNS_SERVER;
    for (int tries = 0; status == ERROR_BUFFER_OVERFLOW && tries < 4; ++tries) {
        buffer.resize(size);
        status =
            GetAdaptersAddresses(AF_UNSPEC, flags, nullptr,
                                 reinterpret_cast<PIP_ADAPTER_ADDRESSES>(buffer.data()), &size);
    }
    if (status != ERROR_SUCCESS) return "";
    for (auto* a = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next)
        if (a->AdapterName && SameText(a->AdapterName, adapterName))
            return a->FriendlyName ? WideToAnsi(a->FriendlyName) : "";
    return "";
}

std::string HardwareAddressToStr(const BYTE* bytes, DWORD count) {
    if (count > MAX_ADAPTER_ADDRESS_LENGTH) count = MAX_ADAPTER_ADDRESS_LENGTH;
    std::string out;
    for (DWORD i = 0; i < count; ++i)
        out += Format("%.2X:", bytes[i]);
    if (!out.empty()) out.pop_back();
    return out;
}

void FillIPAddressList(const IP_ADDR_STRING* first, TIPAddressList& list) {
    list.Clear();
    for (const IP_ADDR_STRING* entry = first; entry; entry = entry->Next)
        list.Add(std::make_unique<TInfoIPAddress>(entry));
}
