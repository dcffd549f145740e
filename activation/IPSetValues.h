#pragma once
// One IP set as plain values: what the store holds for it, with its
// connection by name. What an activation applies and a check compares.
#include <string>

struct TIPSetValues {
    std::string Name;
    std::string Address;
    std::string Mask;
    std::string Gateway; // "" when the set has none
    std::string Dns;     // "" when the set has none
    std::string Dns2;    // a second DNS server, "" when none
    bool Dhcp = false;
    std::string Connection; // the connection's display name
    // Further address/mask pairs of a static set, as stored:
    // "10.1.0.5/255.255.0.0;192.168.1.50/255.255.255.0"; "" when none.
    std::string ExtraAddresses;
    bool Confirm = false;   // goes back to the configuration before unless the user keeps it
};
