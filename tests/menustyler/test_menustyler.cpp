#include "menustyler/o_QVMenuStyler.h"
#include "support/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/Forms.h"
#include "toolkit/ImgList.h"

#include <gtest/gtest.h>

#include <functional>

// ------------------------------------------------------------ schemes

TEST(ColorScheme, TablesAssignAndConversionError) {
    TqvColorScheme a, b;
    EXPECT_EQ(a.FontColor, 0u); // all black when new
    a.LoadDefaultScheme();
    b.LoadOfficeBlueScheme();
    EXPECT_TRUE(a == b);
    EXPECT_EQ(a.FontColor, 0x6E1500u);
    b.LoadVistaScheme();
    EXPECT_EQ(b.ItemSelectedColor, 0x1FFFFFFFu);
    EXPECT_EQ(b.GradientStart1, b.GradientEnd2);
    EXPECT_EQ(b.GradientEnd1, b.GradientStart2);
    a.Assign(&b);
    EXPECT_TRUE(a == b);
    a.Assign(&a);
    EXPECT_TRUE(a == b);
    TqvColorScheme luna;
    luna.LoadLunaScheme();
    luna.LoadLunaScheme();
    EXPECT_EQ(luna.FontColor, luna.ItemSelectedColor);
    luna.LoadObsidianScheme(); // nothing of Luna stays behind
    TqvColorScheme obsidian;
    obsidian.LoadObsidianScheme();
    EXPECT_TRUE(luna == obsidian);
    using Fill = void (TqvColorScheme::*)();
    for (Fill fill : {&TqvColorScheme::LoadDefaultScheme, &TqvColorScheme::LoadSilverScheme,
                      &TqvColorScheme::LoadVistaScheme}) {
        TqvColorScheme s;
        (s.*fill)();
        EXPECT_EQ(s.CheckedColor, 0xE6D5CBu);
    }
    struct Other : TPersistent {
        const char* ClassName() const override { return "TOther"; }
    } other;
    for (const TPersistent* source : {static_cast<const TPersistent*>(nullptr),
                                      static_cast<const TPersistent*>(&other)}) {
        try {
            a.Assign(source);
            ADD_FAILURE();
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), std::string("Cannot assign a ") + (source ? "TOther" : "nil") +
                                       " to a TqvColorScheme");
        }
        EXPECT_TRUE(a == b);
    }
}

// ------------------------------------------------------------ styler passes

namespace {

class Styler : public ::testing::Test {
protected:
    void SetUp() override {
        Form = new TForm(&App, TFormArgs{.Caption = "Styled"});
        Images = new TImageList(Form, 24, 24);
        Images->Add(std::vector<DWORD>(24 * 24, 0xFF00FF00)); // opaque green
        Main = new TMainMenu(Form);
        Main->Images = Images;
        File = new TMenuItem(Form, Main->Items(), {.Caption = "File"});
        Open = new TMenuItem(Form, File, {.Caption = "Open", .ImageIndex = 0,
                                          .ShortCut = {'O', scCtrl}});
        Line = new TMenuItem(Form, File, {.Caption = "-"});
        Sub = new TMenuItem(Form, File, {.Caption = "More"});
        DeepLine = new TMenuItem(Form, Sub, {.Caption = "-"});
        Spaced = new TMenuItem(Form, Sub, {.Caption = "- "});
        Popup = new TPopupMenu(Form);
        Popup->Images = Images;
        Activate = new TMenuItem(Form, Popup->Items(), {.Caption = "Activate the selected IP Set",
                                                        .ImageIndex = 0, .ShortCut = {'A', scCtrl},
                                                        .Hint = "Activates the IP Set"});
        Form->SetMenu(Main);
        Changes = 0;
        Main->OnChange = [this, change = Main->OnChange] {
            ++Changes;
            if (change) change();
        };
        Popup->OnChange = [this] { ++Changes; };
    }
    void TearDown() override { delete Form; }
    static bool IsSeparatorHandler(TMenuItem* item) {
        if (!item->OnMeasureItem) return false;
        HDC dc = GetDC(nullptr);
        int w = 0, h = 0;
        item->OnMeasureItem(item, dc, w, h);
        ReleaseDC(nullptr, dc);
        return w == 10 && h == 4 && item->Hint.empty();
    }
    TApplication App;
    TForm* Form = nullptr;
    TImageList* Images = nullptr;
    TMainMenu* Main = nullptr;
    TPopupMenu* Popup = nullptr;
    TMenuItem *File, *Open, *Line, *Sub, *DeepLine, *Spaced, *Activate;
    int Changes = 0;
};

} // namespace

