#pragma once
// Reads ten strings of a file's version record when FileName is assigned.
#include "base/Classes.h"

#include <string>

class TqvFileInfo : public TComponent {
public:
    explicit TqvFileInfo(TComponent* owner) : TComponent(owner) {}

    const std::string& FileName() const { return FFileName; }
    // Stores the path and reads its record; a blank path reads the running
    // program. A missing file or record leaves the strings as they were.
    void SetFileName(const std::string& path);

    std::string CompanyName, FileDescription, FileVersion, InternalName, LegalCopyright,
        LegalTrademarks, OriginalFilename, ProductName, ProductVersion, Comments;
    // The number after the last dot of FileVersion, 0 when it is none.
    int FileVersionAsNumeric() const;
    // The sub-block path of the last string query.
    const std::string& SubBlock() const { return FSubBlock; }

    const char* ClassName() const override { return "TqvFileInfo"; }

private:
    void ReadVersionInfo();
    std::string GetVersionValue(const char* key);
    std::string QueryStringValue(const char* key);

    std::string FFileName;
    DWORD FInfoSize = 0;
    void* FInfoBuffer = nullptr; // only during a reading
    DWORD FInfoHandle = 0;
    std::string FSubBlock;
};
