#pragma once
// Windowed controls: one HWND per control, owned by it; creation arguments as
// a struct; the align layout; messages dispatched to member functions, with
// WM_COMMAND and WM_NOTIFY handed back to the control that sent them.
#include "base/Classes.h"
#include "toolkit/Dpi.h"
#include "toolkit/GdiHandles.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum class TMouseButton { mbLeft, mbRight, mbMiddle };

using TNotifyEvent = std::function<void(TComponent* sender)>;
// Sender, button, the message's key flags (MK_*), position in client pixels.
using TMouseEvent = std::function<void(TComponent* sender, TMouseButton button, UINT keys, int x, int y)>;

struct TFontSpec {
    std::string Name = "MS Sans Serif";
    int Height = -11; // 8 points at 96 dots per inch
    bool Bold = false;
    bool Underline = false;
};

// Where a control goes and how it looks when created, in pixels at 96 DPI:
// the control scales them to the DPI of its form.
struct TControlArgs {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    std::string Caption;
    TAlign Align = TAlign::alNone;
    bool Visible = true;
    bool TabStop = true;
    const TFontSpec* Font = nullptr; // null: the parent's font
    std::string Name;
};

class TPopupMenu;

// The same arguments for a control that the Tab key passes over.
inline TControlArgs WithoutTabStop(TControlArgs args) {
    args.TabStop = false;
    return args;
}

class TControl : public TComponent {
public:
    TControl(TComponent* owner, TControl* parent);
    ~TControl() override;

    HWND Handle() const { return FHandle; }
    TControl* Parent() const { return FParent; }
    static TControl* FromHandle(HWND wnd);

    // The DPI the control is laid out for, and a length at 96 DPI scaled to it.
    int Dpi() const { return FDpi; }
    int Scale(int value) const { return ScaleToDpi(value, FDpi); }
    // Lays the control and its children out again for `dpi`: positions,
    // sizes and fonts scale from the DPI they were made for.
    void ChangeDpi(int dpi);

    // Positions and sizes in pixels at the control's DPI.
    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetBounds(int left, int top, int width, int height);
    void SetHeight(int height) { SetBounds(FLeft, FTop, FWidth, height); }
    void SetWidth(int width) { SetBounds(FLeft, FTop, width, FHeight); }
    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign align);
    bool Visible() const { return FVisible; }
    void SetVisible(bool visible);
    bool Enabled() const;
    virtual void SetEnabled(bool enabled);
    std::string Caption() const;
    void SetCaption(const std::string& caption);
    void SetFont(const TFontSpec& font);
    HFONT Font() const { return FFont; }
    void SetFocus();
    bool Focused() const;
    void SetCursor(LPCSTR cursor) { FCursor = cursor; }
    // What assistive technology reads as the control's name.
    const std::string& AccessibleName() const { return FAccessibleName; }
    virtual void SetAccessibleName(const std::string& name);

    // Lays the children out by their Align, in creation order.
    void Realign();
    // The area the children's Align divides.
    virtual RECT ClientRectForChildren() const;
    int ControlCount() const { return static_cast<int>(FControls.size()); }
    TControl* Controls(int index) const { return FControls.at(static_cast<size_t>(index)); }

    TNotifyEvent OnClick;
    TMouseEvent OnMouseDown;
    // False for a control whose taking the focus must not check the field
    // the focus came from (Cancel, or a button that checks every field).
    bool CausesValidation = true;
    TPopupMenu* PopupMenu = nullptr; // not owned: a component of the form

    const char* ClassName() const override { return "TControl"; }

protected:
    // Creates the window; leaf classes call it from their constructors.
    void CreateWnd(const char* windowClass, DWORD style, DWORD exStyle, const TControlArgs& args);
    // Registers (once) a window class of our own with the default procedure.
    static const char* CustomClass(const char* name, UINT classStyle = CS_DBLCLKS,
                                   HBRUSH background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));

    virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultHandler(UINT msg, WPARAM wParam, LPARAM lParam);
    // A WM_COMMAND sent by this control to its parent.
    virtual void CommandNotify(WORD /*code*/) {}
    // A WM_NOTIFY sent by this control; set handled to return the result.
    virtual LRESULT Notify(NMHDR* /*header*/, bool& /*handled*/) { return 0; }
    // A WM_COMMAND from a menu or an accelerator; forms dispatch it.
    virtual bool MenuCommand(UINT /*id*/) { return false; }
    virtual void Paint(HDC /*dc*/) {}
    // Colours of a static or edit child (WM_CTLCOLOR*), asked of the child:
    // a brush to use, or null for the default.
    virtual HBRUSH CtlColor(HDC /*dc*/) { return nullptr; }
    // After ChangeDpi has rescaled this control and its children.
    virtual void DpiChanged(int /*oldDpi*/) {}
    // The width `text` takes in the control's font, in pixels.
    int TextWidth(const std::string& text) const;
    bool FCustomPaint = false;
    // A form sets it before CreateWnd; children take their parent's.
    int FDpi = DesignDpi;
    void RemoveFromParent();
    // Gives a control created without a parent its parent; its window is
    // then created with CreateWnd.
    void AssignParent(TControl* parent) { FParent = parent; }

private:
    static LRESULT CALLBACK ControlProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void FireMouseDown(TMouseButton button, WPARAM wParam, LPARAM lParam);

    HWND FHandle = nullptr;
    WNDPROC FDefWndProc = nullptr;        // the window class's own procedure
    TControl* FParent = nullptr;          // not owned
    std::vector<TControl*> FControls;     // children in creation order, not owned
    int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    // The same at 96 DPI, which a change of DPI scales from, so that a
    // window moved back and forth keeps its layout to the pixel.
    int FDesignLeft = 0, FDesignTop = 0, FDesignWidth = 0, FDesignHeight = 0;
    TAlign FAlign = TAlign::alNone;
    bool FVisible = true;
    bool FAligning = false;
    std::optional<TFontSpec> FFontSpec; // what FOwnFont was made from
    TFontHandle FOwnFont;
    HFONT FFont = nullptr; // FOwnFont or the parent's font (not owned then)
    LPCSTR FCursor = nullptr;
    std::string FAccessibleName;
};

// Owner-drawn rectangle window used by panels, tab sheets and splitters.
class TCustomControl : public TControl {
public:
    TCustomControl(TComponent* owner, TControl* parent, const TControlArgs& args,
                   const char* className, DWORD extraStyle = 0);
};

// The font of a form: "MS Sans Serif" 8 point unless told otherwise; its
// height is given at 96 DPI and scaled to `dpi`.
HFONT CreateFontFromSpec(const TFontSpec& spec, int dpi = DesignDpi);
