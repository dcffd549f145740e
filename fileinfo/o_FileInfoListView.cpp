#include "fileinfo/o_FileInfoListView.h"

#include "base/SysUtils.h"

TqvFileInfoListView::TqvFileInfoListView(TComponent* owner, TControl* parent,
                                         const TControlArgs& args)
    : TListView(owner, parent,
                [&] {
                    TControlArgs a = args;
                    if (!a.Width) a.Width = 254;
                    if (!a.Height) a.Height = 166;
                    return a;
                }(),
                {}),
      FFileInfo(new TqvFileInfo(this)) {
    if (parent) FillItems();
}

void TqvFileInfoListView::SetFileName(const std::string& path) {
    FFileName = path;
    if (!Trim(path).empty() && !FileExists(path))
        throw Exception(Format("%s file does not exist!", path.c_str()));
    FFileInfo->SetFileName(path);
    FillItems();
}

void TqvFileInfoListView::FillItems() {
    BeginUpdate();
    Clear();
    while (ColumnCount() > 0) ListView_DeleteColumn(Handle(), 0);
    const int half = Width() / 2;
    for (const char* caption : {"Key", "Value"}) {
        LVCOLUMNA col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        std::string text = caption;
        col.pszText = text.data();
        col.cx = half;
        SendMessageA(Handle(), LVM_INSERTCOLUMNA, ColumnCount(), reinterpret_cast<LPARAM>(&col));
    }
    const TqvFileInfo& info = *FFileInfo;
    const std::pair<const char*, const std::string*> rows[] = {
        {"CompanyName", &info.CompanyName},       {"File Description", &info.FileDescription},
        {"FileName", &info.FileName()},           {"File Version", &info.FileVersion},
        {"Internal Name", &info.InternalName},    {"Legal Copyright", &info.LegalCopyright},
        {"Legal TradeMarks", &info.LegalTrademarks}, {"Original Filename", &info.OriginalFilename},
        {"Product Name", &info.ProductName},      {"Product Version", &info.ProductVersion}};
    for (const auto& [caption, value] : rows) AddItem(caption, {*value});
    EndUpdate();
}

void TqvFileInfoListView::SetReadOnly(bool readOnly) {
    LONG_PTR style = GetWindowLongPtrA(Handle(), GWL_STYLE);
    style = readOnly ? (style & ~LVS_EDITLABELS) : (style | LVS_EDITLABELS);
    SetWindowLongPtrA(Handle(), GWL_STYLE, style);
}

LRESULT TqvFileInfoListView::Notify(NMHDR* header, bool& handled) {
    if (header->code == LVN_ENDLABELEDITA || header->code == LVN_ENDLABELEDITW) {
        // An edited caption is kept (a cancelled edit brings no text).
        handled = true;
        return reinterpret_cast<NMLVDISPINFOA*>(header)->item.pszText != nullptr;
    }
    return TListView::Notify(header, handled);
}
