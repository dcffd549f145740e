#pragma once
// Owners for GDI objects, menus and accelerator tables, and guards that restore
// what a drawing routine selects into a device context.
#include "base/Handles.h"

struct TGdiTraits {
    static HGDIOBJ Invalid() { return nullptr; }
    static void Close(HGDIOBJ h) { DeleteObject(h); }
};
template <typename T> struct TGdiTypedTraits {
    static T Invalid() { return nullptr; }
    static void Close(T h) { DeleteObject(h); }
};
struct TMenuTraits {
    static HMENU Invalid() { return nullptr; }
    static void Close(HMENU h) { DestroyMenu(h); }
};
struct TAccelTraits {
    static HACCEL Invalid() { return nullptr; }
    static void Close(HACCEL h) { DestroyAcceleratorTable(h); }
};
struct TMemDCTraits {
    static HDC Invalid() { return nullptr; }
    static void Close(HDC h) { DeleteDC(h); }
};

using TFontHandle = TUniqueHandle<HFONT, TGdiTypedTraits<HFONT>>;
using TBrushHandle = TUniqueHandle<HBRUSH, TGdiTypedTraits<HBRUSH>>;
using TPenHandle = TUniqueHandle<HPEN, TGdiTypedTraits<HPEN>>;
using TBitmapHandle = TUniqueHandle<HBITMAP, TGdiTypedTraits<HBITMAP>>;
using TRegionHandle = TUniqueHandle<HRGN, TGdiTypedTraits<HRGN>>;
using TMenuHandle = TUniqueHandle<HMENU, TMenuTraits>;
using TAccelHandle = TUniqueHandle<HACCEL, TAccelTraits>;
using TMemDC = TUniqueHandle<HDC, TMemDCTraits>;

// A 32-bit device-independent bitmap, top row first; `bits` receives its
// pixels. The caller owns the result (null on failure).
inline HBITMAP CreateTopDownDIB32(int width, int height, void** bits, HDC dc = nullptr) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(dc, &bi, DIB_RGB_COLORS, bits, nullptr, 0);
}

// Selects an object into a DC for the guard's lifetime.
class TSelectObject {
public:
    TSelectObject(HDC dc, HGDIOBJ object) : FDC(dc), FOld(SelectObject(dc, object)) {}
    ~TSelectObject() { SelectObject(FDC, FOld); }
    TSelectObject(const TSelectObject&) = delete;
    TSelectObject& operator=(const TSelectObject&) = delete;

private:
    HDC FDC;
    HGDIOBJ FOld;
};

// Saves a DC's whole state (clip region, colours, modes) and restores it.
class TSaveDC {
public:
    explicit TSaveDC(HDC dc) : FDC(dc), FSaved(SaveDC(dc)) {}
    ~TSaveDC() { RestoreDC(FDC, FSaved); }
    TSaveDC(const TSaveDC&) = delete;
    TSaveDC& operator=(const TSaveDC&) = delete;

private:
    HDC FDC;
    int FSaved;
};
