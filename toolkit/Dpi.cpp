#include "toolkit/Dpi.h"

#include <algorithm>

namespace {

// The calls of Windows 10 (1607) that answer per monitor; null where absent.
struct TDpiCalls {
    UINT(WINAPI* GetDpiForWindow)(HWND) = nullptr;
    UINT(WINAPI* GetDpiForSystem)() = nullptr;
    BOOL(WINAPI* AdjustWindowRectExForDpi)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
    BOOL(WINAPI* SystemParametersInfoForDpi)(UINT, UINT, void*, UINT, UINT) = nullptr;
    // shcore.dll, Windows 8.1: MDT_EFFECTIVE_DPI is 0.
    HRESULT(WINAPI* GetDpiForMonitor)(HMONITOR, int, UINT*, UINT*) = nullptr;
};

template <typename F> void Find(F& slot, HMODULE module, const char* name) {
    if (module) slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const TDpiCalls& Calls() {
    static const TDpiCalls calls = [] {
        TDpiCalls c;
        HMODULE user = GetModuleHandleA("user32.dll");
        Find(c.GetDpiForWindow, user, "GetDpiForWindow");
        Find(c.GetDpiForSystem, user, "GetDpiForSystem");
        Find(c.AdjustWindowRectExForDpi, user, "AdjustWindowRectExForDpi");
        Find(c.SystemParametersInfoForDpi, user, "SystemParametersInfoForDpi");
        // Loaded once and kept for the process's life.
        Find(c.GetDpiForMonitor, LoadLibraryA("shcore.dll"), "GetDpiForMonitor");
        return c;
    }();
    return calls;
}

int Sane(UINT dpi) {
    return dpi >= 48 && dpi <= 960 ? static_cast<int>(dpi) : SystemDpi();
}

} // namespace

int ScaleToDpi(int value, int dpi) {
    return RescaleDpi(value, DesignDpi, dpi);
}

int RescaleDpi(int value, int fromDpi, int toDpi) {
    if (fromDpi == toDpi || fromDpi <= 0) return value;
    return MulDiv(value, toDpi, fromDpi);
}

RECT BoundsFittingText(const RECT& placed, int textWidth, TTextAnchor anchor) {
    RECT r = placed;
    const int width = r.right - r.left;
    if (textWidth <= width) return r;
    switch (anchor) {
    case TTextAnchor::Left:
        r.right = r.left + textWidth;
        break;
    case TTextAnchor::Right:
        r.left = r.right - textWidth;
        break;
    case TTextAnchor::Center:
        r.left -= (textWidth - width) / 2;
        r.right = r.left + textWidth;
        break;
    }
    return r;
}

int SystemDpi() {
    if (Calls().GetDpiForSystem) return static_cast<int>(Calls().GetDpiForSystem());
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : DesignDpi;
}

int DpiOfMonitor(HMONITOR monitor) {
    UINT x = 0, y = 0;
    if (monitor && Calls().GetDpiForMonitor && Calls().GetDpiForMonitor(monitor, 0, &x, &y) == S_OK)
        return Sane(y);
    return SystemDpi();
}

int DpiOfWindow(HWND wnd) {
    if (wnd && Calls().GetDpiForWindow) return Sane(Calls().GetDpiForWindow(wnd));
    return SystemDpi();
}

void AdjustWindowRectForDpi(RECT& rect, DWORD style, bool menu, DWORD exStyle, int dpi) {
    if (Calls().AdjustWindowRectExForDpi &&
        Calls().AdjustWindowRectExForDpi(&rect, style, menu, exStyle, static_cast<UINT>(dpi)))
        return;
    AdjustWindowRectEx(&rect, style, menu, exStyle);
}

HFONT CreateMenuFontForDpi(int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (Calls().SystemParametersInfoForDpi &&
        Calls().SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0,
                                           static_cast<UINT>(dpi)))
        return CreateFontIndirectW(&metrics.lfMenuFont);
    // Older systems answer at the system's DPI.
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    metrics.lfMenuFont.lfHeight = RescaleDpi(metrics.lfMenuFont.lfHeight, SystemDpi(), dpi);
    return CreateFontIndirectW(&metrics.lfMenuFont);
}
