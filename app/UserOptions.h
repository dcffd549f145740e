#pragma once
// The user's own settings, kept per user in the registry (never in the
// database, which the users of a machine share).
#include <string>

// Below HKEY_CURRENT_USER.
extern const char* const UserOptionsKey;

struct TUserOptions {
    // Minimising hides the main window; the notification-area icon stays.
    bool MinimizeToTray = true;
};

// What is stored; a value missing or of another type reads as its default.
TUserOptions LoadUserOptions();
// Raises with the reason when the key cannot be written.
void SaveUserOptions(const TUserOptions& options);
