#include "store/Database.h"

#include "base/SysUtils.h"

#include <sqlite3.h>
#include <windows.h>

#include <algorithm>

namespace {

// The code page earlier versions wrote their text in: the system's ANSI one.
UINT SystemAnsiCodePage() {
    wchar_t text[8] = {};
    if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, text, 8) > 0) {
        const UINT codePage = static_cast<UINT>(wcstoul(text, nullptr, 10));
        if (codePage != 0 && codePage != CP_UTF8 && IsValidCodePage(codePage)) return codePage;
    }
    return 1252;
}

// Owns one prepared statement.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) : FDb(db) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &FStmt, nullptr) != SQLITE_OK) FStmt = nullptr;
    }
    ~Statement() { sqlite3_finalize(FStmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool Ok() const { return FStmt != nullptr; }
    sqlite3_stmt* Get() const { return FStmt; }
    void Bind(int index, const TFieldValue& v) {
        if (v.Null)
            sqlite3_bind_null(FStmt, index);
        else if (v.IsInteger)
            sqlite3_bind_int64(FStmt, index, v.Integer);
        else
            sqlite3_bind_text(FStmt, index, v.Text.c_str(), static_cast<int>(v.Text.size()),
                              SQLITE_TRANSIENT);
    }
    std::string Error() const { return sqlite3_errmsg(FDb); }

private:
    sqlite3* FDb;
    sqlite3_stmt* FStmt = nullptr;
};

bool Locked(int rc) {
    return (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED;
}

constexpr const char* InUse = "The database is in use by another program";

std::string Quoted(const std::string& name) {
    std::string out = "\"";
    for (char c : name)
        out += (c == '"') ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

TFieldType TypeFromDecl(const std::string& decl) {
    std::string d = UpperCase(decl);
    if (d.find("BOOL") != std::string::npos || d == "BIT" || d == "YESNO")
        return TFieldType::ftBoolean;
    if (d.find("INT") != std::string::npos) return TFieldType::ftInteger;
    return TFieldType::ftString;
}

TFieldValue ReadColumn(sqlite3_stmt* stmt, int i) {
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return TFieldValue::FromInteger(sqlite3_column_int64(stmt, i));
    default: {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
        const int len = sqlite3_column_bytes(stmt, i);
        // Where this process's text is UTF-8, a file that cannot be rewritten
        // (read-only) may still hold an earlier version's ANSI text.
        return TFieldValue::FromText(GetACP() == CP_UTF8 ? FileTextAsUtf8(text, len)
                                                         : std::string(text, len));
    }
    }
}

// Bounds the time one step of opening may take: SQLite asks the handler
// every few thousand instructions, and a non-zero answer interrupts it.
class TDeadline {
public:
    TDeadline(sqlite3* db, ULONGLONG milliseconds)
        : FDb(db), FEnd(GetTickCount64() + milliseconds) {
        sqlite3_progress_handler(FDb, 1000, &TDeadline::Expired, this);
    }
    ~TDeadline() { sqlite3_progress_handler(FDb, 0, nullptr, nullptr); }
    TDeadline(const TDeadline&) = delete;
    TDeadline& operator=(const TDeadline&) = delete;

private:
    static int Expired(void* self) {
        return GetTickCount64() > static_cast<TDeadline*>(self)->FEnd ? 1 : 0;
    }
    sqlite3* FDb;
    ULONGLONG FEnd;
};

constexpr ULONGLONG OpenTimeLimit = 5000;
// Far above what any list of IP sets needs; checking a larger file could keep
// start-up waiting for a long time.
constexpr long long LargestFile = 64ll * 1024 * 1024;

// A file may come from anywhere: it is read as SQLite advises for files of
// unknown origin, so no trigger, view or schema function of its own runs.
void Defend(sqlite3* db) {
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    sqlite3_exec(db, "PRAGMA cell_size_check=ON; PRAGMA mmap_size=0", nullptr, nullptr, nullptr);
}

// One token of a CREATE TABLE statement as SQLite reads it: a word
// (keyword or bare name), a quoted name, a literal, or one character.
struct TSqlToken {
    enum { Word, QuotedName, Literal, Other } Kind;
    std::string Text; // a word in upper case; a quoted name without its quotes
    bool Is(const char* word) const { return Kind == Word && Text == word; }
};

bool IsSqlSpace(char c) {
    // The characters SQLite's tokenizer takes as white space (not \v).
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

bool IsSqlWordChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

// The statement's tokens; white space and both kinds of comment are skipped,
// as SQLite skips them.
std::vector<TSqlToken> SqlTokens(const std::string& sql) {
    std::vector<TSqlToken> tokens;
    const size_t n = sql.size();
    size_t i = 0;
    // The end of a quoted text opened at i by `close`; a doubled `close` is one.
    auto quoted = [&](char close, std::string& text) {
        for (++i; i < n; ++i) {
            if (sql[i] != close) {
                text += sql[i];
            } else if (close != ']' && i + 1 < n && sql[i + 1] == close) {
                text += close;
                ++i;
            } else {
                ++i;
                return;
            }
        }
    };
    while (i < n) {
        const char c = sql[i];
        if (IsSqlSpace(c)) {
            ++i;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            while (i < n && sql[i] != '\n')
                ++i;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            const size_t end = sql.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 2;
        } else if (c == '"' || c == '`' || c == '[') {
            TSqlToken t{TSqlToken::QuotedName, {}};
            quoted(c == '[' ? ']' : c, t.Text);
            tokens.push_back(std::move(t));
        } else if (c == '\'') {
            TSqlToken t{TSqlToken::Literal, {}};
            quoted('\'', t.Text);
            tokens.push_back(std::move(t));
        } else if (IsSqlWordChar(c)) {
            const size_t start = i;
            while (i < n && IsSqlWordChar(sql[i]))
                ++i;
            tokens.push_back({TSqlToken::Word, UpperCase(sql.substr(start, i - start))});
        } else {
            tokens.push_back({TSqlToken::Other, std::string(1, c)});
            ++i;
        }
    }
    return tokens;
}

// True when a definition of the table other than the column `key` holds a
// UNIQUE constraint or an ON CONFLICT clause.
bool HasConstraintOutsideKey(const std::vector<TSqlToken>& tokens, const char* key) {
    size_t i = 0;
    while (i < tokens.size() && !(tokens[i].Kind == TSqlToken::Other && tokens[i].Text == "("))
        ++i;
    int depth = 0;
    bool definitionStart = true, inKey = false;
    for (; i < tokens.size(); ++i) {
        const TSqlToken& t = tokens[i];
        if (t.Kind == TSqlToken::Other && (t.Text == "(" || t.Text == ")")) {
            depth += t.Text == "(" ? 1 : -1;
            if (depth == 0) break;
            continue;
        }
        if (depth == 1 && t.Kind == TSqlToken::Other && t.Text == ",") {
            definitionStart = true;
            continue;
        }
        if (definitionStart) {
            // A column's definition starts with its name; a table constraint
            // with a keyword no name may be.
            inKey = (t.Kind == TSqlToken::Word || t.Kind == TSqlToken::QuotedName) &&
                    SameText(t.Text, key);
            definitionStart = false;
        }
        if (inKey) continue;
        if (t.Is("UNIQUE")) return true;
        if (t.Is("ON") && i + 1 < tokens.size() && tokens[i + 1].Is("CONFLICT")) return true;
    }
    return false;
}

} // namespace

bool IsUtf8Text(const char* text, int size) {
    return size == 0 ||
           MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, size, nullptr, 0) > 0;
}

std::string FileTextAsUtf8(const char* text, int size) {
    if (IsUtf8Text(text, size)) return std::string(text, static_cast<size_t>(size));
    const UINT codePage = SystemAnsiCodePage();
    const int wide = MultiByteToWideChar(codePage, 0, text, size, nullptr, 0);
    std::wstring w(static_cast<size_t>(wide > 0 ? wide : 0), L'\0');
    MultiByteToWideChar(codePage, 0, text, size, w.data(), wide);
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data(), n, nullptr, nullptr);
    return out;
}

