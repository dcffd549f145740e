#include "adapters/IPInfo.h"

#include "base/SysUtils.h"

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
