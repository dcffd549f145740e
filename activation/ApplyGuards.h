#pragma once
// What an apply needs from the machine before its netsh runs: administrator
// rights, and no other apply of this program running at the same time.
#include "base/Handles.h"

#include <windows.h>

#include <functional>

// Same answer as the process token gives; tests replace it here.
using TAdministratorCheck = bool (*)();
void SetAdministratorCheck(TAdministratorCheck check); // nullptr: the token's own answer
// True when the process runs with administrator rights in effect (not with
// the filtered token of a standard start or of __COMPAT_LAYER=RunAsInvoker).
bool HasAdministratorRights();

extern const char* const NoAdministratorRightsText;
extern const char* const AnotherApplyText;

// An apply waits this long for one running elsewhere on the machine.
constexpr DWORD ApplyLockWaitMs = 60000;

// A machine-wide named mutex held over one apply's runs and its check, so an
// apply from the window and a scheduled /activate never interleave.
class TApplyLock {
public:
    // Waits up to `milliseconds` for the apply holding it to end; `pause`
    // passes the time between two tries (serving messages, where a window waits).
    TApplyLock(DWORD milliseconds, const std::function<void(DWORD)>& pause);
    ~TApplyLock();
    TApplyLock(const TApplyLock&) = delete;
    TApplyLock& operator=(const TApplyLock&) = delete;
    // False when the other apply went on longer than the wait.
    bool Held() const { return FHeld; }

private:
    TKernelHandle FMutex;
    bool FHeld = false;
};
