#include "app/NotifyIcon.h"

#include "base/SysUtils.h"

#include <windowsx.h>

#include <algorithm>
#include <cwchar>

namespace {

TShellNotifyIcon shellNotifyIcon = nullptr;

BOOL CallShell(DWORD message, NOTIFYICONDATAW& data) {
    return (shellNotifyIcon ? shellNotifyIcon : Shell_NotifyIconW)(message, &data);
}

// The icon's messages to its window.
constexpr UINT WM_NOTIFYICON = WM_APP + 1;
constexpr UINT IconID = 1;
constexpr UINT_PTR RetryTimer = 1;

void CopyText(wchar_t* to, size_t capacity, const std::string& text) {
    const std::wstring wide = AnsiToWide(text);
    const size_t n = std::min(wide.size(), capacity - 1);
    std::wmemcpy(to, wide.data(), n);
    to[n] = L'\0';
}

// An elevated program hears only what the window filter lets through from
// Explorer, which runs without elevation.
void AllowFromExplorer(HWND wnd, UINT message) {
    using TFilter = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    static const auto filter = reinterpret_cast<TFilter>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "ChangeWindowMessageFilterEx")));
    if (filter) filter(wnd, message, 1 /* MSGFLT_ALLOW */, nullptr);
}

} // namespace

void SetShellNotifyIconSource(TShellNotifyIcon source) {
    shellNotifyIcon = source;
}

TNotifyIcon::TNotifyIcon(TComponent* owner, HICON icon, const std::string& tip)
    : TControl(owner, nullptr), FIcon(icon), FTip(AnsiToWide(tip)),
      FTaskbarCreated(RegisterWindowMessageA("TaskbarCreated")) {
    TControlArgs args;
    args.Name = "NotifyIcon";
    args.Visible = false;
    CreateWnd(CustomClass("TIPTavixNotifyIcon", 0), WS_POPUP, WS_EX_TOOLWINDOW, args);
    AllowFromExplorer(Handle(), FTaskbarCreated);
    AllowFromExplorer(Handle(), WM_NOTIFYICON);
    if (!TryAdd()) StartRetries();
}

TNotifyIcon::~TNotifyIcon() {
    if (FShown) {
        NOTIFYICONDATAW data = Data(0);
        CallShell(NIM_DELETE, data);
    }
}

NOTIFYICONDATAW TNotifyIcon::Data(UINT flags) const {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = Handle();
    data.uID = IconID;
    data.uFlags = flags;
    return data;
}

bool TNotifyIcon::TryAdd() {
    NOTIFYICONDATAW data = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP);
    data.uCallbackMessage = WM_NOTIFYICON;
    data.hIcon = FIcon;
    const size_t n = std::min(FTip.size(), std::size(data.szTip) - 1);
    std::wmemcpy(data.szTip, FTip.data(), n);
    // A shell that timed out may still have taken the icon: then it is
    // there to be changed.
    FShown = CallShell(NIM_ADD, data) || CallShell(NIM_MODIFY, data);
    if (!FShown) return false;
    KillTimer(Handle(), RetryTimer);
    data.uVersion = NOTIFYICON_VERSION_4;
    FVersion4 = CallShell(NIM_SETVERSION, data) != FALSE;
    return true;
}

void TNotifyIcon::StartRetries() {
    FRetryStart = GetTickCount();
    SetTimer(Handle(), RetryTimer, AddRetryMs, nullptr);
}

void TNotifyIcon::SetTip(const std::string& tip) {
    FTip = AnsiToWide(tip);
    if (!FShown) return;
    NOTIFYICONDATAW data = Data(NIF_TIP | NIF_SHOWTIP);
    const size_t n = std::min(FTip.size(), std::size(data.szTip) - 1);
    std::wmemcpy(data.szTip, FTip.data(), n);
    CallShell(NIM_MODIFY, data);
}

void TNotifyIcon::ShowBalloon(const std::string& title, const std::string& text) {
    if (!FShown) return;
    NOTIFYICONDATAW data = Data(NIF_INFO);
    CopyText(data.szInfoTitle, std::size(data.szInfoTitle), title);
    CopyText(data.szInfo, std::size(data.szInfo), text);
    data.dwInfoFlags = NIIF_INFO;
    CallShell(NIM_MODIFY, data);
}

LRESULT TNotifyIcon::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == FTaskbarCreated && FTaskbarCreated) {
        // Explorer started anew with an empty area.
        FShown = false;
        if (!TryAdd()) StartRetries();
        return 0;
    }
    switch (msg) {
    case WM_TIMER:
        if (wParam == RetryTimer) {
            if (!TryAdd() && GetTickCount() - FRetryStart >= AddRetryLimitMs) {
                KillTimer(Handle(), RetryTimer);
                if (OnGiveUp) OnGiveUp();
            }
            return 0;
        }
        break;
    case WM_NOTIFYICON: {
        // Version 4: the event in the low word of lParam, the anchor point in
        // wParam; before it, the mouse message alone in lParam.
        const UINT event = FVersion4 ? LOWORD(lParam) : static_cast<UINT>(lParam);
        POINT at{GET_X_LPARAM(wParam), GET_Y_LPARAM(wParam)};
        if (!FVersion4) GetCursorPos(&at);
        switch (event) {
        case WM_CONTEXTMENU:
            if (FVersion4 && OnContextMenu) OnContextMenu(at.x, at.y);
            break;
        case WM_RBUTTONUP:
            if (!FVersion4 && OnContextMenu) OnContextMenu(at.x, at.y);
            break;
        case NIN_SELECT:
        case NIN_KEYSELECT:
            if (FVersion4 && OnSelect) OnSelect();
            break;
        case WM_LBUTTONUP:
            if (!FVersion4 && OnSelect) OnSelect();
            break;
        default:
            break;
        }
        return 0;
    }
    default:
        break;
    }
    return TControl::WndProc(msg, wParam, lParam);
}
