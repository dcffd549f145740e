#pragma once
// Display scale. Every layout in the program is drawn for 96 dots per inch and
// scaled to the DPI of the monitor its window is on. The per-monitor calls of
// Windows 10 are looked up at run time: Windows 7 and 8, and Wine, may lack
// them, and then the system's DPI serves every window.
#include <windows.h>

constexpr int DesignDpi = 96;

// `value` (pixels at 96 DPI) at `dpi`, rounded to the nearest pixel.
int ScaleToDpi(int value, int dpi);
// The same rounding from one DPI to another, for a layout that moves monitor.
int RescaleDpi(int value, int fromDpi, int toDpi);

// Where a label or button goes so that its text fits: at least `textWidth`
// wide; a right-aligned one keeps its right edge, a centred one its centre,
// any other its left edge.
enum class TTextAnchor { Left, Right, Center };
RECT BoundsFittingText(const RECT& placed, int textWidth, TTextAnchor anchor);

int SystemDpi();
int DpiOfMonitor(HMONITOR monitor);
int DpiOfWindow(HWND wnd);
// AdjustWindowRectEx with the frame metrics of `dpi`.
void AdjustWindowRectForDpi(RECT& rect, DWORD style, bool menu, DWORD exStyle, int dpi);
// The system's menu font as it is at `dpi`; the caller owns it.
HFONT CreateMenuFontForDpi(int dpi);