// ---------------------------------------------------------------- transaction

TDbTransaction::TDbTransaction(TDbConnection& connection) : FConnection(connection) {
    FConnection.Open();
    char* error = nullptr;
    // IMMEDIATE takes the write lock now, so no other writer fails it halfway.
    if (sqlite3_exec(FConnection.Handle(), "BEGIN IMMEDIATE", nullptr, nullptr, &error) !=
        SQLITE_OK) {
        std::string why = error ? error : "unknown failure";
        sqlite3_free(error);
        throw EDatabaseError(Format("Cannot start a transaction on %s: %s.",
                                    FConnection.FileName.c_str(), why.c_str()));
    }
    FOpen = true;
}

TDbTransaction::~TDbTransaction() {
    if (FOpen) sqlite3_exec(FConnection.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void TDbTransaction::Commit() {
    char* error = nullptr;
    if (sqlite3_exec(FConnection.Handle(), "COMMIT", nullptr, nullptr, &error) != SQLITE_OK) {
        std::string why = error ? error : "unknown failure";
        sqlite3_free(error);
        throw EDatabaseError(Format("Cannot store the changes in %s: %s.",
                                    FConnection.FileName.c_str(), why.c_str()));
    }
    FOpen = false;
}

// ---------------------------------------------------------------- connection

TDbConnection::TDbConnection(TComponent* owner) : TComponent(owner) {}

TDbConnection::~TDbConnection() {
    Close();
}

void TDbConnection::Open() {
    if (FHandle) return;
    std::string folder = ExtractFilePath(FileName);
    if (!folder.empty() && !DirectoryExists(folder))
        throw EDatabaseError(Format("The database folder %s does not exist.", folder.c_str()));
    if (!FileExists(FileName))
        throw EDatabaseError(Format("The database file %s does not exist.", FileName.c_str()));

    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (GetFileAttributesExA(FileName.c_str(), GetFileExInfoStandard, &attributes) &&
        (static_cast<long long>(attributes.nFileSizeHigh) << 32 | attributes.nFileSizeLow) >
            LargestFile)
        throw EDatabaseError(
            Format("The file %s is too large to be an IP set database.", FileName.c_str()));

    // A file marked read-only is opened for reading, so every write fails with
    // a clear message instead of succeeding for a privileged user.
    const bool readOnly = GetFileAttributesA(FileName.c_str()) & FILE_ATTRIBUTE_READONLY;
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(AnsiToUtf8(FileName).c_str(), &db,
                             readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        std::string why = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close(db);
        throw EDatabaseError(
            Format("Cannot open the database file %s: %s.", FileName.c_str(), why.c_str()));
    }
    Defend(db);
    sqlite3_busy_timeout(db, 2000);
    // Every stored row must be on disk when Post or Delete returns.
    sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);

    // A file that is not a database, or a damaged one, is refused here rather
    // than at the first read.
    std::string problem;
    bool locked = false;
    {
        TDeadline deadline(db, OpenTimeLimit);
        Statement check(db, "PRAGMA quick_check(1)");
        if (!check.Ok()) {
            problem = check.Error();
            locked = Locked(sqlite3_extended_errcode(db));
        } else {
            int step = sqlite3_step(check.Get());
            if (step == SQLITE_ROW) {
                std::string result = ReadColumn(check.Get(), 0).Text;
                if (result != "ok") problem = result;
            } else if (step != SQLITE_DONE) {
                problem = check.Error();
                locked = Locked(step);
            }
        }
    }
    if (locked) {
        // Another program holds the file: it is sound, just not ours to read now.
        sqlite3_close(db);
        throw EDatabaseError(Format("%s (%s).", InUse, FileName.c_str()));
    }
    if (!problem.empty()) {
        sqlite3_close(db);
        throw EDatabaseError(Format("The file %s is not a valid IP set database (%s).",
                                    FileName.c_str(), problem.c_str()));
    }
    FHandle = db;
}

bool TDbConnection::ReadOnly() const {
    return FHandle && sqlite3_db_readonly(FHandle, "main") == 1;
}

void TDbConnection::Close() {
    std::vector<TDbTable*> tables = FTables;
    for (TDbTable* t : tables)
        t->Close();
    if (FHandle) {
        sqlite3_close_v2(FHandle);
        FHandle = nullptr;
    }
}

void TDbConnection::RegisterTable(TDbTable* table) {
    if (std::find(FTables.begin(), FTables.end(), table) == FTables.end()) FTables.push_back(table);
}

void TDbConnection::UnregisterTable(TDbTable* table) {
    FTables.erase(std::remove(FTables.begin(), FTables.end(), table), FTables.end());
}

// ---------------------------------------------------------------- field

const std::string& TField::FieldName() const {
    return FTable->FColumns[FColumn].Name;
}

TFieldType TField::DataType() const {
    return FTable->FColumns[FColumn].Type;
}

const TFieldValue& TField::Value() const {
    static const TFieldValue empty;
    if (FTable->FState == TDataSetState::dsEdit || FTable->FState == TDataSetState::dsInsert)
        return FTable->FBuffer[FColumn];
    const TDbTable::Row* row = FTable->CurrentRow();
    return row ? (*row)[FColumn] : empty;
}

bool TField::IsNull() const {
    return Value().Null;
}

std::string TField::AsString() const {
    const TFieldValue& v = Value();
    if (v.Null) return std::string();
    if (DataType() == TFieldType::ftBoolean) return BoolToStr(AsBoolean());
    return v.IsInteger ? IntToStr(v.Integer) : v.Text;
}

long long TField::AsInteger() const {
    const TFieldValue& v = Value();
    if (v.Null) return 0;
    if (v.IsInteger) return v.Integer;
    std::string t = Trim(v.Text);
    if (t.empty()) return 0;
    if (SameText(t, "True")) return 1;
    if (SameText(t, "False")) return 0;
    char* end = nullptr;
    long long n = std::strtoll(t.c_str(), &end, 10);
    if (*end != '\0')
        throw EConvertError(Format("'%s' is not a valid integer value", v.Text.c_str()));
    return n;
}

bool TField::AsBoolean() const {
    const TFieldValue& v = Value();
    if (v.Null) return false;
    if (v.IsInteger) return v.Integer != 0;
    std::string t = Trim(v.Text);
    if (t.empty() || SameText(t, "False") || t == "0") return false;
    if (SameText(t, "True")) return true;
    char* end = nullptr;
    long long n = std::strtoll(t.c_str(), &end, 10);
    if (*end != '\0')
        throw EConvertError(Format("'%s' is not a valid boolean value", v.Text.c_str()));
    return n != 0;
}

void TField::SetAsString(const std::string& value) {
    switch (DataType()) {
    case TFieldType::ftString:
        FTable->WriteField(FColumn, TFieldValue::FromText(value));
        break;
    case TFieldType::ftInteger: {
        std::string t = Trim(value);
        if (t.empty()) {
            Clear();
            return;
        }
        char* end = nullptr;
        long long n = std::strtoll(t.c_str(), &end, 10);
        if (*end != '\0')
            throw EConvertError(Format("'%s' is not a valid integer value", value.c_str()));
        SetAsInteger(n);
        break;
    }
    case TFieldType::ftBoolean: {
        std::string t = Trim(value);
        if (t.empty()) {
            Clear();
        } else if (SameText(t, "True")) {
            SetAsBoolean(true);
        } else if (SameText(t, "False")) {
            SetAsBoolean(false);
        } else {
            throw EConvertError(Format("'%s' is not a valid boolean value", value.c_str()));
        }
        break;
    }
    }
}

void TField::SetAsInteger(long long value) {
    if (DataType() == TFieldType::ftString)
        FTable->WriteField(FColumn, TFieldValue::FromText(IntToStr(value)));
    else
        FTable->WriteField(FColumn, TFieldValue::FromInteger(value));
}

void TField::SetAsBoolean(bool value) {
    if (DataType() == TFieldType::ftString)
        FTable->WriteField(FColumn, TFieldValue::FromText(BoolToStr(value)));
    else
        FTable->WriteField(FColumn, TFieldValue::FromInteger(value ? 1 : 0));
}

void TField::SetValue(const TFieldValue& value) {
    if (value.Null)
        Clear();
    else if (value.IsInteger)
        SetAsInteger(value.Integer);
    else
        SetAsString(value.Text);
}

void TField::Clear() {
    FTable->WriteField(FColumn, TFieldValue{});
}

// ---------------------------------------------------------------- table

TDbTable::TDbTable(TComponent* owner) : TComponent(owner) {}

TDbTable::~TDbTable() {
    Close();
    SetConnection(nullptr);
}

void TDbTable::SetConnection(TDbConnection* connection) {
    if (FConnection) FConnection->UnregisterTable(this);
    FConnection = connection;
    if (FConnection) FConnection->RegisterTable(this);
}

void TDbTable::Fail(const std::string& what) const {
    std::string file = FConnection ? FConnection->FileName : std::string();
    throw EDatabaseError(
        Format("%s (table %s in %s).", what.c_str(), TableName.c_str(), file.c_str()));
}

void TDbTable::StepWrite(sqlite3_stmt* statement, const char* failed, const char* unchanged) const {
    const int rc = sqlite3_step(statement);
    if (Locked(rc)) Fail(std::string(failed) + ": " + InUse);
    if (rc != SQLITE_DONE) Fail(std::string(failed) + ": " + sqlite3_errmsg(FConnection->Handle()));
    // Exactly one row, or the write did not happen as the user was told.
    if (sqlite3_changes(FConnection->Handle()) != 1) {
        std::string file = FConnection ? FConnection->FileName : std::string();
        throw EDatabaseRowGone(
            Format("%s (table %s in %s).", unchanged, TableName.c_str(), file.c_str()));
    }
}

void TDbTable::CheckActive() const {
    if (FState == TDataSetState::dsInactive)
        throw EDatabaseError(
            Format("Cannot perform this operation on a closed table (%s)", TableName.c_str()));
}

void TDbTable::Open() {
    if (Active()) return;
    if (!FConnection) throw EDatabaseError("Missing connection for table " + TableName);
    FConnection->Open();
    sqlite3* db = FConnection->Handle();
    TDeadline deadline(db, OpenTimeLimit);
    CheckShape();

    FColumns.clear();
    {
        Statement info(db, "PRAGMA table_info(" + Quoted(TableName) + ")");
        if (!info.Ok()) Fail("Cannot read the table's fields: " + info.Error());
        while (sqlite3_step(info.Get()) == SQLITE_ROW) {
            Column c;
            c.Name = ReadColumn(info.Get(), 1).Text;
            c.Type = TypeFromDecl(ReadColumn(info.Get(), 2).Text);
            FColumns.push_back(c);
        }
    }
    // CheckShape has made sure the table exists.
    std::vector<std::string> required = {"ID"};
    required.insert(required.end(), RequiredFields.begin(), RequiredFields.end());
    for (const std::string& field : required)
        if (ColumnIndex(field) < 0) {
            std::string file = FConnection->FileName;
            FColumns.clear();
            throw EDatabaseError(Format("The field %s is missing from the table %s in %s.",
                                        field.c_str(), TableName.c_str(), file.c_str()));
        }
    FIdColumn = ColumnIndex("ID");
    LoadRows();
    FRecNo = 0;
    FEof = FRows.empty();
    FBuffer.assign(FColumns.size(), TFieldValue{});
    SetState(TDataSetState::dsBrowse);
    Notify(TDataEvent::deDataSetChange);
}

void TDbTable::CheckShape() const {
    sqlite3* db = FConnection->Handle();
    std::string type, sql;
    {
        Statement master(db, "SELECT type, sql FROM sqlite_schema WHERE name = ? COLLATE NOCASE "
                             "AND type IN ('table', 'view')");
        if (!master.Ok()) Fail("Cannot read the database's tables: " + master.Error());
        master.Bind(1, TFieldValue::FromText(TableName));
        int rc = sqlite3_step(master.Get());
        if (rc == SQLITE_DONE)
            throw EDatabaseError(Format("The table %s does not exist in the database file %s.",
                                        TableName.c_str(), FConnection->FileName.c_str()));
        if (rc != SQLITE_ROW) Fail("Cannot read the database's tables: " + master.Error());
        type = ReadColumn(master.Get(), 0).Text;
        sql = ReadColumn(master.Get(), 1).Text;
    }
    const std::vector<TSqlToken> tokens = SqlTokens(sql);
    if (type != "table" || (tokens.size() > 1 && tokens[1].Is("VIRTUAL")))
        Fail("It is not an ordinary table");
    // A conflict clause turns a write into a silent no-op (IGNORE) or into
    // the deletion of another row (REPLACE), and a UNIQUE constraint into a
    // failure the program cannot foresee. The key ID never conflicts: the
    // program never writes it.
    if (HasConstraintOutsideKey(tokens, "ID"))
        Fail("It has UNIQUE constraints or ON CONFLICT clauses, which turn writes into failures, "
             "silent no-ops or deletions");
    {
        Statement indexes(db, "SELECT count(*) FROM pragma_index_list(?) WHERE \"unique\" AND "
                              "origin = 'c'");
        if (!indexes.Ok()) Fail("Cannot read the table's indexes: " + indexes.Error());
        indexes.Bind(1, TFieldValue::FromText(TableName));
        if (sqlite3_step(indexes.Get()) == SQLITE_ROW && sqlite3_column_int(indexes.Get(), 0) > 0)
            Fail("It has a UNIQUE index, which turns writes into failures");
    }
    // The keys the program hands out must be the rows' own keys, never reused.
    const char* declared = nullptr;
    const char* collation = nullptr;
    int notNull = 0, primaryKey = 0, autoIncrement = 0;
    if (sqlite3_table_column_metadata(db, "main", TableName.c_str(), "ID", &declared, &collation,
                                      &notNull, &primaryKey, &autoIncrement) != SQLITE_OK)
        return; // a missing ID is named with the other missing fields
    if (!declared || UpperCase(declared) != "INTEGER" || !primaryKey || !autoIncrement)
        Fail("Its field ID is not an INTEGER PRIMARY KEY AUTOINCREMENT");
}

void TDbTable::Close() {
    if (!Active()) return;
    FRows.clear();
    FUnstored.clear();
    FColumns.clear();
    FBuffer.clear();
    FModified = false;
    SetState(TDataSetState::dsInactive);
    Notify(TDataEvent::deDataSetChange);
}

void TDbTable::LoadRows() {
    std::string sql = "SELECT ";
    for (size_t i = 0; i < FColumns.size(); ++i)
        sql += (i ? ", " : "") + Quoted(FColumns[i].Name);
    sql += " FROM " + Quoted(TableName) + " ORDER BY " + Quoted("ID");
    Statement select(FConnection->Handle(), sql);
    if (!select.Ok())
        Fail(std::string("Cannot read the rows: ") +
             (Locked(sqlite3_extended_errcode(FConnection->Handle())) ? InUse : select.Error()));
    std::vector<Row> rows;
    int rc;
    while ((rc = sqlite3_step(select.Get())) == SQLITE_ROW) {
        Row row(FColumns.size());
        for (size_t i = 0; i < FColumns.size(); ++i)
            row[i] = ReadColumn(select.Get(), static_cast<int>(i));
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE)
        Fail(std::string("Cannot read the rows: ") + (Locked(rc) ? InUse : select.Error()));
    rows.insert(rows.end(), FUnstored.begin(), FUnstored.end());
    FRows = std::move(rows);
}

int TDbTable::ColumnIndex(const std::string& name) const {
    // Field names are ASCII; compared without building upper-case copies, as
    // this runs for every field read.
    auto same = [](const std::string& a, const std::string& b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i) {
            char x = a[i], y = b[i];
            if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
            if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
            if (x != y) return false;
        }
        return true;
    };
    for (size_t i = 0; i < FColumns.size(); ++i)
        if (same(FColumns[i].Name, name)) return static_cast<int>(i);
    return -1;
}

