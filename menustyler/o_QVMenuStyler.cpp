#include "menustyler/o_QVMenuStyler.h"

#include "toolkit/Controls.h"
#include "toolkit/GdiHandles.h"
#include "toolkit/ImgList.h"
#include "base/SysUtils.h"

#include <algorithm>
#include <cmath>
#include <vector>

// ---------------------------------------------------------------- schemes

void TqvColorScheme::Assign(const TPersistent* source) {
    if (auto* other = dynamic_cast<const TqvColorScheme*>(source)) {
        SeperatorBackgroundColor = other->SeperatorBackgroundColor;
        SeperatorLineColor = other->SeperatorLineColor;
        GutterColor = other->GutterColor;
        ItemBackgroundColor = other->ItemBackgroundColor;
        ItemSelectedColor = other->ItemSelectedColor;
        FontColor = other->FontColor;
        FontDisabledColor = other->FontDisabledColor;
        GradientStart1 = other->GradientStart1;
        GradientEnd1 = other->GradientEnd1;
        GradientStart2 = other->GradientStart2;
        GradientEnd2 = other->GradientEnd2;
        CheckedColor = other->CheckedColor;
        return;
    }
    TPersistent::Assign(source);
}

bool TqvColorScheme::operator==(const TqvColorScheme& o) const {
    return SeperatorBackgroundColor == o.SeperatorBackgroundColor &&
           SeperatorLineColor == o.SeperatorLineColor && GutterColor == o.GutterColor &&
           ItemBackgroundColor == o.ItemBackgroundColor && ItemSelectedColor == o.ItemSelectedColor &&
           FontColor == o.FontColor && FontDisabledColor == o.FontDisabledColor &&
           GradientStart1 == o.GradientStart1 && GradientEnd1 == o.GradientEnd1 &&
           GradientStart2 == o.GradientStart2 && GradientEnd2 == o.GradientEnd2 &&
           CheckedColor == o.CheckedColor;
}

namespace {
// One column of the colour table, in published order.
void Fill(TqvColorScheme& s, COLORREF separatorBackground, COLORREF separatorLine,
          COLORREF gutter, COLORREF itemBackground, COLORREF itemSelected, COLORREF font,
          COLORREF fontDisabled, COLORREF start1, COLORREF end1, COLORREF start2, COLORREF end2,
          COLORREF checked) {
    s.SeperatorBackgroundColor = separatorBackground;
    s.SeperatorLineColor = separatorLine;
    s.GutterColor = gutter;
    s.ItemBackgroundColor = itemBackground;
    s.ItemSelectedColor = itemSelected;
    s.FontColor = font;
    s.FontDisabledColor = fontDisabled;
    s.GradientStart1 = start1;
    s.GradientEnd1 = end1;
    s.GradientStart2 = start2;
    s.GradientEnd2 = end2;
    s.CheckedColor = checked;
}
} // namespace

void TqvColorScheme::LoadDefaultScheme() {
    Fill(*this, 0xEEE7DD, 0xC5C5C5, 0xEEEEE9, 0xFAFAFA, 0xE6D5CB, 0x6E1500, 0xDEC5D8, 0xEFE8E4,
         0xDEC5B8, 0xD8BAAB, 0xEFE8E4, 0xE6D5CB);
}

void TqvColorScheme::LoadOfficeBlueScheme() {
    Fill(*this, 0xEEE7DD, 0xC5C5C5, 0xEEEEE9, 0xFAFAFA, 0xE6D5CB, 0x6E1500, 0xDEC5D8, 0xEFE8E4,
         0xDEC5B8, 0xD8BAAB, 0xEFE8E4, 0xE6D5CB);
}

void TqvColorScheme::LoadObsidianScheme() {
    Fill(*this, 0xFFFFFF, 0xC5C5C5, 0x676767, 0xFFFFFF, 0x464646, 0x464646, 0xC0C0C0, 0xEBFDFF,
         0xABEBFF, 0x69D6FF, 0x96E4FF, 0xE6D5CB);
}

void TqvColorScheme::LoadLunaScheme() {
    Fill(*this, 0xF0FBFF, 0xC5C5C5, 0xF2DAC2, 0xFFFFFF, 0x800000, 0x800000, 0xC0C0C0, 0xEBFDFF,
         0xABEBFF, 0x69D6FF, 0x96E4FF, 0xE6D5CB);
}

