#pragma once
// Access to the registry: one open key at a time, owned by the object.
#include <windows.h>

#include <string>
#include <vector>

class TRegistry {
public:
    explicit TRegistry(REGSAM access = KEY_READ) : FAccess(access) {}
    ~TRegistry() { CloseKey(); }
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    HKEY RootKey = HKEY_CURRENT_USER; // predefined key, never closed
    // Opens a key by its path from RootKey (a leading '\' is allowed); never
    // creates it unless `canCreate`. Closes the key opened before.
    bool OpenKey(const std::string& path, bool canCreate = false);
    void CloseKey();
    // Direct subkey names of the open key, in enumeration order.
    std::vector<std::string> GetKeyNames() const;
    // A missing value reads as ""; a value of another type raises
    // "Invalid data type for '<name>'".
    std::string ReadString(const std::string& name) const;
    // False, `value` untouched, when the value is missing or not a DWORD.
    bool ReadInteger(const std::string& name, DWORD& value) const;
    // Raises ERegistryException when the value cannot be written.
    void WriteInteger(const std::string& name, DWORD value);

private:
    REGSAM FAccess;
    HKEY FCurrentKey = nullptr;
};
