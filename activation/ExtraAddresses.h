#pragma once
// The extra addresses of a static set: address/mask pairs kept beside its
// main address, stored as one text ("10.1.0.5/255.255.0.0;192.168.1.50/
// 255.255.255.0") and applied with one "add address" line each.
#include "activation/IPSetValues.h"

#include <string>
#include <utility>
#include <vector>

using TAddressPair = std::pair<std::string, std::string>; // address, mask

// At most this many extra addresses in one set.
constexpr size_t MaxExtraAddresses = 8;

// The pairs of a stored text, in order; false when the text is not a list of
// "ADDRESS/MASK" items joined by ";" (blanks around an item are allowed, and
// an empty text holds none).
bool ParseExtraAddresses(const std::string& text, std::vector<TAddressPair>& pairs);
// The stored text of `pairs`.
std::string ExtraAddressesText(const std::vector<TAddressPair>& pairs);
// "10.1.0.5/255.255.0.0", as the tree and the messages show a pair.
std::string PairText(const TAddressPair& pair);

// Why `pair` cannot be one more extra address of a static set whose main
// address is `mainAddress` and whose other extra addresses are `others`, in
// the words the editor, the import and the activation show; "" when it can.
// The same rules as the main address and mask, no pair twice, none equal to
// the main address.
std::string ExtraAddressProblem(const TAddressPair& pair, const std::string& mainAddress,
                                const std::vector<TAddressPair>& others);

// Why the set's stored extra addresses cannot be applied (unreadable text,
// more than MaxExtraAddresses, a pair the rules refuse); "" when they can.
std::string ExtraAddressesRefusal(const TIPSetValues& set);
