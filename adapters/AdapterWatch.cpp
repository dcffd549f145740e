#include "adapters/AdapterWatch.h"

#include <winsock2.h>

namespace {

// A change reported by a notification, posted from the system's thread.
constexpr UINT WM_ADAPTERS_CHANGED = WM_APP + 1;
constexpr UINT_PTR FoldTimer = 1, PollTimer = 2;
const char* const WindowClass = "TAdapterWatch";

// The notifications of Vista and later, found at run time: their rows are
// not looked at, so their types stay opaque here.
using TChangeCallback = void(WINAPI*)(void* context, void* row, int type);
using TNotifyChange = DWORD(WINAPI*)(USHORT family, TChangeCallback callback, void* context,
                                     BOOLEAN initialNotification, HANDLE* handle);
using TCancelNotify = DWORD(WINAPI*)(HANDLE handle);

void WINAPI OnChange(void* context, void*, int) {
    static_cast<TAdapterWatch*>(context)->Changed();
}

TCancelNotify CancelFunction() {
    HMODULE iphlpapi = GetModuleHandleA("iphlpapi.dll");
    return iphlpapi ? reinterpret_cast<TCancelNotify>(reinterpret_cast<void*>(
                          GetProcAddress(iphlpapi, "CancelMibChangeNotify2")))
                    : nullptr;
}

// Wine (8 at least) takes every registration and never calls back, and its
// NotifyAddrChange never completes: there only a poll sees a change.
bool NotificationsSilent() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

} // namespace

TAdapterWatch::TAdapterWatch(std::function<void()> changed, DWORD foldMs)
    : FChanged(std::move(changed)), FFoldMs(foldMs) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA cls{};
    if (!GetClassInfoA(instance, WindowClass, &cls)) {
        cls.lpfnWndProc = WindowProc;
        cls.hInstance = instance;
        cls.lpszClassName = WindowClass;
        RegisterClassA(&cls);
    }
    FWindow = CreateWindowExA(0, WindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                              nullptr);
    if (!FWindow) return; // nothing to post to: the view stays as Refresh leaves it
    SetWindowLongPtrA(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    Listen();
    if (FNotifications.empty() || NotificationsSilent()) {
        FPolling = true;
        SetTimer(FWindow, PollTimer, PollMs, nullptr);
    }
}

void TAdapterWatch::Listen() {
    HMODULE iphlpapi = LoadLibraryA("iphlpapi.dll"); // linked already: only counted once more
    if (!iphlpapi) return;
    // Interfaces (a link up or down, DHCP switched), their addresses, and
    // routes (the default gateway); DNS servers have no notification.
    for (const char* name :
         {"NotifyIpInterfaceChange", "NotifyUnicastIpAddressChange", "NotifyRouteChange2"}) {
        auto notify = reinterpret_cast<TNotifyChange>(
            reinterpret_cast<void*>(GetProcAddress(iphlpapi, name)));
        HANDLE handle = nullptr;
        if (notify && notify(AF_INET, OnChange, this, FALSE, &handle) == NO_ERROR && handle)
            FNotifications.push_back(handle);
    }
    FreeLibrary(iphlpapi);
}

TAdapterWatch::~TAdapterWatch() {
    // Cancelling waits for a callback under way: none runs once this returns.
    if (const TCancelNotify cancel = CancelFunction())
        for (HANDLE handle : FNotifications)
            cancel(handle);
    FNotifications.clear();
    if (FWindow) {
        SetWindowLongPtrA(FWindow, GWLP_USERDATA, 0);
        DestroyWindow(FWindow);
    }
}

void TAdapterWatch::Changed() {
    if (FWindow && !FPending.exchange(true) && !PostMessageA(FWindow, WM_ADAPTERS_CHANGED, 0, 0))
        FPending = false; // a full queue: the next change posts again
}

void TAdapterWatch::Handle(UINT msg, WPARAM wParam) {
    if (msg == WM_ADAPTERS_CHANGED) {
        // The rest of the burst is folded in until the timer runs out.
        SetTimer(FWindow, FoldTimer, FFoldMs, nullptr);
        return;
    }
    if (msg != WM_TIMER) return;
    if (wParam == FoldTimer) {
        KillTimer(FWindow, FoldTimer);
        // Cleared before the call: a change during the read is seen again.
        FPending = false;
    }
    try {
        FChanged();
    } catch (...) {
        // A read that fails leaves the view as it was; the next change tries again.
    }
}

LRESULT CALLBACK TAdapterWatch::WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* watch = reinterpret_cast<TAdapterWatch*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (watch && (msg == WM_ADAPTERS_CHANGED || msg == WM_TIMER)) {
        watch->Handle(msg, wParam);
        return 0;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}
