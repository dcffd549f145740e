#pragma once
// What an adapter has now, as an IP set: the values a new set starts from
// and what an undo puts back.
#include "activation/IPSetValues.h"

class TAdapter;

// The adapter's first address and mask (its further ones, at most
// MaxExtraAddresses, as extra addresses of a static configuration), first gateway, first two DNS
// servers and whether DHCP is on, for `connection`; an address of 0.0.0.0 is none.
TIPSetValues ConfigurationOfAdapter(const TAdapter& adapter, const std::string& connection);
