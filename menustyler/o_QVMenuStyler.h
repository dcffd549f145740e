#pragma once
// Colour schemes and the menu styler, which switches a form's menus to owner
// drawing and measures and paints every item itself.
#include "base/Classes.h"
#include "toolkit/Menus.h"

#include <windows.h>

enum TqvMenuStyle : BYTE { msDefault, msOfficeBlue, msObsidian, msLuna, msSilver, msVista };

// "No colour".
constexpr COLORREF clNone = 0x1FFFFFFF;

class TqvColorScheme : public TPersistent {
public:
    // Storage in the order of the original declaration; all black when new.
    COLORREF GradientStart1 = 0, GutterColor = 0, ItemSelectedColor = 0, GradientEnd2 = 0,
             FontColor = 0, GradientStart2 = 0, GradientEnd1 = 0, SeperatorBackgroundColor = 0,
             SeperatorLineColor = 0, FontDisabledColor = 0, ItemBackgroundColor = 0,
             CheckedColor = 0;

    void Assign(const TPersistent* source) override;
    void LoadDefaultScheme();
    void LoadOfficeBlueScheme();
    void LoadObsidianScheme();
    void LoadLunaScheme();
    void LoadSilverScheme();
    void LoadVistaScheme();
    bool operator==(const TqvColorScheme& other) const;
    const char* ClassName() const override { return "TqvColorScheme"; }
};

class TqvMenuStyler : public TComponent {
public:
    explicit TqvMenuStyler(TComponent* owner);
    ~TqvMenuStyler() override;

    TqvMenuStyle MenuStyle() const { return FMenuStyle; }
    void SetMenuStyle(TqvMenuStyle style);
    // At 96 DPI; measured and drawn scaled to the DPI of the form that owns
    // the styler.
    int MarginX = 4, MarginY = 4, GutterWidth = 26, SeparatorLead = 6;
    // A length at 96 DPI at the menus' DPI.
    int Px(int value) const;
    TqvColorScheme* ColorScheme() const { return FColorScheme.get(); }
    bool HookAllMenus() const { return FHookAllMenus; }
    void SetHookAllMenus(bool value);
    TMenu* Menu() const { return FMenu; }
    void SetMenu(TMenu* menu);

    void HookMenus();
    void UnhookMenus();
    void RefreshMenu(TMenu* menu);

    // The item handlers the hook installs.
    void MeasureMenuItem(TComponent* sender, HDC dc, int& width, int& height);
    void MeasureMenuSeparator(TComponent* sender, HDC dc, int& width, int& height);
    void DrawMenuItem(TComponent* sender, HDC dc, const RECT& rect, bool selected);
    void DrawMenuSeparator(TComponent* sender, HDC dc, const RECT& rect, bool selected);
    // A banded gradient; false, drawing nothing, when steps < 1. Direction 0
    // stacks the bands top to bottom, 1 left to right.
    bool DrawGradient(HDC dc, const RECT& rect, int steps, COLORREF start, COLORREF end,
                      BYTE direction);

    const char* ClassName() const override { return "TqvMenuStyler"; }

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    void Hook(TMenuItem* item);
    void Unhook(TMenuItem* item);
    void RefreshPass();
    void DrawSelection(HDC dc, const RECT& rect, int captionHeight, bool hasHint);

    bool FHookAllMenus = false;
    std::unique_ptr<TqvColorScheme> FColorScheme;
    TqvMenuStyle FMenuStyle = msDefault;
    TMenu* FMenu = nullptr; // not owned: watched for removal
};

// Round half to even, as the gradient bands need it.
int RoundHalfEven(double value);