TEST_F(Styler, StyleWritesReloadAndRefreshOnlyOnChange) {
    auto* styler = new TqvMenuStyler(Form);
    TqvColorScheme defaults;
    defaults.LoadDefaultScheme();
    EXPECT_TRUE(*styler->ColorScheme() == defaults);
    EXPECT_EQ(styler->MarginX, 4);
    EXPECT_EQ(styler->GutterWidth, 26);
    EXPECT_EQ(styler->SeparatorLead, 6);
    styler->SetHookAllMenus(true);
    Changes = 0;
    styler->ColorScheme()->FontColor = 0x123456;
    styler->SetMenuStyle(msDefault); // the same style: nothing reloaded or refreshed
    EXPECT_EQ(styler->ColorScheme()->FontColor, 0x123456u);
    EXPECT_EQ(Changes, 0);
    styler->SetMenuStyle(msOfficeBlue); // identical colours, still a refresh
    EXPECT_GT(Changes, 0);
    EXPECT_TRUE(*styler->ColorScheme() == defaults);
    styler->SetMenuStyle(msVista);
    EXPECT_EQ(styler->ColorScheme()->FontColor, 0u);
    EXPECT_TRUE(Main->OwnerDraw());
    EXPECT_TRUE(Popup->OwnerDraw());
}

TEST_F(Styler, HookAllReachesEveryDepthAndTellsSeparatorsByTheirExactCaption) {
    auto* styler = new TqvMenuStyler(Form);
    styler->SetHookAllMenus(true);
    EXPECT_TRUE(IsSeparatorHandler(Line));
    EXPECT_TRUE(IsSeparatorHandler(DeepLine));
    EXPECT_FALSE(IsSeparatorHandler(Spaced));
    EXPECT_TRUE(static_cast<bool>(Spaced->OnDrawItem));
    EXPECT_TRUE(static_cast<bool>(Activate->OnDrawItem));
    EXPECT_TRUE(static_cast<bool>(File->OnDrawItem));
}

TEST_F(Styler, NamedMenuHooksFirstLevelOnlyAndIsForgottenWhenDestroyed) {
    auto* styler = new TqvMenuStyler(Form);
    styler->SetMenuStyle(msLuna); // neither hook-all nor a menu: colours only
    EXPECT_FALSE(Main->OwnerDraw());
    styler->SetMenu(Main);
    EXPECT_TRUE(Main->OwnerDraw());
    EXPECT_TRUE(static_cast<bool>(File->OnDrawItem));
    EXPECT_FALSE(static_cast<bool>(Open->OnDrawItem));
    EXPECT_FALSE(static_cast<bool>(Line->OnMeasureItem));
    EXPECT_FALSE(Popup->OwnerDraw());
    Form->SetMenu(nullptr);
    delete Main;
    EXPECT_EQ(styler->Menu(), nullptr);
}

// ------------------------------------------------------------ pixels