void TqvColorScheme::LoadSilverScheme() {
    Fill(*this, 0xFFFFFF, 0xC5C5C5, 0xE0E4E7, 0xFFFFFF, 0x4C535C, 0x4C535C, 0xC0C0C0, 0xEBFDFF,
         0xABEBFF, 0x69D6FF, 0x96E4FF, 0xE6D5CB);
}

void TqvColorScheme::LoadVistaScheme() {
    Fill(*this, 0xE0E0E0, 0xFFFFFF, 0xF0F0F0, 0xF0F0F0, clNone, 0x000000, 0xC0C0C0, 0xF4F1EB,
         0xF3EBDA, 0xF3EBDA, 0xF4F1EB, 0xE6D5CB);
}

// ---------------------------------------------------------------- styler

TqvMenuStyler::TqvMenuStyler(TComponent* owner)
    : TComponent(owner), FColorScheme(std::make_unique<TqvColorScheme>()) {
    FColorScheme->LoadDefaultScheme();
}

TqvMenuStyler::~TqvMenuStyler() {
    // Menus that outlive the styler must not call its handlers.
    if (FMenu) FMenu->RemoveFreeNotification(this);
    UnhookMenus();
}

void TqvMenuStyler::SetMenuStyle(TqvMenuStyle style) {
    if (style == FMenuStyle) return;
    FMenuStyle = style;
    switch (style) {
    case msDefault: FColorScheme->LoadDefaultScheme(); break;
    case msOfficeBlue: FColorScheme->LoadOfficeBlueScheme(); break;
    case msObsidian: FColorScheme->LoadObsidianScheme(); break;
    case msLuna: FColorScheme->LoadLunaScheme(); break;
    case msSilver: FColorScheme->LoadSilverScheme(); break;
    case msVista: FColorScheme->LoadVistaScheme(); break;
    }
    RefreshPass();
}

void TqvMenuStyler::RefreshPass() {
    if (FHookAllMenus) {
        if (TComponent* owner = Owner())
            for (int i = 0; i < owner->ComponentCount(); ++i)
                if (auto* menu = dynamic_cast<TMenu*>(owner->Components(i))) RefreshMenu(menu);
    } else {
        RefreshMenu(FMenu);
    }
}

void TqvMenuStyler::SetHookAllMenus(bool value) {
    FHookAllMenus = value;
    if (value)
        HookMenus();
    else
        UnhookMenus();
    RefreshPass();
}

void TqvMenuStyler::SetMenu(TMenu* menu) {
    if (FMenu) {
        FMenu->RemoveFreeNotification(this);
        UnhookMenus();
    }
    FMenu = menu;
    if (FMenu) {
        FMenu->FreeNotification(this);
        HookMenus();
        RefreshMenu(FMenu);
    }
}

void TqvMenuStyler::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == FMenu) {
        FMenu->RemoveFreeNotification(this);
        FMenu = nullptr;
    }
    TComponent::Notification(component, operation);
}

void TqvMenuStyler::Hook(TMenuItem* item) {
    if (item->Caption == "-") {
        item->OnDrawItem = [this](TComponent* s, HDC dc, const RECT& r, bool sel) { DrawMenuSeparator(s, dc, r, sel); };
        item->OnMeasureItem = [this](TComponent* s, HDC dc, int& w, int& h) { MeasureMenuSeparator(s, dc, w, h); };
    } else {
        item->OnDrawItem = [this](TComponent* s, HDC dc, const RECT& r, bool sel) { DrawMenuItem(s, dc, r, sel); };
        item->OnMeasureItem = [this](TComponent* s, HDC dc, int& w, int& h) { MeasureMenuItem(s, dc, w, h); };
    }
}

void TqvMenuStyler::Unhook(TMenuItem* item) {
    item->OnDrawItem = nullptr;
    item->OnMeasureItem = nullptr;
}

void TqvMenuStyler::HookMenus() {
    if (FHookAllMenus) {
        TComponent* owner = Owner();
        if (!owner) return;
        for (int i = 0; i < owner->ComponentCount(); ++i) {
            TComponent* c = owner->Components(i);
            if (auto* menu = dynamic_cast<TMenu*>(c)) menu->SetOwnerDraw(true);
            if (auto* item = dynamic_cast<TMenuItem*>(c)) Hook(item);
        }
    } else if (FMenu) {
        FMenu->SetOwnerDraw(true);
        for (int i = 0; i < FMenu->Items()->Count(); ++i) Hook(FMenu->Items()->Items(i));
    }
}

