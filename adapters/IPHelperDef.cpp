#include "adapters/IPHelperDef.h"

namespace {
TGetAdaptersInfo adaptersInfoSource = nullptr;
}

void SetAdaptersInfoSource(TGetAdaptersInfo source) { adaptersInfoSource = source; }

DWORD CallGetAdaptersInfo(PIP_ADAPTER_INFO info, PULONG size) {
    return adaptersInfoSource ? adaptersInfoSource(info, size) : GetAdaptersInfo(info, size);
}
