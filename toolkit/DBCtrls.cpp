#include "toolkit/DBCtrls.h"

#include "toolkit/Application.h"

namespace {

// The row indicator: a small black triangle pointing right.
HIMAGELIST MakeIndicator() {
    HIMAGELIST list = ImageList_Create(12, 16, ILC_COLOR32 | ILC_MASK, 1, 0);
    void* bits = nullptr;
    TBitmapHandle image(CreateTopDownDIB32(12, 16, &bits));
    auto* px = static_cast<DWORD*>(bits);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 12; ++x) {
            int dy = y < 8 ? 8 - y : y - 7;
            bool on = x >= 3 && x - 3 < 5 - dy + 1 && dy <= 4;
            px[y * 12 + x] = on ? 0xFF000000 : 0x00000000;
        }
    ImageList_Add(list, image.Get(), nullptr);
    return list;
}

} // namespace

TDBGrid::TDBGrid(TComponent* owner, TControl* parent, const TControlArgs& args,
                 const std::vector<TDBGridColumn>& columns)
    : TListView(owner, parent, args,
                [&] {
                    std::vector<TListColumn> cols{{"", 14}};
                    for (const TDBGridColumn& c : columns) cols.push_back({c.Title, c.Width});
                    return cols;
                }()),
      FColumns(columns), FIndicator(MakeIndicator()) {
    ListView_SetExtendedListViewStyle(Handle(), LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    ListView_SetImageList(Handle(), FIndicator.Get(), LVSIL_SMALL);
    // The highlighted row stays visible while the grid does not have the focus.
    SetWindowLongPtrA(Handle(), GWL_STYLE, GetWindowLongPtrA(Handle(), GWL_STYLE) | LVS_SHOWSELALWAYS);
}

TDBGrid::~TDBGrid() { SetDataSource(nullptr); }

void TDBGrid::SetDataSource(TDataSource* source) {
    if (FLinked) FLinked->RemoveLink(this);
    if (FDataSource) FDataSource->RemoveFreeNotification(this);
    FDataSource = source;
    FLinked = source ? source->DataSet : nullptr;
    if (FDataSource) FDataSource->FreeNotification(this);
    if (FLinked) FLinked->AddLink(this);
    Reload();
}

void TDBGrid::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == FDataSource) {
        if (FLinked) FLinked->RemoveLink(this);
        FDataSource = nullptr;
        FLinked = nullptr;
    }
    TListView::Notification(component, operation);
}

void TDBGrid::Reload() {
    FSyncing = true;
    BeginUpdate();
    Clear();
    if (FLinked && FLinked->Active()) {
        // Read the rows without moving the table: remember and restore.
        const int current = FLinked->RecNo();
        std::vector<TField> fields;
        for (const TDBGridColumn& c : FColumns) fields.push_back(FLinked->FieldByName(c.FieldName));
        for (int i = 0; i < FLinked->RecordCount(); ++i) {
            FLinked->MoveTo(i);
            std::vector<std::string> texts;
            for (const TField& f : fields) texts.push_back(f.AsString());
            AddItem("", texts);
        }
        if (current >= 0) FLinked->MoveTo(current);
    }
    EndUpdate();
    FSyncing = false;
    ShowCurrentRow();
}

int TDBGrid::HighlightedRow() const {
    return ListView_GetNextItem(Handle(), -1, LVNI_SELECTED);
}

