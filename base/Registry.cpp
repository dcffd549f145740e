#include "base/Registry.h"

#include "base/Exceptions.h"
#include "base/SysUtils.h"

bool TRegistry::OpenKey(const std::string& path, bool canCreate) {
    CloseKey();
    std::string relative = path;
    while (!relative.empty() && relative.front() == '\\') relative.erase(0, 1);
    while (!relative.empty() && relative.back() == '\\') relative.pop_back();
    HKEY key = nullptr;
    const LONG result =
        canCreate ? RegCreateKeyExA(RootKey, relative.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    FAccess, nullptr, &key, nullptr)
                  : RegOpenKeyExA(RootKey, relative.c_str(), 0, FAccess, &key);
    if (result != ERROR_SUCCESS) return false;
    FCurrentKey = key;
    return true;
}

void TRegistry::CloseKey() {
    if (FCurrentKey) {
        RegCloseKey(FCurrentKey);
        FCurrentKey = nullptr;
    }
}

std::vector<std::string> TRegistry::GetKeyNames() const {
    std::vector<std::string> names;
    if (!FCurrentKey) return names;
    DWORD count = 0, longest = 0;
    if (RegQueryInfoKeyA(FCurrentKey, nullptr, nullptr, nullptr, &count, &longest, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return names;
    std::string buffer(longest + 1, '\0');
    for (DWORD i = 0; i < count; ++i) {
        DWORD len = longest + 1;
        if (RegEnumKeyExA(FCurrentKey, i, buffer.data(), &len, nullptr, nullptr, nullptr,
                          nullptr) == ERROR_SUCCESS)
            names.emplace_back(buffer.data(), len);
    }
    return names;
}

std::string TRegistry::ReadString(const std::string& name) const {
    // Read wide and converted here: the ...A call maps a character the code
    // page lacks onto a look-alike, and a connection name would name another.
    const std::wstring wideName = AnsiToWide(name);
    DWORD type = 0, size = 0;
    if (!FCurrentKey ||
        RegQueryValueExW(FCurrentKey, wideName.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        size == 0)
        return std::string();
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw ERegistryException(Format("Invalid data type for '%s'", name.c_str()));
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(FCurrentKey, wideName.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
        return std::string();
    data.resize(size / sizeof(wchar_t));
    while (!data.empty() && data.back() == L'\0') data.pop_back();
    return WideToAnsi(data);
}

bool TRegistry::ReadInteger(const std::string& name, DWORD& value) const {
    DWORD type = 0, data = 0, size = sizeof(data);
    if (!FCurrentKey ||
        RegQueryValueExA(FCurrentKey, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(data))
        return false;
    value = data;
    return true;
}

void TRegistry::WriteInteger(const std::string& name, DWORD value) {
    const LONG result = FCurrentKey
                            ? RegSetValueExA(FCurrentKey, name.c_str(), 0, REG_DWORD,
                                             reinterpret_cast<const BYTE*>(&value), sizeof(value))
                            : ERROR_INVALID_HANDLE;
    if (result != ERROR_SUCCESS)
        throw ERegistryException(
            Format("The setting '%s' could not be saved (error %ld)", name.c_str(), result));
}