void TqvMenuStyler::UnhookMenus() {
    if (FHookAllMenus) {
        TComponent* owner = Owner();
        if (!owner) return;
        for (int i = 0; i < owner->ComponentCount(); ++i) {
            TComponent* c = owner->Components(i);
            if (auto* menu = dynamic_cast<TMenu*>(c)) menu->SetOwnerDraw(false);
            if (auto* item = dynamic_cast<TMenuItem*>(c)) Unhook(item);
        }
    } else if (FMenu) {
        FMenu->SetOwnerDraw(false);
        for (int i = 0; i < FMenu->Items()->Count(); ++i) Unhook(FMenu->Items()->Items(i));
    }
}

void TqvMenuStyler::RefreshMenu(TMenu* menu) {
    if (!menu) return;
    menu->SetOwnerDraw(false);
    // The owner window shows the rebuilt menu at once when it is on the screen.
    if (auto* window = dynamic_cast<TControl*>(Owner()); window && window->Handle() &&
                                                          IsWindowVisible(window->Handle())) {
        ShowWindow(window->Handle(), SW_HIDE);
        ShowWindow(window->Handle(), SW_SHOW);
        BringWindowToTop(window->Handle());
    }
    menu->SetOwnerDraw(true);
}

// ---------------------------------------------------------------- drawing

int TqvMenuStyler::Px(int value) const {
    auto* window = dynamic_cast<TControl*>(Owner());
    return window ? window->Scale(value) : value;
}

int RoundHalfEven(double value) { return static_cast<int>(std::nearbyint(value)); }

namespace {

// The menu's surface for one handler call: fonts in bold or regular weight
// made from the surface's own font, solid fills and pen lines. Everything it
// selects is undone when it goes away.
class TMenuCanvas {
public:
    explicit TMenuCanvas(HDC dc) : FDC(dc), FSaved(SaveDC(dc)) {
        GetObjectA(GetCurrentObject(dc, OBJ_FONT), sizeof(FBase), &FBase);
    }
    ~TMenuCanvas() { RestoreDC(FDC, FSaved); } // before the fonts are deleted
    TMenuCanvas(const TMenuCanvas&) = delete;
    TMenuCanvas& operator=(const TMenuCanvas&) = delete;

    void SetFont(bool bold, COLORREF color) {
        LOGFONTA font = FBase;
        font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
        FFonts.emplace_back(CreateFontIndirectA(&font));
        SelectObject(FDC, FFonts.back().Get());
        SetTextColor(FDC, color);
    }
    void SetFont(bool bold) { SetFont(bold, GetTextColor(FDC)); }
    SIZE Measure(const std::string& text, UINT flags = 0x600) {
        if (text.empty()) return SIZE{0, 0};
        RECT r{0, 0, 0, 0};
        int height = DrawTextA(FDC, text.c_str(), -1, &r, flags);
        return SIZE{r.right, height};
    }
    void Text(const std::string& text, RECT r, UINT flags) {
        if (!text.empty()) DrawTextA(FDC, text.c_str(), -1, &r, flags);
    }
    void Fill(const RECT& r, COLORREF color) {
        TBrushHandle brush(CreateSolidBrush(color));
        FillRect(FDC, &r, brush.Get());
    }
    void Line(int x0, int y0, int x1, int y1, COLORREF color, int width = 1) {
        TPenHandle pen(CreatePen(PS_SOLID, width, color));
        TSelectObject select(FDC, pen.Get());
        MoveToEx(FDC, x0, y0, nullptr);
        LineTo(FDC, x1, y1);
    }
    void RoundFrame(const RECT& r, COLORREF color, int corner) {
        TPenHandle pen(CreatePen(PS_SOLID, 1, color));
        TSelectObject selectPen(FDC, pen.Get());
        TSelectObject selectBrush(FDC, GetStockObject(HOLLOW_BRUSH));
        RoundRect(FDC, r.left, r.top, r.right, r.bottom, corner, corner);
    }
    void Hollow() { SetBkMode(FDC, TRANSPARENT); }
    HDC Handle() const { return FDC; }

private:
    HDC FDC;
    int FSaved;
    LOGFONTA FBase{};
    std::vector<TFontHandle> FFonts;
};

TImageList* ImagesOf(const TMenuItem* item) {
    TMenu* menu = item->GetParentMenu();
    return menu ? menu->Images : nullptr;
}

// The check glyph, loaded for each use and drawn `size` pixels square with its
// bottom-left pixel's colour left out.
void DrawCheckGlyph(HDC dc, int x, int y, int size) {
    TBitmapHandle glyph(LoadBitmapA(GetModuleHandleA(nullptr), "MENUITEMCHECKED"));
    if (!glyph) return;
    BITMAP info{};
    GetObjectA(glyph.Get(), sizeof(info), &info);
    TMemDC mem(CreateCompatibleDC(dc));
    TSelectObject select(mem.Get(), glyph.Get());
    COLORREF transparent = GetPixel(mem.Get(), 0, info.bmHeight - 1);
    TransparentBlt(dc, x, y, size, MulDiv(size, info.bmHeight, info.bmWidth), mem.Get(), 0, 0,
                   info.bmWidth, info.bmHeight, transparent);
}

} // namespace

