#pragma once
// Data-aware controls: a data source names a table; the grid shows one field
// of every row and keeps its highlighted row and the table's current row
// the same.
#include "store/Database.h"
#include "toolkit/ComCtrls.h"

class TDataSource : public TComponent {
public:
    explicit TDataSource(TComponent* owner) : TComponent(owner) {}
    TDbTable* DataSet = nullptr; // not owned: the manager's table
    bool AutoEdit = true;        // typing starts an edit
    const char* ClassName() const override { return "TDataSource"; }
};

struct TDBGridColumn {
    std::string FieldName;
    std::string Title;
    int Width;
};

// A read-only grid over a table: a row indicator column, then the columns.
// Ctrl+Delete deletes the highlighted row after a confirmation.
class TDBGrid : public TListView, private TDataLink {
public:
    TDBGrid(TComponent* owner, TControl* parent, const TControlArgs& args,
            const std::vector<TDBGridColumn>& columns);
    ~TDBGrid() override;

    void SetDataSource(TDataSource* source);
    TDataSource* DataSource() const { return FDataSource; }
    // Reads every row again from the table.
    void Reload();
    int HighlightedRow() const;
    // Called on every key press in the grid, before the grid's own handling.
    std::function<void(TComponent* sender, WORD key, UINT modifiers)> OnKeyDown;
    const char* ClassName() const override { return "TDBGrid"; }

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    LRESULT Notify(NMHDR* header, bool& handled) override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    void DataEvent(TDataEvent event) override;
    void ShowCurrentRow();
    void DeleteHighlighted();

    std::vector<TDBGridColumn> FColumns;
    TDataSource* FDataSource = nullptr; // not owned
    TDbTable* FLinked = nullptr;        // the table we listen to, not owned
    bool FSyncing = false;
    struct ImageListTraits {
        static HIMAGELIST Invalid() { return nullptr; }
        static void Close(HIMAGELIST h) { ImageList_Destroy(h); }
    };
    TUniqueHandle<HIMAGELIST, ImageListTraits> FIndicator;
};

// A drop-down list bound to a field of one table whose values are keys of
// another: it shows the list field of the row whose key equals the field, and
// writes the chosen row's key into the field at once. Delete clears the field.
class TDBLookupComboBox : public TControl, private TDataLink {
public:
    TDBLookupComboBox(TComponent* owner, TControl* parent, const TControlArgs& args);
    ~TDBLookupComboBox() override;

    void SetDataSource(TDataSource* source); // the table written to
    void SetListSource(TDataSource* source); // the table listed
    std::string DataField, KeyField, ListField;
    // Reads the list again from the list table and shows the current value.
    void Reload();
    std::string Text() const;
    int ItemCount() const;
    std::string Items(int index) const;
    // Chooses the list's index-th row, as a click in the list does.
    void Choose(int index);
    const char* ClassName() const override { return "TDBLookupComboBox"; }

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void CommandNotify(WORD code) override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    void DataEvent(TDataEvent event) override;
    void ShowValue();
    void WriteValue(const TFieldValue& value);
    TDataSource* FDataSource = nullptr;   // not owned
    TDataSource* FListSource = nullptr;   // not owned
    TDbTable* FDataTable = nullptr;       // not owned, listened to
    TDbTable* FListTable = nullptr;       // not owned, listened to
    std::vector<long long> FKeys;         // the key of each list entry
    bool FSyncing = false;
};
