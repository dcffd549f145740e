#include "activation/ApplyGuards.h"

#include <algorithm>

namespace {

TAdministratorCheck administratorCheck = nullptr;

bool TokenHasAdministrators() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, &administrators))
        return false;
    // A filtered token holds the group for denying only: not a member then.
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
    FreeSid(administrators);
    return member != FALSE;
}

// How often a waiting apply tries the mutex again.
constexpr DWORD RetryMs = 100;

} // namespace

const char* const NoAdministratorRightsText =
    "Applying an IP set needs administrator rights. Start IP Tavix Ver2 as administrator.";
const char* const AnotherApplyText =
    "Another IP set is being applied. Try again when it has finished.";

void SetAdministratorCheck(TAdministratorCheck check) {
    administratorCheck = check;
}

bool HasAdministratorRights() {
    return administratorCheck ? administratorCheck() : TokenHasAdministrators();
}

TApplyLock::TApplyLock(DWORD milliseconds, const std::function<void(DWORD)>& pause) {
    // Global: one per machine, across sessions (a scheduled task runs in its
    // own). Creating it there needs rights an apply has anyway; without
    // them the session's namespace still keeps the session's applies apart.
    FMutex.Reset(CreateMutexA(nullptr, FALSE, "Global\\IPTavixVer2.Apply"));
    if (!FMutex) FMutex.Reset(CreateMutexA(nullptr, FALSE, "IPTavixVer2.Apply"));
    if (!FMutex) return;
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD result = WaitForSingleObject(FMutex.Get(), 0);
        // Abandoned: the apply holding it ended without letting go; it is ours now.
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
            FHeld = true;
            return;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (result == WAIT_FAILED || elapsed >= milliseconds) return;
        const DWORD slice = std::min(RetryMs, milliseconds - elapsed);
        if (pause)
            pause(slice);
        else
            Sleep(slice);
    }
}

TApplyLock::~TApplyLock() {
    if (FHeld) ReleaseMutex(FMutex.Get());
}
