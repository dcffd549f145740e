#include "app/SingleInstance.h"

#include "base/SysUtils.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstdint>

const char* const InstanceMutexAccess = "O:BAD:(A;;GA;;;BA)(A;;GA;;;SY)";

namespace {

// The same access list, the owner left to the creating account.
const char AccessListOnly[] = "D:(A;;GA;;;BA)(A;;GA;;;SY)";

const char MutexPrefix[] = "Global\\";
// The window record only serves a start in the same session: a window of
// another session cannot be brought to the front.
const char RecordPrefix[] = "Local\\";

std::string PathHash(const std::string& databasePath) {
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
    return Format("IPTavixVer2-%08lX%08lX", static_cast<unsigned long>(hash >> 32),
                  static_cast<unsigned long>(hash & 0xFFFFFFFFu));
}

// Owns a security descriptor made by ConvertStringSecurityDescriptorToSecurityDescriptor.
class TSecurityDescriptor {
public:
    explicit TSecurityDescriptor(const char* sddl) {
        ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &FSd, nullptr);
    }
    ~TSecurityDescriptor() { LocalFree(FSd); }
    TSecurityDescriptor(const TSecurityDescriptor&) = delete;
    TSecurityDescriptor& operator=(const TSecurityDescriptor&) = delete;
    PSECURITY_DESCRIPTOR Get() const { return FSd; }

private:
    PSECURITY_DESCRIPTOR FSd = nullptr;
};

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    return sid && IsValidSid(sid) && IsWellKnownSid(sid, type);
}

// Only an administrator's or SYSTEM's program can make the administrators
// the owner of what it creates: any other owner is a program that took the
// name first.
bool OwnedByAdministrators(HANDLE object) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &sd) != ERROR_SUCCESS)
        return false;
    const bool trusted =
        IsWellKnown(owner, WinBuiltinAdministratorsSid) || IsWellKnown(owner, WinLocalSystemSid);
    LocalFree(sd);
    return trusted;
}

bool RunsAsAdministrator() {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(buffer);
    BOOL member = FALSE;
    return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, buffer, &size) &&
           CheckTokenMembership(nullptr, buffer, &member) && member;
}

} // namespace

std::string InstanceMutexName(const std::string& databasePath) {
    return MutexPrefix + PathHash(databasePath);
}

TSingleInstance::TSingleInstance(const std::string& databasePath) : FName(PathHash(databasePath)) {
    const std::string name = MutexPrefix + FName;
    TSecurityDescriptor access(InstanceMutexAccess);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), access.Get(), FALSE};
    FMutex.Reset(CreateMutexA(&attributes, FALSE, name.c_str()));
    DWORD error = GetLastError();
    if (!FMutex && error == ERROR_INVALID_OWNER) {
        // Not an administrator's program (started without elevation): it
        // cannot give the administrators the mutex; its own account owns it.
        TSecurityDescriptor dacl(AccessListOnly);
        attributes.lpSecurityDescriptor = dacl.Get();
        FMutex.Reset(CreateMutexA(&attributes, FALSE, name.c_str()));
        error = GetLastError();
    }
    if (!FMutex) {
        // Refused to an administrator: a program took the name first and
        // locked it. Without any mutex at all the program still runs; it
        // only cannot guard.
        FNameTaken = error == ERROR_ACCESS_DENIED && RunsAsAdministrator();
        FFirst = error != ERROR_ACCESS_DENIED || FNameTaken;
        return;
    }
    if (error == ERROR_ALREADY_EXISTS && !OwnedByAdministrators(FMutex.Get())) {
        FMutex.Reset();
        FNameTaken = true;
        FFirst = true;
        return;
    }
    const DWORD wait = WaitForSingleObject(FMutex.Get(), 0);
    FHeld = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED; // abandoned: its holder ended
    FFirst = FHeld;
}

TSingleInstance::~TSingleInstance() {
    if (FHeld) ReleaseMutex(FMutex.Get());
}

void TSingleInstance::Publish(HWND mainWindow) {
    if (!FFirst) return;
    FWindowRecord.Reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                           sizeof(uint64_t),
                                           (RecordPrefix + FName + "-Window").c_str()));
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
        TKernelHandle record(
            OpenFileMappingA(FILE_MAP_READ, FALSE, (RecordPrefix + FName + "-Window").c_str()));
        if (record) {
            if (void* view = MapViewOfFile(record.Get(), FILE_MAP_READ, 0, 0, sizeof(uint64_t))) {
                wnd = reinterpret_cast<HWND>(
                    static_cast<uintptr_t>(*static_cast<volatile uint64_t*>(view)));
                UnmapViewOfFile(view);
            }
        }
        if (wnd && IsWindow(wnd)) {
            // Hidden (started with /tray, or minimised to the notification
            // area) as well as minimised: shown as it was. Asked, not waited
            // for: a first program busy applying a set keeps this one waiting.
            if (IsIconic(wnd))
                ShowWindowAsync(wnd, SW_RESTORE);
            else if (!IsWindowVisible(wnd))
                ShowWindowAsync(wnd, SW_SHOW);
            SetForegroundWindow(wnd);
            return true;
        }
        if (GetTickCount() - start >= waitMs) return false;
        Sleep(100);
    }
}
