#include "base/Exceptions.h"

#include "base/SysUtils.h"

std::string SysErrorMessage(DWORD code) {
    char* buffer = nullptr;
    DWORD len = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                               nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text;
    if (buffer) {
        text.assign(buffer, len);
        LocalFree(buffer);
    }
    while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

EOSError::EOSError(DWORD code)
    : Exception(Format("System Error.  Code: %lu.\r\n", static_cast<unsigned long>(code)) +
                SysErrorMessage(code)),
      FErrorCode(code) {}

EListError::EListError(int index) : Exception(Format("List index out of bounds (%d)", index)) {}

void RaiseLastOSError() { throw EOSError(GetLastError()); }