TField TDbTable::FieldByName(const std::string& name) {
    CheckActive();
    int column = ColumnIndex(name);
    if (column < 0)
        throw EDatabaseError(Format("%s: Field '%s' not found", TableName.c_str(), name.c_str()));
    return TField(this, column);
}

const TDbTable::Row* TDbTable::CurrentRow() const {
    if (FRows.empty()) return nullptr;
    return &FRows[static_cast<size_t>(FRecNo)];
}

void TDbTable::SetState(TDataSetState state) {
    if (FState == state) return;
    FState = state;
    Notify(TDataEvent::deStateChange);
}

void TDbTable::Notify(TDataEvent event) {
    std::vector<TDataLink*> links = FLinks;
    for (TDataLink* link : links)
        if (std::find(FLinks.begin(), FLinks.end(), link) != FLinks.end()) link->DataEvent(event);
}

void TDbTable::AddLink(TDataLink* link) {
    if (std::find(FLinks.begin(), FLinks.end(), link) == FLinks.end()) FLinks.push_back(link);
}

void TDbTable::RemoveLink(TDataLink* link) {
    FLinks.erase(std::remove(FLinks.begin(), FLinks.end(), link), FLinks.end());
}

void TDbTable::WriteField(int column, const TFieldValue& value) {
    if (FState != TDataSetState::dsEdit && FState != TDataSetState::dsInsert)
        throw EDatabaseError(Format("Table %s is not in edit or insert mode", TableName.c_str()));
    if (column == FIdColumn)
        throw EDatabaseError(Format("Field 'ID' of %s cannot be modified", TableName.c_str()));
    FBuffer[static_cast<size_t>(column)] = value;
    FModified = true;
    Notify(TDataEvent::deFieldChange);
}

