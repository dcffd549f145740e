#pragma once
// A picture control that shows a bitmap it owns.
#include "toolkit/Controls.h"

class TImage : public TCustomControl {
public:
    TImage(TComponent* owner, TControl* parent, const TControlArgs& args);
    // Takes the bitmap; an auto-sized image takes the picture's size, scaled
    // to the control's DPI like the rest of the layout.
    void SetPicture(TBitmapHandle bitmap, int width, int height);
    bool HasPicture() const { return static_cast<bool>(FPicture); }
    bool AutoSize = true;
    const char* ClassName() const override { return "TImage"; }

protected:
    void Paint(HDC dc) override;
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    TBitmapHandle FPicture;
    int FPictureWidth = 0, FPictureHeight = 0;
};
