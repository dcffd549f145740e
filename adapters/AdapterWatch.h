#pragma once
// Tells the program when the adapters change (an address, a route, a link
// coming or going): the system's change notifications where they tell
// something, a poll where they do not. A burst of changes is folded into one
// call.
#include <windows.h>

#include <atomic>
#include <functional>
#include <vector>

class TAdapterWatch {
public:
    // How long after the first change of a burst `changed` runs.
    static constexpr DWORD FoldMs = 300;
    // Where no notification comes: every adapter read again this often, so
    // that a change shows within 5 s, reading included.
    static constexpr DWORD PollMs = 3000;

    // `changed` runs on the thread that makes the watch, from its message
    // loop; it is never called after the watch is destroyed.
    explicit TAdapterWatch(std::function<void()> changed, DWORD foldMs = FoldMs);
    ~TAdapterWatch();
    TAdapterWatch(const TAdapterWatch&) = delete;
    TAdapterWatch& operator=(const TAdapterWatch&) = delete;

    // True when the watch reads the adapters every PollMs instead of
    // listening.
    bool Polling() const { return FPolling; }
    // What the system's callbacks call, from any thread: posts one message
    // for a burst and does nothing else.
    void Changed();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    void Listen();
    void Handle(UINT msg, WPARAM wParam);

    std::function<void()> FChanged;
    DWORD FFoldMs;
    HWND FWindow = nullptr;             // owned: a message-only window of this thread
    std::vector<HANDLE> FNotifications; // owned: each cancelled before the window goes
    std::atomic<bool> FPending{false};  // a change posted, its call still to come
    bool FPolling = false;
};
