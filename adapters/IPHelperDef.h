#pragma once
// The IP Helper records and the one call the adapter snapshot makes, with a
// seam through which tests hand in records of their own.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

// The published layouts: 640 bytes per adapter record in a 32-bit process.
static_assert(sizeof(IP_ADDR_STRING) == (sizeof(void*) == 4 ? 40 : 48));
static_assert(sizeof(IP_ADAPTER_INFO) == (sizeof(void*) == 4 ? 640 : 704));

// Same signature as GetAdaptersInfo.
using TGetAdaptersInfo = DWORD(WINAPI*)(PIP_ADAPTER_INFO info, PULONG size);

// The source of adapter records: the real GetAdaptersInfo unless a test set
// another. Passing nullptr restores the real one.
void SetAdaptersInfoSource(TGetAdaptersInfo source);
DWORD CallGetAdaptersInfo(PIP_ADAPTER_INFO info, PULONG size);

// Same signature as GetPerAdapterInfo, with its own seam for tests.
using TGetPerAdapterInfo = DWORD(WINAPI*)(ULONG index, PIP_PER_ADAPTER_INFO info, PULONG size);
void SetPerAdapterInfoSource(TGetPerAdapterInfo source);
DWORD CallGetPerAdapterInfo(ULONG index, PIP_PER_ADAPTER_INFO info, PULONG size);
// Same signature as GetAdaptersAddresses: the DNS servers, the operational
// status and the connection's name, which the older records lack.
using TGetAdaptersAddresses = ULONG(WINAPI*)(ULONG family, ULONG flags, PVOID reserved,
                                             PIP_ADAPTER_ADDRESSES addresses, PULONG size);
void SetAdaptersAddressesSource(TGetAdaptersAddresses source);
// False while a test's records stand in for the platform's.
bool PlatformAdaptersAddresses();
ULONG CallGetAdaptersAddresses(ULONG family, ULONG flags, PIP_ADAPTER_ADDRESSES addresses,
                               PULONG size);
