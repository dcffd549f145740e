// The floor of the start-up benchmark: a bare Win32 program that opens one
// window and records its first paint the way the real program does.
#include "base/StartupTrace.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

static LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    static bool painted = false;
    if (msg == WM_PAINT && !painted) {
        LRESULT r = DefWindowProcA(wnd, msg, wParam, lParam);
        painted = true;
        StartupMarkLast("painted");
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        if (const char* file = std::getenv("IPTAVIX_FIRST_PAINT_FILE"))
            if (FILE* f = std::fopen(file, "w")) {
                std::fprintf(f, "%llu\n",
                             (static_cast<unsigned long long>(now.dwHighDateTime) << 32) |
                                 now.dwLowDateTime);
                std::fclose(f);
            }
        return r;
    }
    if (msg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    StartupMark("winmain");
    WNDCLASSA wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "FloorWindow";
    RegisterClassA(&wc);
    HWND wnd = CreateWindowA("FloorWindow", "Floor Window", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                             100, 100, 489, 623, nullptr, nullptr, instance, nullptr);
    StartupMark("window");
    UpdateWindow(wnd);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}
