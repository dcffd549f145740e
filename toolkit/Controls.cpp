#include "toolkit/Controls.h"

#include "toolkit/Accessibility.h"
#include "toolkit/Application.h"
#include "toolkit/Menus.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <set>

// Every control's window procedure is replaced by ControlProc, and the
// control is found through GWLP_USERDATA: both are plain reads of the window
// structure, where window properties and the comctl32 subclass chain cost a
// round trip to the window server under Wine on every message.

HFONT CreateFontFromSpec(const TFontSpec& spec, int dpi) {
    return CreateFontA(ScaleToDpi(spec.Height, dpi), 0, 0, 0, spec.Bold ? FW_BOLD : FW_NORMAL,
                       FALSE, spec.Underline ? TRUE : FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, spec.Name.c_str());
}

TControl::TControl(TComponent* owner, TControl* parent) : TComponent(owner), FParent(parent) {}

TControl::~TControl() {
    // Children first (they are usually components of the same owner, but a
    // control may own its children too), then our own window.
    DestroyComponents();
    if (FHandle) {
        HWND wnd = FHandle;
        SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FDefWndProc));
        SetWindowLongPtrA(wnd, GWLP_USERDATA, 0);
        FHandle = nullptr;
        DestroyWindow(wnd);
    }
    RemoveFromParent();
    // Children whose owner is not this control lose their parent link.
    for (TControl* child : FControls) child->FParent = nullptr;
}

void TControl::RemoveFromParent() {
    if (!FParent) return;
    auto& list = FParent->FControls;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    FParent = nullptr;
}

TControl* TControl::FromHandle(HWND wnd) {
    // Only windows of this thread carry our pointer; others are not ours.
    if (!wnd || GetWindowThreadProcessId(wnd, nullptr) != GetCurrentThreadId()) return nullptr;
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtrA(wnd, GWLP_WNDPROC)) != ControlProc)
        return nullptr;
    return reinterpret_cast<TControl*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
}

const char* TControl::CustomClass(const char* name, UINT classStyle, HBRUSH background) {
    static std::set<std::string> registered;
    if (registered.insert(name).second) {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof(wc);
        wc.style = classStyle;
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.hbrBackground = background;
        wc.lpszClassName = name;
        wc.hIcon = LoadIconA(GetModuleHandleA(nullptr), "MAINICON");
        RegisterClassExA(&wc);
    }
    return name;
}

void TControl::CreateWnd(const char* windowClass, DWORD style, DWORD exStyle,
                         const TControlArgs& args) {
    Name = args.Name;
    if (FParent) {
        // A form works out its own size; a child scales its layout.
        FDpi = FParent->FDpi;
        FDesignLeft = args.Left;
        FDesignTop = args.Top;
        FDesignWidth = args.Width;
        FDesignHeight = args.Height;
        FLeft = Scale(args.Left);
        FTop = Scale(args.Top);
        FWidth = Scale(args.Width);
        FHeight = Scale(args.Height);
    } else {
        FLeft = args.Left;
        FTop = args.Top;
        FWidth = args.Width;
        FHeight = args.Height;
    }
    FAlign = args.Align;
    FVisible = args.Visible;
    HWND parentWnd = FParent ? FParent->Handle() : nullptr;
    if (parentWnd) {
        style |= WS_CHILD | WS_CLIPSIBLINGS;
        if (args.TabStop) style |= WS_TABSTOP;
    }
    if (FVisible && parentWnd) style |= WS_VISIBLE;
    FHandle = CreateWindowExA(exStyle, windowClass, args.Caption.c_str(), style, FLeft, FTop,
                              FWidth, FHeight, parentWnd, nullptr, GetModuleHandleA(nullptr),
                              nullptr);
    if (!FHandle) RaiseLastOSError();
    SetWindowLongPtrA(FHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    FDefWndProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc)));
    if (args.Font) {
        FFontSpec = *args.Font;
        FOwnFont.Reset(CreateFontFromSpec(*args.Font, FDpi));
        FFont = FOwnFont.Get();
    } else if (FParent) {
        FFont = FParent->FFont;
    }
    if (FFont) SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
    if (FParent) {
        FParent->FControls.push_back(this);
        if (FAlign != TAlign::alNone) FParent->Realign();
    }
}

void TControl::SetFont(const TFontSpec& font) {
    FFontSpec = font;
    FOwnFont.Reset(CreateFontFromSpec(font, FDpi));
    FFont = FOwnFont.Get();
    if (FHandle) SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), TRUE);
}

