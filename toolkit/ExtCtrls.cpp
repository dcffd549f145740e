#include "toolkit/ExtCtrls.h"

TImage::TImage(TComponent* owner, TControl* parent, const TControlArgs& args)
    : TCustomControl(owner, parent, WithoutTabStop(args), "TIPTavixImage") {
    FCustomPaint = true;
}

void TImage::SetPicture(TBitmapHandle bitmap, int width, int height) {
    FPicture = std::move(bitmap);
    FPictureWidth = width;
    FPictureHeight = height;
    if (AutoSize && FPicture) SetBounds(Left(), Top(), Scale(width), Scale(height));
    InvalidateRect(Handle(), nullptr, TRUE);
}

void TImage::Paint(HDC dc) {
    RECT r;
    GetClientRect(Handle(), &r);
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    if (!FPicture) return;
    TMemDC mem(CreateCompatibleDC(dc));
    TSelectObject select(mem.Get(), FPicture.Get());
    const int width = Scale(FPictureWidth), height = Scale(FPictureHeight);
    if (width == FPictureWidth && height == FPictureHeight) {
        BitBlt(dc, 0, 0, width, height, mem.Get(), 0, 0, SRCCOPY);
        return;
    }
    // A photograph: smoothed as it grows rather than repeated pixel by pixel.
    const int oldMode = SetStretchBltMode(dc, HALFTONE);
    POINT oldOrigin;
    SetBrushOrgEx(dc, 0, 0, &oldOrigin);
    StretchBlt(dc, 0, 0, width, height, mem.Get(), 0, 0, FPictureWidth, FPictureHeight, SRCCOPY);
    SetBrushOrgEx(dc, oldOrigin.x, oldOrigin.y, nullptr);
    SetStretchBltMode(dc, oldMode);
}

LRESULT TImage::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_LBUTTONUP && OnClick) {
        OnClick(this);
        return 0;
    }
    return TCustomControl::WndProc(msg, wParam, lParam);
}