void TDBGrid::ShowCurrentRow() {
    if (!FLinked || !FLinked->Active()) return;
    FSyncing = true;
    const int current = FLinked->RecNo();
    for (int i = 0; i < Count(); ++i) {
        LVITEMA item{};
        item.mask = LVIF_IMAGE;
        item.iItem = i;
        item.iImage = i == current ? 0 : I_IMAGENONE;
        SendMessageA(Handle(), LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    if (current >= 0) {
        ListView_SetItemState(Handle(), current, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(Handle(), current, FALSE);
    }
    FSyncing = false;
}

void TDBGrid::DataEvent(TDataEvent event) {
    if (FSyncing) return;
    switch (event) {
    case TDataEvent::deDataSetChange:
        Reload();
        break;
    case TDataEvent::deScroll:
    case TDataEvent::deRecordChange:
        ShowCurrentRow();
        break;
    default:
        break;
    }
}

void TDBGrid::DeleteHighlighted() {
    if (!FLinked || !FLinked->Active() || FLinked->RecordCount() == 0) return;
    int row = HighlightedRow();
    if (row < 0) return;
    if (MessageBoxA(Handle(), "Delete record?", "Confirm", MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return;
    FLinked->MoveTo(row);
    FLinked->Delete();
}

LRESULT TDBGrid::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_KEYDOWN) {
        UINT modifiers = (GetKeyState(VK_CONTROL) < 0 ? MK_CONTROL : 0) |
                         (GetKeyState(VK_SHIFT) < 0 ? MK_SHIFT : 0);
        if (OnKeyDown) OnKeyDown(this, static_cast<WORD>(wParam), modifiers);
        if (wParam == VK_DELETE && (modifiers & MK_CONTROL)) {
            DeleteHighlighted();
            return 0;
        }
    }
    return TListView::WndProc(msg, wParam, lParam);
}

LRESULT TDBGrid::Notify(NMHDR* header, bool& handled) {
    if (header->code == LVN_ITEMCHANGED && !FSyncing && FLinked && FLinked->Active()) {
        auto* change = reinterpret_cast<NMLISTVIEW*>(header);
        if ((change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED) &&
            !(change->uOldState & LVIS_SELECTED) && change->iItem != FLinked->RecNo() &&
            change->iItem < FLinked->RecordCount()) {
            FLinked->MoveTo(change->iItem); // the table follows the grid
        }
    }
    return TListView::Notify(header, handled);
}

// ---------------------------------------------------------------- lookup list

TDBLookupComboBox::TDBLookupComboBox(TComponent* owner, TControl* parent, const TControlArgs& args)
    : TControl(owner, parent) {
    TControlArgs a = args;
    a.Height = 200; // the height of the open list; the box itself follows the font
    CreateWnd("COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL, 0, a);
}

TDBLookupComboBox::~TDBLookupComboBox() {
    SetDataSource(nullptr);
    SetListSource(nullptr);
}

void TDBLookupComboBox::SetDataSource(TDataSource* source) {
    if (FDataTable) FDataTable->RemoveLink(this);
    if (FDataSource) FDataSource->RemoveFreeNotification(this);
    FDataSource = source;
    FDataTable = source ? source->DataSet : nullptr;
    if (FDataSource) FDataSource->FreeNotification(this);
    if (FDataTable) FDataTable->AddLink(this);
    ShowValue();
}

void TDBLookupComboBox::SetListSource(TDataSource* source) {
    if (FListTable) FListTable->RemoveLink(this);
    if (FListSource) FListSource->RemoveFreeNotification(this);
    FListSource = source;
    FListTable = source ? source->DataSet : nullptr;
    if (FListSource) FListSource->FreeNotification(this);
    if (FListTable) FListTable->AddLink(this);
    Reload();
}

void TDBLookupComboBox::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove) {
        if (component == FDataSource) {
            if (FDataTable) FDataTable->RemoveLink(this);
            FDataSource = nullptr;
            FDataTable = nullptr;
        }
        if (component == FListSource) {
            if (FListTable) FListTable->RemoveLink(this);
            FListSource = nullptr;
            FListTable = nullptr;
        }
    }
    TControl::Notification(component, operation);
}

void TDBLookupComboBox::Reload() {
    FSyncing = true;
    SendMessageA(Handle(), CB_RESETCONTENT, 0, 0);
    FKeys.clear();
    if (FListTable && FListTable->Active() && !KeyField.empty() && !ListField.empty()) {
        const int current = FListTable->RecNo();
        TField key = FListTable->FieldByName(KeyField), text = FListTable->FieldByName(ListField);
        for (int i = 0; i < FListTable->RecordCount(); ++i) {
            FListTable->MoveTo(i);
            FKeys.push_back(key.AsInteger());
            std::string item = text.AsString();
            SendMessageA(Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        }
        if (current >= 0) FListTable->MoveTo(current);
    }
    FSyncing = false;
    ShowValue();
}

void TDBLookupComboBox::ShowValue() {
    int index = -1;
    if (FDataTable && FDataTable->Active() && !DataField.empty()) {
        TField field = FDataTable->FieldByName(DataField);
        if (!field.IsNull())
            for (size_t i = 0; i < FKeys.size(); ++i)
                if (FKeys[i] == field.AsInteger()) index = static_cast<int>(i);
    }
    SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void TDBLookupComboBox::DataEvent(TDataEvent event) {
    if (FSyncing) return;
    if (event == TDataEvent::deDataSetChange && FListTable && FListTable->State() == TDataSetState::dsBrowse)
        Reload();
    else
        ShowValue();
}

void TDBLookupComboBox::WriteValue(const TFieldValue& value) {
    if (!FDataTable || !FDataTable->Active() || DataField.empty()) return;
    // A row that is merely browsed is put into edit state first.
    if (FDataTable->State() == TDataSetState::dsBrowse) FDataTable->Edit();
    FDataTable->FieldByName(DataField).SetValue(value);
}

void TDBLookupComboBox::Choose(int index) {
    if (index < 0 || index >= static_cast<int>(FKeys.size())) return;
    SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    WriteValue(TFieldValue::FromInteger(FKeys[static_cast<size_t>(index)]));
}

void TDBLookupComboBox::CommandNotify(WORD code) {
    if (code == CBN_SELCHANGE) Choose(static_cast<int>(SendMessageA(Handle(), CB_GETCURSEL, 0, 0)));
}

LRESULT TDBLookupComboBox::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_KEYDOWN && wParam == VK_DELETE && GetKeyState(VK_CONTROL) >= 0 &&
        GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_MENU) >= 0) {
        WriteValue(TFieldValue{}); // the empty value
        SendMessageA(Handle(), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        return 0;
    }
    return TControl::WndProc(msg, wParam, lParam);
}

std::string TDBLookupComboBox::Text() const { return Caption(); }

int TDBLookupComboBox::ItemCount() const {
    return static_cast<int>(SendMessageA(Handle(), CB_GETCOUNT, 0, 0));
}

std::string TDBLookupComboBox::Items(int index) const {
    char buf[512] = {};
    SendMessageA(Handle(), CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buf));
    return buf;
}
