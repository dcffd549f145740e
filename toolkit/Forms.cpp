#include "toolkit/Forms.h"

#include "toolkit/Application.h"
#include "toolkit/Menus.h"

#include <algorithm>

TForm* MainForm = nullptr;

namespace {
// The system's menu font at the form's DPI, which owner-drawn menu items
// start from.
TFontHandle MenuFont(int dpi) {
    return TFontHandle(CreateMenuFontForDpi(dpi));
}

// The monitor a new form opens on: its owner's, else the primary one.
HMONITOR MonitorForNewForm() {
    if (MainForm && MainForm->Handle())
        return MonitorFromWindow(MainForm->Handle(), MONITOR_DEFAULTTONEAREST);
    return MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
}
} // namespace

TForm* GetParentForm(TControl* control) {
    while (control && control->Parent()) control = control->Parent();
    return dynamic_cast<TForm*>(control);
}

TForm::TForm(TComponent* owner, const TFormArgs& args)
    : TControl(owner, nullptr), FPosition(args.Position) {
    DWORD style = WS_CLIPCHILDREN | WS_CAPTION;
    DWORD exStyle = WS_EX_CONTROLPARENT;
    switch (args.Border) {
    case TFormBorder::bsSizeable: style |= WS_THICKFRAME; break;
    case TFormBorder::bsDialog: exStyle |= WS_EX_DLGMODALFRAME; style |= WS_DLGFRAME; break;
    case TFormBorder::bsSingle: style |= WS_BORDER; break;
    case TFormBorder::bsNone: style = WS_POPUP | WS_CLIPCHILDREN; break;
    }
    if (args.Border != TFormBorder::bsNone) {
        if (args.SystemMenu) style |= WS_SYSMENU;
        if (args.Minimize && args.Border != TFormBorder::bsDialog) style |= WS_MINIMIZEBOX;
        if (args.Maximize && args.Border != TFormBorder::bsDialog) style |= WS_MAXIMIZEBOX;
    }
    if (args.StayOnTop) exStyle |= WS_EX_TOPMOST;
    // The layout is given at 96 DPI; the form opens at its monitor's DPI.
    HMONITOR monitor = MonitorForNewForm();
    FDpi = DpiOfMonitor(monitor);
    TControlArgs a;
    a.Name = args.Name;
    a.Caption = args.Caption;
    a.Width = Scale(args.Width);
    a.Height = Scale(args.Height);
    if (args.ClientWidth > 0 && args.ClientHeight > 0) {
        RECT r{0, 0, Scale(args.ClientWidth), Scale(args.ClientHeight)};
        AdjustWindowRectForDpi(r, style, args.HasMenu, exStyle, FDpi);
        a.Width = r.right - r.left;
        a.Height = r.bottom - r.top;
    }
    a.Visible = false;
    a.Font = &args.Font;
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    RECT work;
    if (GetMonitorInfoA(monitor, &info))
        work = info.rcWork;
    else
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    // A large scale on a small screen: the whole window stays reachable.
    a.Width = std::min<int>(a.Width, work.right - work.left);
    a.Height = std::min<int>(a.Height, work.bottom - work.top);
    if (args.Position == TFormPosition::poScreenCenter) {
        a.Left = work.left + (work.right - work.left - a.Width) / 2;
        a.Top = work.top + (work.bottom - work.top - a.Height) / 2;
    }
    CreateWnd(CustomClass("TIPTavixForm", CS_DBLCLKS), style, exStyle, a);
    // Other forms are owned by the main form: they stay above it and out of
    // the task bar.
    if (MainForm && MainForm != this)
        SetWindowLongPtrA(Handle(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(MainForm->Handle()));
    if (Application) Application->AddMessageFilter(this, FilterMessage);
}

TForm::~TForm() {
    if (Application) Application->RemoveMessageFilter(this);
    if (MainForm == this) MainForm = nullptr;
    // The menu bar's HMENU belongs to the menu component, not to the window;
    // forgetting the menu first keeps a rebuild during destruction off it.
    if (Handle()) ::SetMenu(Handle(), nullptr);
    FMenu = nullptr;
    DestroyComponents();
}

void TForm::Show() {
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());
    UpdateWindow(Handle());
    if (OnShow) OnShow(this);
}