void TDbTable::CheckBrowseMode() {
    if (FState == TDataSetState::dsEdit || FState == TDataSetState::dsInsert) {
        if (FModified)
            Post();
        else
            Cancel();
    }
}

void TDbTable::Insert() {
    CheckActive();
    CheckBrowseMode();
    FBuffer.assign(FColumns.size(), TFieldValue{});
    FModified = false;
    SetState(TDataSetState::dsInsert);
}

void TDbTable::Edit() {
    CheckActive();
    if (FState == TDataSetState::dsEdit || FState == TDataSetState::dsInsert) return;
    if (FRows.empty()) {
        Insert();
        return;
    }
    FBuffer = FRows[static_cast<size_t>(FRecNo)];
    FModified = false;
    SetState(TDataSetState::dsEdit);
}

void TDbTable::Post() {
    CheckActive();
    if (FState != TDataSetState::dsEdit && FState != TDataSetState::dsInsert)
        throw EDatabaseError(Format("Table %s is not in edit or insert mode", TableName.c_str()));
    sqlite3* db = FConnection->Handle();
    if (FState == TDataSetState::dsInsert) {
        std::string names, params;
        std::vector<int> cols;
        for (size_t i = 0; i < FColumns.size(); ++i) {
            if (static_cast<int>(i) == FIdColumn) continue;
            names += (cols.empty() ? "" : ", ") + Quoted(FColumns[i].Name);
            params += cols.empty() ? "?" : ", ?";
            cols.push_back(static_cast<int>(i));
        }
        std::string sql =
            "INSERT INTO " + Quoted(TableName) +
            (cols.empty() ? " DEFAULT VALUES" : " (" + names + ") VALUES (" + params + ")");
        Statement insert(db, sql);
        if (!insert.Ok()) Fail("Cannot store the new row: " + insert.Error());
        for (size_t k = 0; k < cols.size(); ++k)
            insert.Bind(static_cast<int>(k + 1), FBuffer[static_cast<size_t>(cols[k])]);
        StepWrite(insert.Get(), "Cannot store the new row", "The new row was not stored");
        Row row = FBuffer;
        row[static_cast<size_t>(FIdColumn)] =
            TFieldValue::FromInteger(sqlite3_last_insert_rowid(db));
        FRows.push_back(std::move(row));
        FRecNo = static_cast<int>(FRows.size()) - 1;
    } else {
        std::string sets;
        std::vector<int> cols;
        for (size_t i = 0; i < FColumns.size(); ++i) {
            if (static_cast<int>(i) == FIdColumn) continue;
            sets += (cols.empty() ? "" : ", ") + Quoted(FColumns[i].Name) + " = ?";
            cols.push_back(static_cast<int>(i));
        }
        Row& current = FRows[static_cast<size_t>(FRecNo)];
        if (Row* unstored = Unstored(current[static_cast<size_t>(FIdColumn)])) {
            *unstored = FBuffer;
        } else if (!cols.empty()) {
            Statement update(db, "UPDATE " + Quoted(TableName) + " SET " + sets + " WHERE " +
                                     Quoted("ID") + " = ?");
            if (!update.Ok()) Fail("Cannot store the changed row: " + update.Error());
            for (size_t k = 0; k < cols.size(); ++k)
                update.Bind(static_cast<int>(k + 1), FBuffer[static_cast<size_t>(cols[k])]);
            update.Bind(static_cast<int>(cols.size() + 1), current[static_cast<size_t>(FIdColumn)]);
            StepWrite(update.Get(), "Cannot store the changed row", "The row no longer exists");
        }
        current = FBuffer;
    }
    FEof = false;
    FModified = false;
    SetState(TDataSetState::dsBrowse);
    Notify(TDataEvent::deDataSetChange);
}