namespace {

// A 32-bit memory surface with the system's menu font selected.
class Surface {
public:
    Surface(int width, int height) : FWidth(width) {
        FDC.Reset(CreateCompatibleDC(nullptr));
        FBitmap.Reset(CreateTopDownDIB32(width, height, reinterpret_cast<void**>(&FBits), FDC.Get()));
        FOldBitmap = SelectObject(FDC.Get(), FBitmap.Get());
        NONCLIENTMETRICSA metrics{};
        metrics.cbSize = sizeof(metrics);
        SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
        FFont.Reset(CreateFontIndirectA(&metrics.lfMenuFont));
        FOldFont = SelectObject(FDC.Get(), FFont.Get());
        RECT all{0, 0, width, height};
        FillRect(FDC.Get(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    ~Surface() {
        SelectObject(FDC.Get(), FOldFont);
        SelectObject(FDC.Get(), FOldBitmap);
    }
    HDC DC() const { return FDC.Get(); }
    COLORREF At(int x, int y) const {
        GdiFlush();
        DWORD p = FBits[y * FWidth + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    int LineHeight(bool bold) {
        LOGFONTA lf;
        GetObjectA(FFont.Get(), sizeof(lf), &lf);
        lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
        TFontHandle f(CreateFontIndirectA(&lf));
        TSelectObject s(FDC.Get(), f.Get());
        RECT r{0, 0, 0, 0};
        return DrawTextA(FDC.Get(), "Xg", -1, &r, 0x600);
    }

private:
    int FWidth;
    TMemDC FDC;
    TBitmapHandle FBitmap;
    TFontHandle FFont;
    DWORD* FBits = nullptr;
    HGDIOBJ FOldBitmap, FOldFont;
};

} // namespace

TEST_F(Styler, ItemGeometryWithTheMainWindowsSettings) {
    auto* styler = new TqvMenuStyler(Form);
    styler->SetMenuStyle(msVista);
    TqvColorScheme& s = *styler->ColorScheme();
    s.GradientStart1 = s.GradientEnd1 = RGB(255, 0, 0);
    s.GradientStart2 = s.GradientEnd2 = RGB(0, 0, 255);
    s.FontColor = RGB(0, 0, 0);
    Surface surface(300, 200);
    const int h = surface.LineHeight(true), hr = surface.LineHeight(false);

    int w = 0, height = 0;
    styler->MeasureMenuItem(Open, surface.DC(), w, height);
    EXPECT_EQ(height, h + 16);
    const int top = 10;
    styler->DrawMenuItem(Open, surface.DC(), RECT{0, top, 200, top + height}, false);
    // The image at (4, Top + 4), reaching x = 27 past the gutter border at 26.
    EXPECT_EQ(surface.At(4, top + 4), RGB(0, 255, 0));
    EXPECT_EQ(surface.At(27, top + 27), RGB(0, 255, 0));
    EXPECT_EQ(surface.At(3, top + 4), s.GutterColor);
    EXPECT_EQ(surface.At(26, top + height - 1), s.SeperatorLineColor);
    // Caption text starts at x = 30: nothing dark left of it in the text band.
    int firstText = -1;
    for (int x = 28; x < 60 && firstText < 0; ++x)
        for (int y = top + 4; y < top + 4 + h; ++y)
            if (surface.At(x, y) == RGB(0, 0, 0)) {
                firstText = x;
                break;
            }
    EXPECT_GE(firstText, 30);
    EXPECT_LE(firstText, 33);

    // The hint item: two gradients split at Top + CH + 8.
    styler->MeasureMenuItem(Activate, surface.DC(), w, height);
    EXPECT_EQ(height, h + hr + 16);
    styler->DrawMenuItem(Activate, surface.DC(), RECT{0, top, 280, top + height}, true);
    EXPECT_EQ(surface.At(290, top + 2), RGB(0, 0, 0)); // outside the item: untouched
    EXPECT_EQ(surface.At(279 - 6, top + h + 7), RGB(255, 0, 0));
    EXPECT_EQ(surface.At(279 - 6, top + h + 8), RGB(0, 0, 255));
}

TEST_F(Styler, SeparatorAndMenuBarEntry) {
    auto* styler = new TqvMenuStyler(Form);
    styler->SetMenuStyle(msDefault);
    const TqvColorScheme& s = *styler->ColorScheme();
    Surface surface(200, 60);
    int w = 0, h = 0;
    styler->MeasureMenuSeparator(Line, surface.DC(), w, h);
    EXPECT_EQ(w, 10);
    EXPECT_EQ(h, 4);
    styler->DrawMenuSeparator(Line, surface.DC(), RECT{0, 20, 150, 24}, false);
    EXPECT_EQ(surface.At(100, 20), s.SeperatorBackgroundColor);
    EXPECT_EQ(surface.At(100, 21), s.SeperatorBackgroundColor);
    EXPECT_EQ(surface.At(100, 22), s.SeperatorLineColor);
    EXPECT_EQ(surface.At(100, 23), s.ItemBackgroundColor);
    EXPECT_EQ(surface.At(0, 21), s.GutterColor);
    EXPECT_EQ(surface.At(25, 23), s.GutterColor);
    EXPECT_EQ(surface.At(26, 21), s.SeperatorLineColor);
    EXPECT_EQ(surface.At(27, 21), s.SeperatorBackgroundColor);

    // The menu-bar entry: caption width + 8 + 26 wide, caption at (Left + 4, Top).
    int captionWidth;
    {
        LOGFONTA lf;
        GetObjectA(GetCurrentObject(surface.DC(), OBJ_FONT), sizeof(lf), &lf);
        lf.lfWeight = FW_BOLD;
        TFontHandle f(CreateFontIndirectA(&lf));
        TSelectObject sel(surface.DC(), f.Get());
        RECT r{0, 0, 0, 0};
        DrawTextA(surface.DC(), "File", -1, &r, 0x600);
        captionWidth = r.right;
    }
    styler->MeasureMenuItem(File, surface.DC(), w, h);
    EXPECT_EQ(w, captionWidth + 8 + 26);
    styler->DrawMenuItem(File, surface.DC(), RECT{50, 30, 50 + w, 30 + h}, false);
    int firstText = -1;
    for (int x = 50; x < 50 + w && firstText < 0; ++x)
        for (int y = 30; y < 30 + h; ++y)
            if (surface.At(x, y) == s.FontColor) {
                firstText = x;
                break;
            }
    EXPECT_GE(firstText, 54);
    EXPECT_LE(firstText, 56);
    EXPECT_EQ(surface.At(51, 31), s.ItemBackgroundColor); // no gutter on the menu bar
}

TEST_F(Styler, CheckGlyphAtLeftPlus3TopPlus5) {
    auto* styler = new TqvMenuStyler(Form);
    auto* checked = new TMenuItem(Form, File, {.Caption = "Checked"});
    checked->Checked = true;
    Surface surface(200, 80);
    TBitmapHandle glyph(LoadBitmapA(GetModuleHandleA(nullptr), "MENUITEMCHECKED"));
    ASSERT_TRUE(glyph);
    TMemDC mem(CreateCompatibleDC(surface.DC()));
    TSelectObject sel(mem.Get(), glyph.Get());
    const COLORREF corner = GetPixel(mem.Get(), 0, 15), border = GetPixel(mem.Get(), 1, 1);
    EXPECT_NE(corner, border);
    styler->DrawMenuItem(checked, surface.DC(), RECT{0, 10, 190, 40}, false);
    EXPECT_EQ(surface.At(3 + 1, 10 + 5 + 1), border);
    // The transparent corner leaves the gutter as it was.
    EXPECT_EQ(surface.At(3, 10 + 5 + 15), styler->ColorScheme()->GutterColor);
    // A checked item with an image shows only its image.
    Open->Checked = true;
    styler->DrawMenuItem(Open, surface.DC(), RECT{0, 40, 190, 70}, false);
    EXPECT_EQ(surface.At(4, 46), RGB(0, 255, 0));
}

TEST_F(Styler, GradientBands) {
    auto* styler = new TqvMenuStyler(Form);
    Surface surface(20, 40);
    EXPECT_FALSE(styler->DrawGradient(surface.DC(), RECT{0, 0, 10, 10}, 0, RGB(255, 0, 0), RGB(0, 0, 255), 0));
    EXPECT_EQ(surface.At(5, 5), RGB(0, 0, 0));
    EXPECT_TRUE(styler->DrawGradient(surface.DC(), RECT{0, 0, 10, 10}, 1, RGB(255, 0, 0), RGB(0, 0, 255), 0));
    EXPECT_EQ(surface.At(0, 0), RGB(0, 0, 255));
    EXPECT_EQ(surface.At(9, 9), RGB(0, 0, 255));
    EXPECT_TRUE(styler->DrawGradient(surface.DC(), RECT{10, 0, 20, 10}, 256, RGB(7, 8, 9), RGB(7, 8, 9), 0));
    EXPECT_EQ(surface.At(10, 0), RGB(7, 8, 9));
    EXPECT_EQ(surface.At(19, 9), RGB(7, 8, 9));
    EXPECT_TRUE(styler->DrawGradient(surface.DC(), RECT{0, 15, 20, 15}, 256, RGB(1, 1, 1), RGB(2, 2, 2), 0));
    EXPECT_EQ(surface.At(0, 15), RGB(0, 0, 0));
    // 256 bands over 13 rows: each row shows the one band that covers it.
    const int top = 20, rows = 13;
    styler->DrawGradient(surface.DC(), RECT{0, top, 20, top + rows}, 256, RGB(0, 100, 200),
                         RGB(255, 50, 0), 0);
    const double band = rows / 256.0;
    for (int y = 0; y < rows; ++y) {
        int last = -1;
        for (int i = 0; i < 256; ++i)
            if (RoundHalfEven(i * band) <= y && y < RoundHalfEven((i + 1) * band)) last = i;
        ASSERT_GE(last, 0);
        const double k = last + 1;
        COLORREF expected = RGB(0 + RoundHalfEven(k * 255 / 256.0), 100 + RoundHalfEven(k * -50 / 256.0),
                                200 + RoundHalfEven(k * -200 / 256.0));
        EXPECT_EQ(surface.At(5, top + y), expected) << "row " << y;
    }
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
}

TEST(ImageSets, PictureOfEachSizeComesFromTheSmallestSetAtLeastThatLarge) {
    TImageList images(nullptr, 24, 24);
    EXPECT_EQ(images.SourceSizeFor(36), 24); // no larger set: stretched
    images.AddLargerSet(48);
    images.AddLargerSet(36);
    const struct {
        int Size, Source;
    } cases[] = {{16, 24}, {24, 24}, {30, 36}, {36, 36}, {37, 48}, {48, 48}, {60, 48}};
    for (const auto& c : cases)
        EXPECT_EQ(images.SourceSizeFor(c.Size), c.Source) << c.Size;
}

TEST_F(Styler, AtAnotherScaleItemsGrowAndPicturesComeFromTheLargerDrawing) {
    // The 36-pixel drawing of the picture is blue, the 24-pixel one green.
    Images->AddLargerSet(36).Add(std::vector<DWORD>(36 * 36, 0xFF0000FF));
    auto* styler = new TqvMenuStyler(Form);
    styler->SetMenuStyle(msVista);
    auto measure = [&](int dpi) {
        Surface surface(10, 10);
        TFontHandle font(CreateMenuFontForDpi(dpi));
        TSelectObject select(surface.DC(), font.Get());
        int w = 0, h = 0;
        styler->MeasureMenuItem(Open, surface.DC(), w, h);
        return h;
    };
    const int at96 = measure(96);
    Form->ChangeDpi(144);
    const int at144 = measure(144);
    EXPECT_GE(at144 * 10, at96 * 14) << at96 << " -> " << at144;

    Surface surface(400, 200);
    styler->DrawMenuItem(Open, surface.DC(), RECT{0, 0, 300, at144}, false);
    // The picture at (6, 6), 36 pixels square, blue to its far corner.
    EXPECT_EQ(surface.At(6, 6), RGB(0, 0, 255));
    EXPECT_EQ(surface.At(6 + 35, 6 + 35), RGB(0, 0, 255));
    EXPECT_NE(surface.At(6 + 36, 6 + 20), RGB(0, 0, 255));
}
