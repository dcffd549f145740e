#pragma once
// The table engine: one database file (SQLite), table objects with a current
// row, pending inserts and edits, and change notices for data-aware controls.
#include "base/Classes.h"

#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

enum class TFieldType { ftInteger, ftString, ftBoolean };
enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };
enum class TDataEvent {
    deDataSetChange, // rows re-read, inserted or deleted
    deScroll,        // another row became current
    deStateChange,   // browse / edit / insert
    deFieldChange,   // a field of the pending row was written
    deRecordChange,  // the current row was stored or its edit dropped
};

// Text as a file holds it, as UTF-8: valid UTF-8 as it is, anything else as
// the system's ANSI code page, in which earlier versions wrote their files.
bool IsUtf8Text(const char* text, int size);
std::string FileTextAsUtf8(const char* text, int size);

struct TFieldValue {
    bool Null = true;
    bool IsInteger = false;
    long long Integer = 0;
    std::string Text;

    static TFieldValue FromInteger(long long v) { return {false, true, v, {}}; }
    static TFieldValue FromText(std::string s) { return {false, false, 0, std::move(s)}; }
    bool operator==(const TFieldValue&) const = default;
};

// The file, opened read-write and never created. Owns the sqlite3 handle.
class TDbConnection : public TComponent {
public:
    explicit TDbConnection(TComponent* owner);
    ~TDbConnection() override;

    std::string FileName; // ANSI path of the database file
    void Open();
    void Close();
    bool Connected() const { return FHandle != nullptr; }
    // True when the file could be opened for reading only.
    bool ReadOnly() const;
    sqlite3* Handle() const { return FHandle; } // still owned by the connection

    const char* ClassName() const override { return "TDbConnection"; }

private:
    friend class TDbTable;
    void RegisterTable(class TDbTable* table);
    void UnregisterTable(class TDbTable* table);
    sqlite3* FHandle = nullptr;
    std::vector<class TDbTable*> FTables; // not owned
};

// Receives a table's change notices; a data-aware control holds one.
class TDataLink {
public:
    virtual ~TDataLink() = default;
    virtual void DataEvent(TDataEvent event) = 0;
};

class TDbTable;

// A field of a table's current (or pending) row, looked up by name.
class TField {
public:
    TField(TDbTable* table, int column) : FTable(table), FColumn(column) {}
    const std::string& FieldName() const;
    int Index() const { return FColumn; }
    TFieldType DataType() const;
    bool IsNull() const;
    std::string AsString() const; // "" when empty; Boolean fields give "True"/"False"
    long long AsInteger() const;  // 0 when empty
    bool AsBoolean() const;       // false when empty
    void SetAsString(const std::string& value);
    void SetAsInteger(long long value);
    void SetAsBoolean(bool value);
    void SetValue(const TFieldValue& value);
    void Clear();

private:
    const TFieldValue& Value() const;
    TDbTable* FTable;
    int FColumn;
};

class TDbTable : public TComponent {
public:
    explicit TDbTable(TComponent* owner);
    ~TDbTable() override;

    void SetConnection(TDbConnection* connection);
    TDbConnection* Connection() const { return FConnection; }
    std::string TableName;
    // Fields the table must have besides its key ID, checked when it opens.
    std::vector<std::string> RequiredFields;

    void Open();
    void Close();
    bool Active() const { return FState != TDataSetState::dsInactive; }
    TDataSetState State() const { return FState; }
    bool Modified() const { return FModified; }

    bool Locate(const std::string& field, long long value);
    // Texts are compared without regard to case.
    bool Locate(const std::string& field, const std::string& value);
    TField FieldByName(const std::string& name);
    bool HasField(const std::string& name) const { return ColumnIndex(name) >= 0; }
    int FieldCount() const { return static_cast<int>(FColumns.size()); }

    void Insert();
    void Edit();
    void Post();
    // Keeps the pending new row for this run only, writing nothing: it gets
    // a key below zero, which no stored row has, stays through Refresh and
    // is forgotten by Delete.
    void PostUnstored();
    void Cancel();
    void Delete();
    void First();
    void Next();
    bool Eof() const;
    int RecordCount() const { return static_cast<int>(FRows.size()); }
    void Refresh();
    // 0-based index of the current row, -1 when there is none; moving settles.
    int RecNo() const { return FRows.empty() ? -1 : FRecNo; }
    void MoveTo(int index);
    // Settles a pending row: posts it if a field was written, drops it otherwise.
    void CheckBrowseMode();

    void AddLink(TDataLink* link);
    void RemoveLink(TDataLink* link);

    const char* ClassName() const override { return "TDbTable"; }

private:
    friend class TField;
    friend class TDbConnection;
    struct Column {
        std::string Name;
        TFieldType Type;
    };
    using Row = std::vector<TFieldValue>;

    void CheckActive() const;
    // An ordinary table whose ID is the row's own key.
    void CheckShape() const;
    // Runs an insert, update or delete that must change exactly one row;
    // raises EDatabaseRowGone when it changed none.
    void StepWrite(sqlite3_stmt* statement, const char* failed, const char* unchanged) const;
    int ColumnIndex(const std::string& name) const;
    bool LocateValue(int column, const TFieldValue& value);
    void LoadRows();
    void SetState(TDataSetState state);
    void Notify(TDataEvent event);
    const Row* CurrentRow() const;
    // The row of this run only with that key, or null.
    Row* Unstored(const TFieldValue& key);
    void WriteField(int column, const TFieldValue& value);
    [[noreturn]] void Fail(const std::string& what) const;

    TDbConnection* FConnection = nullptr; // not owned
    TDataSetState FState = TDataSetState::dsInactive;
    std::vector<Column> FColumns;
    int FIdColumn = -1;
    std::vector<Row> FRows;
    int FRecNo = 0;
    bool FEof = true;
    Row FBuffer;                // the pending row while inserting or editing
    std::vector<Row> FUnstored; // rows of this run only, after the stored ones
    long long FLastUnstoredKey = 0;
    bool FModified = false;
    std::vector<TDataLink*> FLinks; // not owned
};

// One transaction on a connection: every write between its start and Commit
// is stored together or, when it ends without Commit, not at all. Tables
// read before a rollback must be refreshed.
class TDbTransaction {
public:
    explicit TDbTransaction(TDbConnection& connection);
    ~TDbTransaction();
    TDbTransaction(const TDbTransaction&) = delete;
    TDbTransaction& operator=(const TDbTransaction&) = delete;
    void Commit();

private:
    TDbConnection& FConnection;
    bool FOpen = false;
};

// Creates a new database file holding the tables of `schema` (SQL). Refuses a
// path that already exists; raises EDatabaseError with the reason.
void CreateDatabaseFile(const std::string& path, const char* schema);
