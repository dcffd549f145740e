#pragma once
// What the notification-area icon shows, from plain values: its tooltip, the
// entries of its menu and the balloon after a set was applied from it.
#include <string>
#include <vector>

// A connection that has an adapter now.
struct TTrayConnection {
    std::string Connection;
    std::string Address;     // the adapter's first address; "" when it has none
    std::string SetInEffect; // the stored set the adapter shows; "" when none
};

// How many UTF-16 units the icon's tooltip holds, its terminator left out.
constexpr size_t TrayTipCapacity = 127;

// "LAN: 10.0.0.2 (Office)", one line per connection, as many whole lines as
// fit in `capacity` UTF-16 units; a first line longer than that is cut with
// "...". The program's title when there is no connection.
std::string TrayTooltip(const std::vector<TTrayConnection>& connections, const std::string& title,
                        size_t capacity = TrayTipCapacity);

// A stored set as the menu lists it.
struct TTraySet {
    long long ID = 0;
    std::string Name;
    std::string Connection;
    bool InEffect = false;
};

struct TTrayMenuEntry {
    bool Heading = false; // a connection's name above its sets, not chosen
    std::string Caption;
    long long SetID = 0;
    bool Checked = false;
};

// The sets in the order given; where they belong to more than one
// connection, grouped under a heading per connection, the connections in
// the order their first set comes.
std::vector<TTrayMenuEntry> TrayMenuEntries(const std::vector<TTraySet>& sets);

// What the balloon says once a set chosen in the menu is in effect.
std::string InEffectBalloonText(const std::string& set, const std::string& connection);

// The length of UTF-8 `text` in UTF-16 units.
size_t Utf16Length(const std::string& text);
