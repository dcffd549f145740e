#pragma once
// A two-column list of a file's version strings.
#include "fileinfo/o_FileInfo.h"
#include "toolkit/ComCtrls.h"

class TqvFileInfoListView : public TListView {
public:
    // With a parent the rows are filled at once (from an empty reader).
    TqvFileInfoListView(TComponent* owner, TControl* parent, const TControlArgs& args);

    const std::string& FileName() const { return FFileName; }
    // Raises "%s file does not exist!" for a non-blank path to no file.
    void SetFileName(const std::string& path);
    virtual void FillItems();
    TqvFileInfo* FileInfo() const { return FFileInfo; }
    // Off: row captions can be edited in place.
    void SetReadOnly(bool readOnly);
    const char* ClassName() const override { return "TqvFileInfoListView"; }

protected:
    LRESULT Notify(NMHDR* header, bool& handled) override;

private:
    std::string FFileName;
    TqvFileInfo* FFileInfo; // owned as a component
};