void TForm::Hide() { ShowWindow(Handle(), SW_HIDE); }

void TForm::Close() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    if (!canClose) return;
    if (FModal) {
        if (FModalResult == TModalResult::mrNone) FModalResult = TModalResult::mrCancel;
    } else if (MainForm == this) {
        Hide();
        PostQuitMessage(0);
    } else {
        Hide();
    }
}

namespace {
BOOL CALLBACK DisableOtherWindow(HWND wnd, LPARAM data) {
    auto* list = reinterpret_cast<std::pair<HWND, std::vector<HWND>*>*>(data);
    if (wnd != list->first && IsWindowVisible(wnd) && IsWindowEnabled(wnd)) {
        list->second->push_back(wnd);
        EnableWindow(wnd, FALSE);
    }
    return TRUE;
}
} // namespace

TModalResult TForm::ShowModal() {
    // Every other window of the program waits while the form is open.
    std::vector<HWND> disabled;
    std::pair<HWND, std::vector<HWND>*> enumData{Handle(), &disabled};
    EnumThreadWindows(GetCurrentThreadId(), DisableOtherWindow, reinterpret_cast<LPARAM>(&enumData));
    FModal = true;
    FModalResult = TModalResult::mrNone;
    struct Restore {
        TForm* Form;
        std::vector<HWND>& Windows;
        ~Restore() {
            for (HWND w : Windows) EnableWindow(w, TRUE);
            Form->FModal = false;
            if (Form->Handle()) ShowWindow(Form->Handle(), SW_HIDE);
            if (!Windows.empty()) SetActiveWindow(Windows.front());
        }
    } restore{this, disabled};
    Show();
    MSG msg;
    while (FModalResult == TModalResult::mrNone) {
        BOOL r = GetMessageA(&msg, nullptr, 0, 0);
        if (r == 0) { // WM_QUIT: pass it on to the outer loop
            PostQuitMessage(static_cast<int>(msg.wParam));
            FModalResult = TModalResult::mrCancel;
            break;
        }
        if (r == -1) break;
        bool filtered = false;
        if (Application) {
            filtered = FilterMessage(this, msg);
        }
        if (!filtered) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return FModalResult;
}

void TForm::SetMenu(TMainMenu* menu) {
    FMenu = menu;
    if (menu) {
        menu->OnChange = [this] {
            if (FMenu && Handle()) {
                ::SetMenu(Handle(), FMenu->Handle());
                DrawMenuBar(Handle());
            }
        };
        menu->Rebuild();
    } else if (Handle()) {
        ::SetMenu(Handle(), nullptr);
    }
    UpdateShortCuts();
}

void TForm::UpdateShortCuts() {
    std::vector<ACCEL> table;
    auto addFrom = [&](TMenu* menu) {
        for (TMenuItem* item : menu->AllItems()) {
            if (!item->ShortCut.Key) continue;
            bool known = false;
            for (const ACCEL& a : table)
                if (a.key == item->ShortCut.Key && (a.fVirt & ~FVIRTKEY) == item->ShortCut.Modifiers)
                    known = true;
            if (!known)
                table.push_back({static_cast<BYTE>(FVIRTKEY | item->ShortCut.Modifiers),
                                 item->ShortCut.Key, static_cast<WORD>(item->Command())});
        }
    };
    if (FMenu) addFrom(FMenu);
    for (int i = 0; i < ComponentCount(); ++i)
        if (auto* menu = dynamic_cast<TMenu*>(Components(i)); menu && menu != FMenu) addFrom(menu);
    FAccelerators.Reset(table.empty() ? nullptr
                                      : CreateAcceleratorTableA(table.data(),
                                                                static_cast<int>(table.size())));
}

TMenu* TForm::FindMenuOf(UINT command) const {
    for (int i = 0; i < ComponentCount(); ++i)
        if (auto* menu = dynamic_cast<TMenu*>(Components(i)); menu && menu->FindItem(command))
            return menu;
    return nullptr;
}

bool TForm::MenuCommand(UINT id) {
    if (TMenu* menu = FindMenuOf(id)) {
        menu->FindItem(id)->Click();
        return true;
    }
    return false;
}

bool TForm::FilterMessage(void* context, MSG& msg) {
    auto* form = static_cast<TForm*>(context);
    HWND wnd = form->Handle();
    if (!wnd || !IsWindowEnabled(wnd) || !IsWindowVisible(wnd)) return false;
    if (msg.hwnd != wnd && !IsChild(wnd, msg.hwnd)) return false;
    if (form->FAccelerators && TranslateAcceleratorA(wnd, form->FAccelerators.Get(), &msg))
        return true;
    // Tab and arrow navigation between controls. Enter and Esc press the
    // form's default and cancel buttons where it has them; otherwise they are
    // left to the controls themselves.
    if (msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE)) {
        TButton* button = msg.wParam == VK_RETURN ? form->DefaultButton : form->CancelButton;
        if (msg.wParam == VK_RETURN && button)
            if (auto* focused = dynamic_cast<TButton*>(TControl::FromHandle(GetFocus())))
                button = focused;
        if (!button) return false;
        if (button->Enabled()) button->Click();
        return true;
    }
    return IsDialogMessageA(wnd, &msg);
}

