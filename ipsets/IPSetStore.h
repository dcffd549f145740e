#pragma once
// Whole-table work on the program's two tables, apart from any window: all
// sets as plain values, sets found by name, and an import written in one
// transaction.
#include "activation/IPSetValues.h"
#include "store/Database.h"

#include <string>
#include <vector>

// Every stored set in key order, its connection by name ("" when the set's
// connection is not in the list).
std::vector<TIPSetValues> ReadStoredSets(TDbTable& sets, TDbTable& connections);

// The keys of the sets named `name` (compared without case, not trimmed).
std::vector<long long> SetsNamed(TDbTable& sets, const std::string& name);

// How many of `imported` replace a stored set of the same name.
int ReplacedSetCount(TDbTable& sets, const std::vector<TIPSetValues>& imported);

// Stores `imported` in one transaction: a set of a new name is added, every
// stored set of that name is replaced, a connection not in the list is added
// to it. On failure nothing is changed and both tables are re-read. Sets
// with a second DNS server (extra addresses) are refused, before anything is
// written, when the file has no DNS2 (EXTRAADDRESSES) field.
void StoreImportedSets(TDbConnection& connection, TDbTable& sets, TDbTable& connections,
                       const std::vector<TIPSetValues>& imported);

// What the user is asked before `count` stored sets are replaced.
std::string ReplacedSetsQuestion(int count);
