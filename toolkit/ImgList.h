#pragma once
// A list of same-sized pictures with alpha, loaded from a bitmap strip in the
// program's resources.
#include "base/Classes.h"
#include "toolkit/GdiHandles.h"

#include <windows.h>

#include <memory>
#include <vector>

class TImageList : public TComponent {
public:
    TImageList(TComponent* owner, int width, int height);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Count() const { return static_cast<int>(FImages.size()); }
    // A 32-bit bitmap resource holding the pictures side by side.
    void LoadStrip(const char* resourceName);
    // Adds one picture of Width x Height pixels, 0xAARRGGBB, top row first.
    void Add(const std::vector<DWORD>& pixels);
    // The same pictures drawn larger, for larger display scales: a strip of
    // the resources, or an empty set of `size` pixels to Add them to.
    void LoadLargerStrip(const char* resourceName, int size);
    TImageList& AddLargerSet(int size);
    // The width of the drawing a picture `size` pixels wide is made from: the
    // smallest that is at least that large, else the largest there is.
    int SourceSizeFor(int size) const;
    // Draws a picture, `size` pixels square (0: Width x Height); a disabled
    // one is drawn grey and faint.
    void Draw(HDC dc, int x, int y, int index, bool enabled = true, int size = 0) const;
    // The picture as a premultiplied 32-bit bitmap; it stays the list's.
    HBITMAP Bitmap(int index) const;
    const std::vector<DWORD>& Pixels(int index) const;

    const char* ClassName() const override { return "TImageList"; }

private:
    int FWidth, FHeight;
    std::vector<std::vector<DWORD>> FImages;
    std::vector<TBitmapHandle> FBitmaps;              // premultiplied, per picture
    std::vector<TBitmapHandle> FDisabledBitmaps;      // the same, grey and faint
    std::vector<std::unique_ptr<TImageList>> FLarger; // by size, smallest first
    TImageList& InsertLarger(std::unique_ptr<TImageList> set);
};
