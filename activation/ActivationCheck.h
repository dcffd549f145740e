#pragma once
// Whether a connection's adapter shows an IP set after its netsh runs, from
// plain values read off the adapter snapshot, and what the user is told.
#include "activation/IPSetValues.h"

#include <string>
#include <utility>
#include <vector>

// What one adapter shows now.
struct TAdapterView {
    std::vector<std::pair<std::string, std::string>> Addresses; // address, mask
    std::vector<std::string> Gateways;
    std::vector<std::string> DnsServers; // the primary first
    bool DnsUnknown = false; // the servers could not be read (a local stub answers): not checked
    bool Dhcp = false;
    bool OperUp = true;
    bool operator==(const TAdapterView&) const = default;
};

enum class TCheckOutcome {
    InEffect,
    NotYet,    // not (yet) showing the set: the wait goes on until its limit
    NoAdapter, // no adapter is the connection: nothing to check
    NoLink,    // not connected: what is stored takes effect once it connects (a DHCP
               // set only when the connection shows DHCP on)
};

struct TCheckResult {
    TCheckOutcome Outcome = TCheckOutcome::NotYet;
    // What the user is told when the wait ends with this result; for InEffect
    // "" or what could not be checked.
    std::string Text;
};

// `adapter` is nullptr when no adapter is the set's connection now.
TCheckResult CheckActivation(const TIPSetValues& set, const TAdapterView* adapter);

// The first of `sets` whose connection is `connection` and that `adapter`
// shows now, by the same check an apply ends with; nullptr when none is.
const TIPSetValues* SetInEffect(const std::vector<TIPSetValues>& sets,
                                const std::string& connection, const TAdapterView& adapter);

// How long the check waits for the set to show: DHCP waits for a lease.
unsigned CheckLimitMs(const TIPSetValues& set);