void TqvMenuStyler::MeasureMenuItem(TComponent* sender, HDC dc, int& width, int& height) {
    auto* item = static_cast<TMenuItem*>(sender);
    TMenuCanvas canvas(dc);
    canvas.SetFont(true);
    SIZE caption = canvas.Measure(item->Caption);
    int line = caption.cx;
    std::string shortcut = ShortCutToText(item->ShortCut);
    if (!shortcut.empty()) line += canvas.Measure(shortcut, 0x602).cx + 2 * Px(MarginX);
    canvas.SetFont(false);
    SIZE hint = canvas.Measure(item->Hint);
    width = std::max<int>(line, hint.cx) + 2 * Px(MarginX) + (ImagesOf(item) ? Px(GutterWidth) : 0);
    height = caption.cy + hint.cy + 4 * Px(MarginY);
}

void TqvMenuStyler::MeasureMenuSeparator(TComponent* sender, HDC dc, int& width, int& height) {
    auto* item = static_cast<TMenuItem*>(sender);
    if (item->Hint.empty()) {
        width = Px(10);
        height = Px(4);
        return;
    }
    TMenuCanvas canvas(dc);
    canvas.SetFont(true);
    SIZE hint = canvas.Measure(item->Hint);
    height = hint.cy + 4 * Px(MarginY);
    width = hint.cx + 2 * Px(MarginX) + Px(SeparatorLead);
}

void TqvMenuStyler::DrawSelection(HDC dc, const RECT& rect, int captionHeight, bool hasHint) {
    {
        TRegionHandle clip(
            CreateRoundRectRgn(rect.left, rect.top, rect.right, rect.bottom, Px(3), Px(3)));
        SelectClipRgn(dc, clip.Get()); // the DC keeps its own copy
    }
    const TqvColorScheme& s = *FColorScheme;
    if (hasHint) {
        int split = rect.top + captionHeight + 2 * Px(MarginY);
        DrawGradient(dc, RECT{rect.left, rect.top, rect.right, split}, 256, s.GradientStart1, s.GradientEnd1, 0);
        DrawGradient(dc, RECT{rect.left, split, rect.right, rect.bottom}, 256, s.GradientStart2, s.GradientEnd2, 0);
    } else {
        DrawGradient(dc, rect, 256, s.GradientStart1, s.GradientEnd1, 0);
    }
    SelectClipRgn(dc, nullptr);
    TMenuCanvas frame(dc);
    frame.RoundFrame(rect, s.SeperatorLineColor, Px(3));
}

