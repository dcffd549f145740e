#include "app/TrayContent.h"

#include "base/SysUtils.h"

namespace {

// `text` cut to at most `capacity` UTF-16 units, ending in "..." when cut;
// a character is never split.
std::string CutLine(const std::string& text, size_t capacity) {
    if (Utf16Length(text) <= capacity) return text;
    const std::string ellipsis = "...";
    if (capacity < ellipsis.size()) return std::string();
    size_t end = 0, units = 0;
    while (end < text.size()) {
        size_t next = end + 1;
        while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80)
            ++next;
        const size_t width = static_cast<unsigned char>(text[end]) >= 0xF0 ? 2 : 1;
        if (units + width > capacity - ellipsis.size()) break;
        units += width;
        end = next;
    }
    return text.substr(0, end) + ellipsis;
}

} // namespace

size_t Utf16Length(const std::string& text) {
    size_t units = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) == 0x80) continue; // a continuation byte
        units += c >= 0xF0 ? 2 : 1;       // four bytes: a surrogate pair
    }
    return units;
}

std::string TrayTooltip(const std::vector<TTrayConnection>& connections, const std::string& title,
                        size_t capacity) {
    std::string tip;
    size_t units = 0;
    for (const TTrayConnection& c : connections) {
        std::string line = c.Connection + ": " + (c.Address.empty() ? "-" : c.Address);
        if (!c.SetInEffect.empty()) line += " (" + c.SetInEffect + ")";
        const size_t separator = tip.empty() ? 0 : 1;
        const size_t width = Utf16Length(line);
        if (units + separator + width > capacity) {
            if (tip.empty()) tip = CutLine(line, capacity);
            break;
        }
        if (separator) tip += "\n";
        tip += line;
        units += separator + width;
    }
    return tip.empty() ? CutLine(title, capacity) : tip;
}

std::vector<TTrayMenuEntry> TrayMenuEntries(const std::vector<TTraySet>& sets) {
    std::vector<std::string> connections;
    for (const TTraySet& set : sets) {
        bool known = false;
        for (const std::string& c : connections)
            known = known || SameText(c, set.Connection);
        if (!known) connections.push_back(set.Connection);
    }
    std::vector<TTrayMenuEntry> entries;
    auto addSet = [&entries](const TTraySet& set) {
        entries.push_back({false, set.Name, set.ID, set.InEffect});
    };
    if (connections.size() <= 1) {
        for (const TTraySet& set : sets)
            addSet(set);
        return entries;
    }
    for (const std::string& connection : connections) {
        entries.push_back({true, connection.empty() ? "(no connection)" : connection, 0, false});
        for (const TTraySet& set : sets)
            if (SameText(set.Connection, connection)) addSet(set);
    }
    return entries;
}

std::string InEffectBalloonText(const std::string& set, const std::string& connection) {
    return set + " is in effect on " + connection + ".";
}
