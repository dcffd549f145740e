#pragma once
// What a name the user gives (an IP set's, a connection's) may hold, as one
// rule for the editor and the CSV import.
#include <string>

// True when `text` holds a control character (below 0x20, or DEL): a line
// break would show as two lines wherever names are listed, and a NUL would
// cut the name.
bool HasControlCharacter(const std::string& text);