void TControl::SetBounds(int left, int top, int width, int height) {
    // Each length is kept at 96 DPI only when it changed, so that one not
    // touched keeps its exact value.
    if (left != FLeft) FDesignLeft = RescaleDpi(left, FDpi, DesignDpi);
    if (top != FTop) FDesignTop = RescaleDpi(top, FDpi, DesignDpi);
    if (width != FWidth) FDesignWidth = RescaleDpi(width, FDpi, DesignDpi);
    if (height != FHeight) FDesignHeight = RescaleDpi(height, FDpi, DesignDpi);
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
    if (FHandle)
        SetWindowPos(FHandle, nullptr, left, top, width, height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    if (FParent && FAlign != TAlign::alNone && !FParent->FAligning) FParent->Realign();
}

int TControl::TextWidth(const std::string& text) const {
    if (!FHandle || text.empty()) return 0;
    HDC dc = GetDC(FHandle);
    int width = 0;
    {
        TSaveDC saved(dc);
        SelectObject(dc, FFont ? FFont : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
        // As the controls draw it: DrawText's extent, which knows prefixes
        // and tabs the same way.
        RECT r{0, 0, 0, 0};
        DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r,
                  DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        width = r.right - r.left;
    }
    ReleaseDC(FHandle, dc);
    return width;
}

void TControl::ChangeDpi(int dpi) {
    const int old = FDpi;
    if (dpi == old || dpi <= 0) return;
    FDpi = dpi;
    if (FParent) {
        FLeft = Scale(FDesignLeft);
        FTop = Scale(FDesignTop);
        FWidth = Scale(FDesignWidth);
        FHeight = Scale(FDesignHeight);
        if (FHandle)
            SetWindowPos(FHandle, nullptr, FLeft, FTop, FWidth, FHeight,
                         SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (FFontSpec) {
        FOwnFont.Reset(CreateFontFromSpec(*FFontSpec, dpi));
        FFont = FOwnFont.Get();
    } else if (FParent) {
        FFont = FParent->FFont;
    }
    if (FHandle && FFont) SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), TRUE);
    // A copy: a child may add or remove controls while it lays itself out.
    const std::vector<TControl*> children = FControls;
    for (TControl* child : children)
        child->ChangeDpi(dpi);
    DpiChanged(old);
    Realign();
}

void TControl::SetAlign(TAlign align) {
    FAlign = align;
    if (FParent) FParent->Realign();
}

void TControl::SetVisible(bool visible) {
    FVisible = visible;
    if (FHandle) ShowWindow(FHandle, visible ? SW_SHOW : SW_HIDE);
    if (FParent && FAlign != TAlign::alNone) FParent->Realign();
}

bool TControl::Enabled() const { return FHandle && IsWindowEnabled(FHandle); }

void TControl::SetEnabled(bool enabled) {
    if (FHandle) EnableWindow(FHandle, enabled);
}

std::string TControl::Caption() const {
    if (!FHandle) return std::string();
    int len = GetWindowTextLengthA(FHandle);
    std::string text(static_cast<size_t>(len) + 1, '\0');
    len = GetWindowTextA(FHandle, text.data(), len + 1);
    text.resize(static_cast<size_t>(std::max(len, 0)));
    return text;
}

void TControl::SetCaption(const std::string& caption) {
    if (FHandle) SetWindowTextA(FHandle, caption.c_str());
}

void TControl::SetFocus() {
    if (FHandle) ::SetFocus(FHandle);
}

bool TControl::Focused() const { return FHandle && GetFocus() == FHandle; }

RECT TControl::ClientRectForChildren() const {
    RECT r{0, 0, 0, 0};
    if (FHandle) GetClientRect(FHandle, &r);
    return r;
}

void TControl::Realign() {
    if (!FHandle || FAligning) return;
    FAligning = true;
    RECT r = ClientRectForChildren();
    auto place = [](TControl* c, int l, int t, int w, int h) {
        c->FLeft = l;
        c->FTop = t;
        c->FWidth = std::max(w, 0);
        c->FHeight = std::max(h, 0);
        if (c->FHandle)
            SetWindowPos(c->FHandle, nullptr, l, t, c->FWidth, c->FHeight,
                         SWP_NOZORDER | SWP_NOACTIVATE);
    };
    for (TAlign pass : {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight,
                        TAlign::alClient}) {
        for (TControl* c : FControls) {
            if (c->FAlign != pass || !c->FVisible) continue;
            switch (pass) {
            case TAlign::alTop:
                place(c, r.left, r.top, r.right - r.left, c->FHeight);
                r.top += c->FHeight;
                break;
            case TAlign::alBottom:
                r.bottom -= c->FHeight;
                place(c, r.left, r.bottom, r.right - r.left, c->FHeight);
                break;
            case TAlign::alLeft:
                place(c, r.left, r.top, c->FWidth, r.bottom - r.top);
                r.left += c->FWidth;
                break;
            case TAlign::alRight:
                r.right -= c->FWidth;
                place(c, r.right, r.top, c->FWidth, r.bottom - r.top);
                break;
            default:
                place(c, r.left, r.top, r.right - r.left, r.bottom - r.top);
                break;
            }
        }
    }
    FAligning = false;
}

LRESULT TControl::DefaultHandler(UINT msg, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcA(FDefWndProc, FHandle, msg, wParam, lParam);
}

void TControl::FireMouseDown(TMouseButton button, WPARAM wParam, LPARAM lParam) {
    if (OnMouseDown)
        OnMouseDown(this, button, static_cast<UINT>(wParam), GET_X_LPARAM(lParam),
                    GET_Y_LPARAM(lParam));
}

void TControl::SetAccessibleName(const std::string& name) {
    // Answered when asked (WM_GETOBJECT): a property store set now would start
    // COM at every window's creation, for a client that may never come.
    FAccessibleName = name;
}

LRESULT TControl::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_GETOBJECT:
        if (!FAccessibleName.empty())
            if (LRESULT object = AccessibleObjectNamed(FHandle, wParam, lParam, FAccessibleName))
                return object;
        break;
    case WM_COMMAND:
        if (lParam) {
            if (TControl* child = FromHandle(reinterpret_cast<HWND>(lParam))) {
                child->CommandNotify(HIWORD(wParam));
                return 0;
            }
        } else if (MenuCommand(LOWORD(wParam))) {
            return 0;
        }
        break;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (TControl* child = FromHandle(header->hwndFrom)) {
            bool handled = false;
            LRESULT result = child->Notify(header, handled);
            if (handled) return result;
        }
        break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
        if (TControl* child = FromHandle(reinterpret_cast<HWND>(lParam)))
            if (HBRUSH brush = child->CtlColor(reinterpret_cast<HDC>(wParam)))
                return reinterpret_cast<LRESULT>(brush);
        break;
    case WM_SIZE: {
        LRESULT result = DefaultHandler(msg, wParam, lParam);
        Realign();
        return result;
    }
    case WM_SETCURSOR:
        if (FCursor && LOWORD(lParam) == HTCLIENT) {
            ::SetCursor(LoadCursorA(nullptr, FCursor));
            return TRUE;
        }
        break;
    case WM_LBUTTONDOWN: {
        LRESULT result = DefaultHandler(msg, wParam, lParam);
        FireMouseDown(TMouseButton::mbLeft, wParam, lParam);
        return result;
    }
    case WM_RBUTTONDOWN: {
        LRESULT result = DefaultHandler(msg, wParam, lParam);
        FireMouseDown(TMouseButton::mbRight, wParam, lParam);
        return result;
    }
    case WM_MBUTTONDOWN: {
        LRESULT result = DefaultHandler(msg, wParam, lParam);
        FireMouseDown(TMouseButton::mbMiddle, wParam, lParam);
        return result;
    }
    case WM_PAINT:
        if (FCustomPaint) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(FHandle, &ps);
            Paint(dc);
            EndPaint(FHandle, &ps);
            return 0;
        }
        break;
    case WM_CONTEXTMENU:
        if (PopupMenu) {
            int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
            if (x == -1 && y == -1) { // from the keyboard: below the control's corner
                POINT p{0, 0};
                ClientToScreen(FHandle, &p);
                x = p.x;
                y = p.y;
            }
            PopupMenu->Popup(x, y);
            return 0;
        }
        break;
    default:
        break;
    }
    return DefaultHandler(msg, wParam, lParam);
}

LRESULT CALLBACK TControl::ControlProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* control = reinterpret_cast<TControl*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    if (!control) return DefWindowProcA(wnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        WNDPROC def = control->FDefWndProc;
        SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(def));
        SetWindowLongPtrA(wnd, GWLP_USERDATA, 0);
        control->FHandle = nullptr;
        return CallWindowProcA(def, wnd, msg, wParam, lParam);
    }
    // Failures stop here and go to the application's error display.
    try {
        return control->WndProc(msg, wParam, lParam);
    } catch (...) {
        if (Application) Application->HandleCurrentException();
        return 0;
    }
}

TCustomControl::TCustomControl(TComponent* owner, TControl* parent, const TControlArgs& args,
                               const char* className, DWORD extraStyle)
    : TControl(owner, parent) {
    CreateWnd(CustomClass(className), WS_CLIPCHILDREN | extraStyle, WS_EX_CONTROLPARENT, args);
}
