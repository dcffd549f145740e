#include "base/AddressText.h"

namespace {

int PartValue(const std::string& text, size_t first, size_t last) {
    if (last <= first || last - first > 3) return 256;
    int value = 0;
    for (size_t i = first; i < last; ++i) {
        if (text[i] < '0' || text[i] > '9') return 256;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace

TParsedIP ParseIPText(const std::string& text) {
    TParsedIP result;
    std::array<size_t, 3> dots{0, 0, 0};
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '.') {
            if (result.DotCount < 3) dots[static_cast<size_t>(result.DotCount)] = i;
            ++result.DotCount;
        }
    if (result.DotCount != 3) {
        result.Parts = {256, 256, 256, 256};
        return result;
    }
    result.Parts[0] = PartValue(text, 0, dots[0]);
    result.Parts[1] = PartValue(text, dots[0] + 1, dots[1]);
    result.Parts[2] = PartValue(text, dots[1] + 1, dots[2]);
    result.Parts[3] = PartValue(text, dots[2] + 1, text.size());
    result.Valid = true;
    for (int part : result.Parts)
        if (part > 255) result.Valid = false;
    return result;
}

bool IsDottedQuad(const std::string& text) {
    return ParseIPText(text).Valid;
}

uint32_t AddressValue(const TParsedIP& parsed) {
    uint32_t value = 0;
    for (int part : parsed.Parts)
        value = (value << 8) | static_cast<uint32_t>(part & 0xFF);
    return value;
}

int MaskPrefixLength(const std::string& mask) {
    TParsedIP parsed = ParseIPText(mask);
    if (!parsed.Valid) return -1;
    uint32_t value = AddressValue(parsed);
    int length = 0;
    while (length < 32 && (value & (0x80000000u >> length)))
        ++length;
    // Every bit after the first zero must be zero too.
    if (length < 32 && (value << length) != 0) return -1;
    return length;
}

// ---- Address arithmetic of the netsh bridge ----

bool ParseAddress(const std::string& text, uint32_t& value) {
    const TParsedIP parsed = ParseIPText(text);
    if (!parsed.Valid) return false;
    value = AddressValue(parsed);
    return true;
}

std::string DecimalAddress(uint32_t value) {
    return std::to_string(value >> 24) + "." + std::to_string((value >> 16) & 0xFF) + "." +
           std::to_string((value >> 8) & 0xFF) + "." + std::to_string(value & 0xFF);
}

int PrefixLength(uint32_t mask) {
    int length = 0;
    while (length < 32 && (mask & (0x80000000u >> length)))
        ++length;
    if (length < 32 && (mask << length) != 0) return -1;
    return length;
}

std::string NormalizedAddress(const std::string& text) {
    const TParsedIP parsed = ParseIPText(text);
    return parsed.Valid ? DecimalAddress(AddressValue(parsed)) : text;
}

uint32_t PrefixMask(int prefixLength) {
    if (prefixLength <= 0) return 0;
    if (prefixLength >= 32) return 0xFFFFFFFFu;
    return 0xFFFFFFFFu << (32 - prefixLength);
}

bool IsThisNetwork(uint32_t address) {
    return (address >> 24) == 0;
}

bool IsLoopback(uint32_t address) {
    return (address >> 24) == 127;
}

bool IsMulticastOrReserved(uint32_t address) {
    return address >= 0xE0000000u;
}

bool IsNetworkAddress(uint32_t address, int prefixLength) {
    return prefixLength <= 30 && (address & ~PrefixMask(prefixLength)) == 0;
}

bool IsBroadcastAddress(uint32_t address, int prefixLength) {
    return prefixLength <= 30 && (address | PrefixMask(prefixLength)) == 0xFFFFFFFFu;
}