void TqvMenuStyler::DrawMenuItem(TComponent* sender, HDC dc, const RECT& rect, bool selected) {
    auto* item = static_cast<TMenuItem*>(sender);
    const TqvColorScheme& s = *FColorScheme;
    TImageList* images = ImagesOf(item);
    TMenu* menu = item->GetParentMenu();
    const bool popupForm = (item->Parent() && item->Parent()->Parent()) ||
                           dynamic_cast<TPopupMenu*>(menu) != nullptr;
    TMenuCanvas canvas(dc);
    canvas.SetFont(true);
    const int captionHeight = canvas.Measure(item->Caption).cy;
    canvas.Fill(rect, s.ItemBackgroundColor);
    const COLORREF textColor = item->Enabled ? s.FontColor : s.FontDisabledColor;
    const bool checkGlyph = item->Checked && item->ImageIndex < 0;

    const int marginX = Px(MarginX), marginY = Px(MarginY), gutter = Px(GutterWidth);
    const int glyphX = rect.left + Px(3), glyphY = rect.top + Px(5), glyphSize = Px(16);

    if (!popupForm) {
        if (selected) DrawSelection(dc, rect, captionHeight, false);
        canvas.Hollow();
        canvas.SetFont(true, textColor);
        RECT text{rect.left + marginX, rect.top, rect.right, rect.bottom};
        canvas.Text(item->Caption, text, menu && menu->IsRightToLeft ? 0x20002 : 0x20000);
        return;
    }
    if (images) {
        canvas.Fill(RECT{rect.left, rect.top, gutter, rect.bottom}, s.GutterColor);
        canvas.Line(gutter, rect.top, gutter, rect.bottom, s.SeperatorLineColor);
        if (checkGlyph) DrawCheckGlyph(dc, glyphX, glyphY, glyphSize);
    }
    if (selected) {
        DrawSelection(dc, rect, captionHeight, !item->Hint.empty());
        if (checkGlyph) DrawCheckGlyph(dc, glyphX, glyphY, glyphSize);
    }
    canvas.Hollow();
    canvas.SetFont(true, textColor);
    RECT text{rect.left + marginX + (images ? gutter : 0), rect.top + marginY, rect.right - marginX,
              rect.bottom};
    canvas.Text(item->Caption, text, 0x200);
    canvas.Text(ShortCutToText(item->ShortCut), text, 0x202);
    canvas.SetFont(false, textColor);
    text.top = rect.top + captionHeight + 2 * marginY;
    canvas.Text(item->Hint, text, 0x200);
    // Drawn from the picture set made for the size, not stretched from 24.
    if (item->ImageIndex >= 0 && images)
        images->Draw(dc, rect.left + marginX, rect.top + marginY, item->ImageIndex, true,
                     Px(images->Width()));
}

void TqvMenuStyler::DrawMenuSeparator(TComponent* sender, HDC dc, const RECT& rect, bool) {
    auto* item = static_cast<TMenuItem*>(sender);
    const TqvColorScheme& s = *FColorScheme;
    TImageList* images = ImagesOf(item);
    TMenuCanvas canvas(dc);
    canvas.Fill(rect, s.SeperatorBackgroundColor);
    // Two lines of one pixel each at 96 DPI, thicker as the scale grows.
    const int line = std::max(1, Px(1));
    canvas.Line(rect.left, rect.bottom - 2 * line, rect.right, rect.bottom - 2 * line,
                s.SeperatorLineColor, line);
    canvas.Line(rect.left, rect.bottom - line, rect.right, rect.bottom - line,
                s.ItemBackgroundColor, line);
    const int gutter = Px(GutterWidth);
    if (!item->Hint.empty()) {
        canvas.Hollow();
        canvas.SetFont(true, s.FontColor);
        RECT text{rect.left + Px(MarginX) + (images ? Px(SeparatorLead) : 0), rect.top,
                  rect.right - Px(MarginX), rect.bottom};
        canvas.Text(item->Hint, text, 0x224);
    } else if (images) {
        canvas.Fill(RECT{rect.left, rect.top, gutter, rect.bottom}, s.GutterColor);
        canvas.Line(gutter, rect.top, gutter, rect.bottom, s.SeperatorLineColor);
    }
}

bool TqvMenuStyler::DrawGradient(HDC dc, const RECT& rect, int steps, COLORREF start, COLORREF end,
                                 BYTE direction) {
    if (steps < 1) return false;
    const int r0 = GetRValue(start), g0 = GetGValue(start), b0 = GetBValue(start);
    const double dr = (GetRValue(end) - r0) / static_cast<double>(steps),
                 dg = (GetGValue(end) - g0) / static_cast<double>(steps),
                 db = (GetBValue(end) - b0) / static_cast<double>(steps);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    const double band = (direction == 0 ? height : width) / static_cast<double>(steps);
    for (int i = 0; i < steps; ++i) {
        COLORREF color = RGB(r0 + RoundHalfEven((i + 1) * dr), g0 + RoundHalfEven((i + 1) * dg),
                             b0 + RoundHalfEven((i + 1) * db));
        RECT r;
        if (direction == 0)
            SetRect(&r, 0, RoundHalfEven(i * band), width, RoundHalfEven((i + 1) * band));
        else
            SetRect(&r, RoundHalfEven(i * band), 0, RoundHalfEven((i + 1) * band), height);
        OffsetRect(&r, rect.left, rect.top);
        HBRUSH brush = CreateSolidBrush(color);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
    return true;
}
