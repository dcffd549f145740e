#pragma once
// Move-only owners for Win32 handles; the kernel's own here, the window
// system's in toolkit/GdiHandles.h.
#include <windows.h>

#include <utility>

template <typename H, typename Traits> class TUniqueHandle {
public:
    TUniqueHandle() = default;
    explicit TUniqueHandle(H handle) : FHandle(handle) {}
    ~TUniqueHandle() { Reset(); }
    TUniqueHandle(const TUniqueHandle&) = delete;
    TUniqueHandle& operator=(const TUniqueHandle&) = delete;
    TUniqueHandle(TUniqueHandle&& other) noexcept : FHandle(other.Release()) {}
    TUniqueHandle& operator=(TUniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    H Get() const { return FHandle; }
    explicit operator bool() const { return FHandle != Traits::Invalid(); }
    H Release() {
        H h = FHandle;
        FHandle = Traits::Invalid();
        return h;
    }
    void Reset(H handle = Traits::Invalid()) {
        if (FHandle != Traits::Invalid()) Traits::Close(FHandle);
        FHandle = handle;
    }

private:
    H FHandle = Traits::Invalid();
};

struct TKernelTraits {
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
using TKernelHandle = TUniqueHandle<HANDLE, TKernelTraits>;

// CreateFile's handles, whose failure value is INVALID_HANDLE_VALUE.
struct TFileTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
using TFileHandle = TUniqueHandle<HANDLE, TFileTraits>;