LRESULT TForm::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CLOSE:
        Close();
        return 0;
    case WM_PAINT:
        if (!FPainted) {
            LRESULT result = TControl::WndProc(msg, wParam, lParam);
            FPainted = true;
            if (OnFirstPaint) OnFirstPaint(this);
            return result;
        }
        break;
    case WM_DPICHANGED: {
        // Moved to a monitor of another scale: the system's rectangle keeps
        // the window where the user put it, at the new size.
        ChangeDpi(HIWORD(wParam));
        const RECT* r = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(Handle(), nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        // Owner-drawn items are measured when a menu is built.
        for (int i = 0; i < ComponentCount(); ++i)
            if (auto* menu = dynamic_cast<TMenu*>(Components(i)); menu && menu->OwnerDraw())
                menu->Rebuild();
        return 0;
    }
    case WM_MEASUREITEM: {
        auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (mi->CtlType == ODT_MENU) {
            auto* item = reinterpret_cast<TMenuItem*>(mi->itemData);
            if (item && item->OnMeasureItem) {
                HDC dc = GetDC(Handle());
                TFontHandle font = MenuFont(Dpi());
                int width = static_cast<int>(mi->itemWidth), height = static_cast<int>(mi->itemHeight);
                {
                    TSaveDC saved(dc);
                    SelectObject(dc, font.Get());
                    item->OnMeasureItem(item, dc, width, height);
                }
                ReleaseDC(Handle(), dc);
                mi->itemWidth = static_cast<UINT>(width);
                mi->itemHeight = static_cast<UINT>(height);
                return TRUE;
            }
        }
        break;
    }
    case WM_DRAWITEM: {
        auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (di->CtlType == ODT_MENU) {
            auto* item = reinterpret_cast<TMenuItem*>(di->itemData);
            if (item && item->OnDrawItem) {
                TFontHandle font = MenuFont(Dpi());
                TSaveDC saved(di->hDC);
                SelectObject(di->hDC, font.Get());
                item->OnDrawItem(item, di->hDC, di->rcItem, (di->itemState & ODS_SELECTED) != 0);
                return TRUE;
            }
        }
        break;
    }
    default:
        break;
    }
    return TControl::WndProc(msg, wParam, lParam);
}
