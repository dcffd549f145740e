#pragma once
// IP sets as a CSV file for moving them between machines: UTF-8 with a
// byte-order mark, CRLF, quoting as RFC 4180, one header line
//   Name,Address,Mask,Gateway,DNS,DNS2,Extra,DHCP,Connection
// (files without Extra, written before it, still import). Extra holds the
// extra addresses as stored ("A/M;A/M"), DHCP is 0 or 1 and the connection
// goes by its name. The program's text is
// in the ANSI code page; it is converted on the way out and in. A cell that a
// spreadsheet would run as a formula (starting with = + - @, a tab or a CR)
// is written with a leading ', which reading takes away again.
#include "activation/IPSetValues.h"

#include <string>
#include <vector>

extern const char* const IPSetCsvHeader;

// The whole file's bytes for `sets`, given in the ANSI code page.
std::string WriteIPSetCsv(const std::vector<TIPSetValues>& sets);

// Reads and checks a whole file by the editor's rules: a name (trimmed, not
// empty, once per file, with an ANSI form), name and connection without
// control characters, addresses that are dotted quads, the editor's address
// rules for a static set (SetAddressRefusal), no second DNS server without
// a first, DHCP 0 or 1. False with `error` naming the line and the field of
// the first fault; `sets` is then left empty.
bool ParseIPSetCsv(const std::string& bytes, std::vector<TIPSetValues>& sets, std::string& error);

// The file at `path`, written whole or not at all (through a new temporary
// file beside it); raises with the reason.
void SaveIPSetCsvFile(const std::string& path, const std::vector<TIPSetValues>& sets);
// The bytes of the file at `path`; raises when it cannot be read or is far
// larger than any list of IP sets.
std::string LoadIPSetCsvFile(const std::string& path);