void TDbTable::PostUnstored() {
    CheckActive();
    if (FState != TDataSetState::dsInsert)
        throw EDatabaseError(Format("Table %s is not in insert mode", TableName.c_str()));
    Row row = FBuffer;
    row[static_cast<size_t>(FIdColumn)] = TFieldValue::FromInteger(--FLastUnstoredKey);
    FUnstored.push_back(row);
    FRows.push_back(std::move(row));
    FRecNo = static_cast<int>(FRows.size()) - 1;
    FEof = false;
    FModified = false;
    SetState(TDataSetState::dsBrowse);
    Notify(TDataEvent::deDataSetChange);
}

TDbTable::Row* TDbTable::Unstored(const TFieldValue& key) {
    for (Row& row : FUnstored)
        if (row[static_cast<size_t>(FIdColumn)] == key) return &row;
    return nullptr;
}

void TDbTable::Cancel() {
    CheckActive();
    if (FState != TDataSetState::dsEdit && FState != TDataSetState::dsInsert) return;
    FModified = false;
    SetState(TDataSetState::dsBrowse);
    Notify(TDataEvent::deRecordChange);
}

void TDbTable::Delete() {
    CheckActive();
    if (FState == TDataSetState::dsInsert) {
        Cancel();
        return;
    }
    if (FState == TDataSetState::dsEdit) Cancel();
    if (FRows.empty())
        throw EDatabaseError(
            Format("Cannot perform this operation on an empty table (%s)", TableName.c_str()));
    const TFieldValue key = FRows[static_cast<size_t>(FRecNo)][static_cast<size_t>(FIdColumn)];
    if (Row* unstored = Unstored(key)) {
        FUnstored.erase(FUnstored.begin() + (unstored - FUnstored.data()));
    } else {
        Statement del(FConnection->Handle(),
                      "DELETE FROM " + Quoted(TableName) + " WHERE " + Quoted("ID") + " = ?");
        if (!del.Ok()) Fail("Cannot delete the row: " + del.Error());
        del.Bind(1, key);
        StepWrite(del.Get(), "Cannot delete the row", "The row no longer exists");
    }
    FRows.erase(FRows.begin() + FRecNo);
    // The following row becomes current; after the last row, the new last one.
    if (FRecNo >= static_cast<int>(FRows.size())) FRecNo = std::max(0, RecordCount() - 1);
    FEof = FRows.empty();
    Notify(TDataEvent::deDataSetChange);
}

