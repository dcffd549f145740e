#pragma once
// Names for assistive technology. A named control answers WM_GETOBJECT
// itself with the standard accessible object, whose name is replaced by the
// given one; nothing runs until a client asks.
#include <windows.h>

#include <string>

// The answer to WM_GETOBJECT for the client object of `wnd`: the standard
// accessible object, named `name`. 0 for any other object, or on failure.
LRESULT AccessibleObjectNamed(HWND wnd, WPARAM wParam, LPARAM lParam, const std::string& name);

// The name assistive technology reads for the client object of `wnd`, asked
// as a screen reader asks (also of another process's window); "" for none.
std::string AccessibleNameOf(HWND wnd);
