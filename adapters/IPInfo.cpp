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

// Under Wine every adapter's DNS servers are resolv.conf's name servers, read
// once per process: a change made by netsh meanwhile is seen only here.
// Empty outside Wine or when the file cannot be read.
std::vector<std::string> WineNameServers() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (!ntdll || !GetProcAddress(ntdll, "wine_get_version")) return {};
    std::vector<std::string> servers;
    for (const char* path : {"\\\\?\\unix\\etc\\resolv.conf", "Z:\\etc\\resolv.conf"}) {
        FILE* file = std::fopen(path, "r");
        if (!file) continue;
        char line[512];
        while (std::fgets(line, sizeof(line), file)) {
            char address[64] = {};
            if (std::sscanf(line, " nameserver %63s", address) == 1 && IsDottedQuad(address))
                servers.push_back(address);
        }
        std::fclose(file);
        break;
    }
    return servers;
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
    const ULONG flags = GAA_FLAG_SKIP_UNICAST | GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST;
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
    const std::vector<std::string> wineServers =
        PlatformAdaptersAddresses() ? WineNameServers() : std::vector<std::string>{};
    for (auto* record = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); record;
         record = record->Next) {
        if (!record->AdapterName) continue;
        for (int i = 0; i < FAdapterList.Count(); ++i) {
            TAdapter* adapter = FAdapterList.Items(i);
            if (!SameText(adapter->AdapterName(), record->AdapterName)) continue;
            adapter->OperUp = record->OperStatus == IfOperStatusUp;
            adapter->FriendlyName = WideToAnsi(record->FriendlyName);
            for (auto* dns = record->FirstDnsServerAddress; dns; dns = dns->Next) {
                const sockaddr* address = dns->Address.lpSockaddr;
                if (!address || address->sa_family != AF_INET ||
                    dns->Address.iSockaddrLength < static_cast<INT>(sizeof(sockaddr_in)))
                    continue;
                const auto* b = reinterpret_cast<const BYTE*>(
                    &reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
                adapter->DnsServers.push_back(Format("%u.%u.%u.%u", b[0], b[1], b[2], b[3]));
            }
            if (!wineServers.empty()) adapter->DnsServers = wineServers;
        }
    }
}

std::string AdapterConnectionName(const std::string& adapterName) {
    ULONG size = 16 * 1024;
    std::vector<BYTE> buffer;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    const ULONG flags = GAA_FLAG_SKIP_UNICAST | GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                        GAA_FLAG_SKIP_DNS_SERVER;
    for (int tries = 0; status == ERROR_BUFFER_OVERFLOW && tries < 4; ++tries) {
        buffer.resize(size);
        status = GetAdaptersAddresses(AF_UNSPEC, flags, nullptr,
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