void TDbTable::First() {
    CheckActive();
    CheckBrowseMode();
    FRecNo = 0;
    FEof = FRows.empty();
    Notify(TDataEvent::deScroll);
}

void TDbTable::Next() {
    CheckActive();
    CheckBrowseMode();
    if (FRecNo + 1 < RecordCount()) {
        ++FRecNo;
        Notify(TDataEvent::deScroll);
    } else {
        FEof = true;
    }
}

bool TDbTable::Eof() const {
    return FEof || FRows.empty();
}

void TDbTable::MoveTo(int index) {
    CheckActive();
    if (index < 0 || index >= RecordCount()) throw EListError(index);
    CheckBrowseMode();
    FRecNo = index;
    FEof = false;
    Notify(TDataEvent::deScroll);
}

void TDbTable::Refresh() {
    CheckActive();
    CheckBrowseMode();
    TFieldValue currentId;
    if (const Row* row = CurrentRow()) currentId = (*row)[static_cast<size_t>(FIdColumn)];
    LoadRows();
    FRecNo = 0;
    for (size_t i = 0; i < FRows.size(); ++i)
        if (FRows[i][static_cast<size_t>(FIdColumn)] == currentId) FRecNo = static_cast<int>(i);
    FEof = FRows.empty();
    Notify(TDataEvent::deDataSetChange);
}

