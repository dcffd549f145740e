#pragma once
// The one rule for IPv4 address texts: four decimal parts of one to three
// digits, each at most 255, joined by three dots; no blanks, signs or other
// characters. The editor, the activation and the netsh bridge all ask here.
#include <array>
#include <cstdint>
#include <string>

struct TParsedIP {
    int DotCount = 0;
    // The parts' numbers; a part that is not one to three digits counts as
    // 256, and so do all four when the text has not exactly three dots.
    std::array<int, 4> Parts{0, 0, 0, 0};
    bool Valid = false;
};
TParsedIP ParseIPText(const std::string& text);
bool IsDottedQuad(const std::string& text);

// The address as a 32-bit number, first part in the high byte; the text must
// be a dotted quad.
uint32_t AddressValue(const TParsedIP& parsed);
// The prefix length of a subnet mask, or -1 when its one bits are not
// contiguous from the top.
int MaskPrefixLength(const std::string& mask);

// ---- Address arithmetic of the netsh bridge: values, not texts ----

// The value of a dotted quad (leading zeros are decimal, never octal); false
// when the text is not one.
bool ParseAddress(const std::string& text, uint32_t& value);
// The address in plain decimal parts, "10.0.0.1" for 010.000.000.001.
std::string DecimalAddress(uint32_t value);
// The prefix length of a mask value, or -1 when it is not contiguous.
int PrefixLength(uint32_t mask);
uint32_t PrefixMask(int prefixLength);

// Addresses no interface may hold or route through.
bool IsThisNetwork(uint32_t address);         // 0.0.0.0/8
bool IsLoopback(uint32_t address);            // 127.0.0.0/8
bool IsMulticastOrReserved(uint32_t address); // 224.0.0.0 and above
// The subnet's own address and its broadcast, for masks up to /30 (a /31 or
// /32 has neither).
bool IsNetworkAddress(uint32_t address, int prefixLength);
bool IsBroadcastAddress(uint32_t address, int prefixLength);
// A dotted quad in its decimal form ("192.168.001.010" is "192.168.1.10");
// any other text as it is.
std::string NormalizedAddress(const std::string& text);
