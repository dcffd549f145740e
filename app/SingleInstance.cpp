#include "app/SingleInstance.h"

#include "base/SysUtils.h"

#include <cstdint>

std::string InstanceMutexName(const std::string& databasePath) {
    char full[MAX_PATH * 2] = {};
    DWORD n = GetFullPathNameA(databasePath.c_str(), sizeof(full), full, nullptr);
    std::string path = n > 0 && n < sizeof(full) ? std::string(full, n) : databasePath;
    for (char& c : path)
        if (c == '/') c = '\\';
    path = UpperCase(path);
    // A name may not hold backslashes and is limited in length: a hash of the path.
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : path) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return Format("Local\\IPTavixVer2-%08lX%08lX", static_cast<unsigned long>(hash >> 32),
                  static_cast<unsigned long>(hash & 0xFFFFFFFFu));
}

TSingleInstance::TSingleInstance(const std::string& databasePath)
    : FName(InstanceMutexName(databasePath)) {
    FMutex.Reset(CreateMutexA(nullptr, TRUE, FName.c_str()));
    // Without a mutex at all the program still runs: it only cannot guard.
    FFirst = !FMutex || GetLastError() != ERROR_ALREADY_EXISTS;
}

void TSingleInstance::Publish(HWND mainWindow) {
    if (!FFirst) return;
    FWindowRecord.Reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                           sizeof(uint64_t), (FName + "-Window").c_str()));
    if (!FWindowRecord) return;
    if (void* view = MapViewOfFile(FWindowRecord.Get(), FILE_MAP_WRITE, 0, 0, sizeof(uint64_t))) {
        *static_cast<volatile uint64_t*>(view) = reinterpret_cast<uintptr_t>(mainWindow);
        UnmapViewOfFile(view);
    }
}

bool TSingleInstance::ActivateFirst(DWORD waitMs) const {
    const DWORD start = GetTickCount();
    for (;;) {
        HWND wnd = nullptr;
        TKernelHandle record(OpenFileMappingA(FILE_MAP_READ, FALSE, (FName + "-Window").c_str()));
        if (record) {
            if (void* view = MapViewOfFile(record.Get(), FILE_MAP_READ, 0, 0, sizeof(uint64_t))) {
                wnd = reinterpret_cast<HWND>(
                    static_cast<uintptr_t>(*static_cast<volatile uint64_t*>(view)));
                UnmapViewOfFile(view);
            }
        }
        if (wnd && IsWindow(wnd)) {
            if (IsIconic(wnd)) ShowWindow(wnd, SW_RESTORE);
            SetForegroundWindow(wnd);
            return true;
        }
        if (GetTickCount() - start >= waitMs) return false;
        Sleep(100);
    }
}