static bool SameValue(const TFieldValue& v, const TFieldValue& want) {
    if (v.Null) return false;
    if (want.IsInteger)
        return v.IsInteger ? v.Integer == want.Integer : v.Text == IntToStr(want.Integer);
    return v.IsInteger ? IntToStr(v.Integer) == want.Text : SameText(v.Text, want.Text);
}

bool TDbTable::LocateValue(int column, const TFieldValue& value) {
    CheckBrowseMode();
    for (size_t i = 0; i < FRows.size(); ++i) {
        if (SameValue(FRows[i][static_cast<size_t>(column)], value)) {
            FRecNo = static_cast<int>(i);
            FEof = false;
            Notify(TDataEvent::deScroll);
            return true;
        }
    }
    return false;
}

bool TDbTable::Locate(const std::string& field, long long value) {
    CheckActive();
    return LocateValue(FieldByName(field).Index(), TFieldValue::FromInteger(value));
}

bool TDbTable::Locate(const std::string& field, const std::string& value) {
    CheckActive();
    return LocateValue(FieldByName(field).Index(), TFieldValue::FromText(value));
}

void CreateDatabaseFile(const std::string& path, const char* schema) {
    // CREATE_NEW makes the refusal of an existing file atomic.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            throw EDatabaseError(Format("The file %s already exists.", path.c_str()));
        throw EDatabaseError(
            Format("Cannot create %s: %s.", path.c_str(), SysErrorMessage(error).c_str()));
    }
    CloseHandle(file);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(AnsiToUtf8(path).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    char* error = nullptr;
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, schema, nullptr, nullptr, &error);
    std::string why = error ? error : (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        DeleteFileA(path.c_str());
        throw EDatabaseError(Format("Cannot create %s: %s.", path.c_str(), why.c_str()));
    }
}
