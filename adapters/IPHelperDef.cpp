#include "adapters/IPHelperDef.h"

namespace {
TGetAdaptersInfo adaptersInfoSource = nullptr;
TGetPerAdapterInfo perAdapterInfoSource = nullptr;
TGetAdaptersAddresses adaptersAddressesSource = nullptr;
} // namespace

void SetAdaptersInfoSource(TGetAdaptersInfo source) {
    adaptersInfoSource = source;
}

DWORD CallGetAdaptersInfo(PIP_ADAPTER_INFO info, PULONG size) {
    return adaptersInfoSource ? adaptersInfoSource(info, size) : GetAdaptersInfo(info, size);
}

void SetPerAdapterInfoSource(TGetPerAdapterInfo source) {
    perAdapterInfoSource = source;
}

DWORD CallGetPerAdapterInfo(ULONG index, PIP_PER_ADAPTER_INFO info, PULONG size) {
    return perAdapterInfoSource ? perAdapterInfoSource(index, info, size)
                                : GetPerAdapterInfo(index, info, size);
}

void SetAdaptersAddressesSource(TGetAdaptersAddresses source) {
    adaptersAddressesSource = source;
}

bool PlatformAdaptersAddresses() {
    return adaptersAddressesSource == nullptr;
}

ULONG CallGetAdaptersAddresses(ULONG family, ULONG flags, PIP_ADAPTER_ADDRESSES addresses,
                               PULONG size) {
    return adaptersAddressesSource
               ? adaptersAddressesSource(family, flags, nullptr, addresses, size)
               : GetAdaptersAddresses(family, flags, nullptr, addresses, size);
}
