#include "app/UserOptions.h"

#include "base/Exceptions.h"
#include "base/Registry.h"

const char* const UserOptionsKey = "Software\\IP Tavix Ver2";

namespace {
const char MinimizeToTrayValue[] = "MinimizeToNotificationArea";
}

TUserOptions LoadUserOptions() {
    TUserOptions options;
    TRegistry registry(KEY_READ);
    registry.RootKey = HKEY_CURRENT_USER;
    if (!registry.OpenKey(UserOptionsKey)) return options;
    DWORD value = 0;
    if (registry.ReadInteger(MinimizeToTrayValue, value)) options.MinimizeToTray = value != 0;
    return options;
}

void SaveUserOptions(const TUserOptions& options) {
    TRegistry registry(KEY_READ | KEY_WRITE);
    registry.RootKey = HKEY_CURRENT_USER;
    if (!registry.OpenKey(UserOptionsKey, true))
        throw ERegistryException(std::string("The key HKEY_CURRENT_USER\\") + UserOptionsKey +
                                 " could not be opened for writing");
    registry.WriteInteger(MinimizeToTrayValue, options.MinimizeToTray ? 1 : 0);
}
