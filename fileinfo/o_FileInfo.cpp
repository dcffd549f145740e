#include "fileinfo/o_FileInfo.h"

#include "base/SysUtils.h"

#include <windows.h>

#include <cstdlib>
#include <vector>

void TqvFileInfo::SetFileName(const std::string& path) {
    FFileName = path;
    ReadVersionInfo();
}

void TqvFileInfo::ReadVersionInfo() {
    if (Trim(FFileName).empty()) FFileName = ApplicationExeName();
    if (!FileExists(FFileName)) return;
    FInfoSize = GetFileVersionInfoSizeA(FFileName.c_str(), &FInfoHandle);
    if (FInfoSize == 0) return;
    // The buffer lives for this reading only, whatever happens in it.
    std::vector<BYTE> buffer(FInfoSize, 0);
    FInfoBuffer = buffer.data();
    struct Release {
        void*& Buffer;
        ~Release() { Buffer = nullptr; }
    } release{FInfoBuffer};
    CompanyName = GetVersionValue("CompanyName");
    FileDescription = GetVersionValue("FileDescription");
    FileVersion = GetVersionValue("FileVersion");
    InternalName = GetVersionValue("InternalName");
    LegalCopyright = GetVersionValue("LegalCopyRight");
    LegalTrademarks = GetVersionValue("LegalTradeMarks");
    OriginalFilename = GetVersionValue("OriginalFileName");
    ProductName = GetVersionValue("ProductName");
    ProductVersion = GetVersionValue("ProductVersion");
    Comments = GetVersionValue("Comments");
}

std::string TqvFileInfo::GetVersionValue(const char* key) {
    if (!GetFileVersionInfoA(FFileName.c_str(), FInfoHandle, FInfoSize, FInfoBuffer))
        return std::string();
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(FInfoBuffer, "\\VarFileInfo\\Translation", &value, &length) || length < 4)
        return std::string();
    return QueryStringValue(key);
}

std::string TqvFileInfo::QueryStringValue(const char* key) {
    void* translation = nullptr;
    UINT length = 0;
    VerQueryValueA(FInfoBuffer, "\\VarFileInfo\\Translation", &translation, &length);
    const auto* words = static_cast<const WORD*>(translation); // the first entry only
    FSubBlock = Format("\\StringFileInfo\\%.4X%.4X\\%s", words[0], words[1], key);
    void* value = nullptr;
    if (!VerQueryValueA(FInfoBuffer, FSubBlock.c_str(), &value, &length) || !value)
        return std::string();
    return std::string(static_cast<const char*>(value));
}

int TqvFileInfo::FileVersionAsNumeric() const {
    size_t dot = FileVersion.find_last_of('.');
    std::string last = Trim(dot == std::string::npos ? FileVersion : FileVersion.substr(dot + 1));
    if (last.empty()) return 0;
    char* end = nullptr;
    long value = std::strtol(last.c_str(), &end, 10);
    return *end == '\0' ? static_cast<int>(value) : 0;
}
