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

// A dotted quad in its decimal form ("192.168.001.010" is "192.168.1.10");
// any other text as it is.
std::string NormalizedAddress(const std::string& text);
std::string AddressValueText(uint32_t value);
// The mask of a prefix length from 0 to 32.
uint32_t PrefixMask(int prefixLength);
