#include "toolkit/ImgList.h"

#include "base/Exceptions.h"
#include "base/SysUtils.h"

#include <algorithm>

namespace {

TBitmapHandle MakePremultiplied(const std::vector<DWORD>& pixels, int width, int height,
                                bool disabled) {
    void* bits = nullptr;
    TBitmapHandle bmp(CreateTopDownDIB32(width, height, &bits));
    if (!bmp) RaiseLastOSError();
    auto* out = static_cast<DWORD*>(bits);
    for (size_t i = 0; i < pixels.size(); ++i) {
        DWORD p = pixels[i];
        DWORD a = p >> 24, r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        if (disabled) {
            DWORD grey = (r * 30 + g * 59 + b * 11) / 100;
            r = g = b = grey;
            a = a * 2 / 5;
        }
        out[i] = (a << 24) | ((r * a / 255) << 16) | ((g * a / 255) << 8) | (b * a / 255);
    }
    GdiFlush();
    return bmp;
}

} // namespace

TImageList::TImageList(TComponent* owner, int width, int height)
    : TComponent(owner), FWidth(width), FHeight(height) {}

void TImageList::Add(const std::vector<DWORD>& pixels) {
    if (pixels.size() != static_cast<size_t>(FWidth * FHeight))
        throw Exception("Invalid image size");
    FImages.push_back(pixels);
    FBitmaps.push_back(MakePremultiplied(pixels, FWidth, FHeight, false));
    FDisabledBitmaps.push_back(MakePremultiplied(pixels, FWidth, FHeight, true));
}

void TImageList::LoadStrip(const char* resourceName) {
    TBitmapHandle strip(static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), resourceName,
                                                        IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!strip) throw Exception(Format("Bitmap resource %s not found", resourceName));
    DIBSECTION ds{};
    GetObjectA(strip.Get(), sizeof(ds), &ds);
    const int width = ds.dsBm.bmWidth, height = std::abs(ds.dsBm.bmHeight);
    if (ds.dsBm.bmBitsPixel != 32 || height != FHeight || width % FWidth != 0)
        throw Exception(Format("Bitmap resource %s is not a %dx%d picture strip", resourceName,
                               FWidth, FHeight));
    const auto* bits = static_cast<const DWORD*>(ds.dsBm.bmBits);
    const bool bottomUp = ds.dsBmih.biHeight > 0;
    for (int image = 0; image < width / FWidth; ++image) {
        std::vector<DWORD> pixels(static_cast<size_t>(FWidth * FHeight));
        for (int y = 0; y < FHeight; ++y) {
            int row = bottomUp ? height - 1 - y : y;
            for (int x = 0; x < FWidth; ++x)
                pixels[static_cast<size_t>(y * FWidth + x)] = bits[row * width + image * FWidth + x];
        }
        Add(pixels);
    }
}

const std::vector<DWORD>& TImageList::Pixels(int index) const {
    if (index < 0 || index >= Count()) throw EListError(index);
    return FImages[static_cast<size_t>(index)];
}

HBITMAP TImageList::Bitmap(int index) const {
    if (index < 0 || index >= Count()) throw EListError(index);
    return FBitmaps[static_cast<size_t>(index)].Get();
}

void TImageList::LoadLargerStrip(const char* resourceName, int size) {
    auto larger = std::make_unique<TImageList>(nullptr, size, size);
    larger->LoadStrip(resourceName);
    if (larger->Count() != Count())
        throw Exception(
            Format("Bitmap resource %s does not hold %d pictures", resourceName, Count()));
    InsertLarger(std::move(larger));
}

TImageList& TImageList::AddLargerSet(int size) {
    return InsertLarger(std::make_unique<TImageList>(nullptr, size, size));
}

TImageList& TImageList::InsertLarger(std::unique_ptr<TImageList> set) {
    const int size = set->Width();
    auto at = std::find_if(FLarger.begin(), FLarger.end(),
                           [size](const auto& s) { return s->Width() > size; });
    return **FLarger.insert(at, std::move(set));
}

int TImageList::SourceSizeFor(int size) const {
    if (size <= FWidth || FLarger.empty()) return FWidth;
    for (const auto& set : FLarger)
        if (set->Width() >= size) return set->Width();
    return FLarger.back()->Width();
}

void TImageList::Draw(HDC dc, int x, int y, int index, bool enabled, int size) const {
    if (index < 0 || index >= Count()) return;
    if (size <= 0) size = FWidth;
    const int source = SourceSizeFor(size);
    if (source != FWidth) {
        for (const auto& set : FLarger)
            if (set->Width() == source) return set->Draw(dc, x, y, index, enabled, size);
    }
    TMemDC mem(CreateCompatibleDC(dc));
    HBITMAP bmp = (enabled ? FBitmaps : FDisabledBitmaps)[static_cast<size_t>(index)].Get();
    TSelectObject select(mem.Get(), bmp);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    const int height = size == FWidth ? FHeight : MulDiv(FHeight, size, FWidth);
    AlphaBlend(dc, x, y, size, height, mem.Get(), 0, 0, FWidth, FHeight, blend);
}
