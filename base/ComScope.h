#pragma once
// COM for this thread while the object lives, where nobody started it yet.
#include <objbase.h>

class TComScope {
public:
    TComScope() : FResult(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~TComScope() {
        if (SUCCEEDED(FResult)) CoUninitialize();
    }
    TComScope(const TComScope&) = delete;
    TComScope& operator=(const TComScope&) = delete;

private:
    HRESULT FResult; // RPC_E_CHANGED_MODE: started by someone else, usable as it is
};
