#include "ipsets/IPSetCsv.h"

#include "activation/Activation.h"
#include "activation/ExtraAddresses.h"
#include "activation/NetshCommand.h"
#include "base/AddressText.h"
#include "base/Exceptions.h"
#include "base/Handles.h"
#include "base/NameText.h"
#include "base/SysUtils.h"

#include <windows.h>

#include <set>

const char* const IPSetCsvHeader = "Name,Address,Mask,Gateway,DNS,DNS2,Extra,DHCP,Connection";

namespace {

const char Bom[] = "\xEF\xBB\xBF";
constexpr size_t FieldCount = 9;
enum { fName, fAddress, fMask, fGateway, fDns, fDns2, fExtra, fDhcp, fConnection };
const char* const FieldNames[FieldCount] = {"Name", "Address", "Mask", "Gateway",   "DNS",
                                            "DNS2", "Extra",   "DHCP", "Connection"};
// The header of files written before the Extra column; they still import.
const char* const OldHeader = "Name,Address,Mask,Gateway,DNS,DNS2,DHCP,Connection";
// Far above any list of IP sets; a larger file is not one.
constexpr long long LargestFile = 16ll * 1024 * 1024;

std::string AnsiTextToUtf8(const std::string& ansi) {
    return AnsiToUtf8(ansi);
}

// False when the text is not UTF-8 or a character has no ANSI form (a
// best-fit look-alike would store another name than the file's).
bool Utf8TextToAnsi(const std::string& utf8, std::string& ansi) {
    ansi.clear();
    if (utf8.empty()) return true;
    const int size = static_cast<int>(utf8.size());
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (n <= 0) return false;
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), n);
    BOOL usedDefault = FALSE;
    int m = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), n, nullptr, 0, nullptr,
                                &usedDefault);
    if (m <= 0 || usedDefault) return false;
    ansi.assign(static_cast<size_t>(m), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), n, ansi.data(), m, nullptr,
                        &usedDefault);
    return !usedDefault;
}

// A spreadsheet runs a cell that starts with one of these as a formula. A
// cell that starts with '-quoted text gets one ' more, so that reading takes
// away exactly what writing added.
bool NeedsGuard(const std::string& cell) {
    if (cell.empty()) return false;
    if (cell[0] == '\'') return NeedsGuard(cell.substr(1));
    return std::string("=+-@\t\r").find(cell[0]) != std::string::npos;
}

std::string Guarded(const std::string& cell) {
    return NeedsGuard(cell) ? "'" + cell : cell;
}

std::string Unguarded(const std::string& cell) {
    return !cell.empty() && cell[0] == '\'' && NeedsGuard(cell.substr(1)) ? cell.substr(1) : cell;
}

std::string Quoted(const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string out = "\"";
    for (char c : field)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

struct TRecord {
    int Line = 0; // the line of the file where the record starts, from 1
    std::vector<std::string> Fields;
};

// Splits the text into records by RFC 4180; line breaks inside quotes belong
// to the field. False with `error` for a quote left open or stray text after
// a closing quote.
bool SplitRecords(const std::string& text, std::vector<TRecord>& records, std::string& error) {
    size_t i = 0;
    int line = 1;
    while (i < text.size()) {
        TRecord record;
        record.Line = line;
        std::string field;
        bool done = false;
        while (!done) {
            if (i < text.size() && text[i] == '"') {
                ++i;
                for (;;) {
                    if (i >= text.size()) {
                        error = Format("Line %d: a quoted field is not closed.", record.Line);
                        return false;
                    }
                    if (text[i] == '"') {
                        if (i + 1 < text.size() && text[i + 1] == '"') {
                            field += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (text[i] == '\n') ++line;
                    field += text[i++];
                }
                if (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                    error =
                        Format("Line %d, field %s: text after the closing quote.", line,
                               record.Fields.size() < FieldCount ? FieldNames[record.Fields.size()]
                                                                 : "beyond the last");
                    return false;
                }
            } else {
                while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n')
                    field += text[i++];
            }
            record.Fields.push_back(field);
            field.clear();
            if (i >= text.size()) {
                done = true;
            } else if (text[i] == ',') {
                ++i;
            } else { // CRLF, or a bare LF from an editor that writes those
                if (text[i] == '\r') ++i;
                if (i < text.size() && text[i] == '\n') ++i;
                ++line;
                done = true;
            }
        }
        // A blank line (the one after the last CRLF, or one left in by hand) holds no set.
        if (!(record.Fields.size() == 1 && Trim(record.Fields[0]).empty()))
            records.push_back(std::move(record));
    }
    return true;
}

std::string CheckRecord(TRecord record, bool oldLayout, TIPSetValues& set) {
    const int line = record.Line;
    const size_t expected = oldLayout ? FieldCount - 1 : FieldCount;
    if (record.Fields.size() != expected)
        return Format("Line %d: %u fields where %u are expected.", line,
                      static_cast<unsigned>(record.Fields.size()), static_cast<unsigned>(expected));
    if (oldLayout) record.Fields.insert(record.Fields.begin() + fExtra, "");
    auto fault = [line](int field, const std::string& why) {
        return Format("Line %d, field %s: %s", line, FieldNames[field], why.c_str());
    };
    std::string text[FieldCount];
    for (size_t k = 0; k < FieldCount; ++k)
        if (!Utf8TextToAnsi(Unguarded(record.Fields[k]), text[k]))
            return fault(static_cast<int>(k),
                         "the text has characters this system's code page cannot hold.");
    set = TIPSetValues{};
    set.Name = Trim(text[fName]);
    if (set.Name.empty()) return fault(fName, "the name is empty.");
    set.Connection = Trim(text[fConnection]);
    for (int k : {fName, fConnection})
        if (HasControlCharacter(k == fName ? set.Name : set.Connection))
            return fault(k, "the text holds a control character (a line break, a tab or the "
                            "like).");
    const std::string dhcp = Trim(text[fDhcp]);
    if (dhcp != "0" && dhcp != "1") return fault(fDhcp, "\"" + dhcp + "\" is neither 0 nor 1.");
    set.Dhcp = dhcp == "1";
    std::string* addresses[] = {&set.Address, &set.Mask, &set.Gateway, &set.Dns, &set.Dns2};
    for (int k = fAddress; k <= fDns2; ++k) {
        std::string& value = *addresses[k - fAddress];
        value = Trim(text[k]);
        if (!value.empty() && !IsDottedQuad(value))
            return fault(k, "\"" + value + "\" is not a valid address.");
    }
    if (!set.Dhcp) {
        if (set.Address.empty()) return fault(fAddress, "a static set needs an IP address.");
        if (set.Mask.empty()) return fault(fMask, "a static set needs a subnet mask.");
        if (set.Dns.empty() && !set.Dns2.empty())
            return fault(fDns2, "a second DNS server needs a first one.");
        set.ExtraAddresses = Trim(text[fExtra]);
        // The editor's rules, so an import stores only what the editor would.
        std::string field;
        const std::string refusal = SetAddressRefusal(set, &field);
        if (!refusal.empty()) {
            const int k = field == "subnet mask"         ? fMask
                          : field == "gateway"           ? fGateway
                          : field == "DNS server"        ? fDns
                          : field == "second DNS server" ? fDns2
                          : field == "extra addresses"   ? fExtra
                                                         : fAddress;
            return fault(k, refusal);
        }
    }
    if (std::string problem = ConnectionNameProblem(set.Connection); !problem.empty())
        return fault(fConnection, problem + ".");
    return "";
}

} // namespace

std::string WriteIPSetCsv(const std::vector<TIPSetValues>& sets) {
    std::string out = std::string(Bom) + IPSetCsvHeader + "\r\n";
    for (const TIPSetValues& set : sets) {
        const std::string fields[FieldCount] = {
            set.Name,           set.Address,          set.Mask,      set.Gateway, set.Dns, set.Dns2,
            set.ExtraAddresses, set.Dhcp ? "1" : "0", set.Connection};
        for (size_t k = 0; k < FieldCount; ++k)
            out += (k ? "," : "") + Quoted(Guarded(AnsiTextToUtf8(fields[k])));
        out += "\r\n";
    }
    return out;
}

bool ParseIPSetCsv(const std::string& bytes, std::vector<TIPSetValues>& sets, std::string& error) {
    sets.clear();
    std::string text = bytes;
    if (text.rfind(Bom, 0) == 0) text.erase(0, 3);
    std::vector<TRecord> records;
    if (!SplitRecords(text, records, error)) return false;
    if (records.empty()) {
        error = "The file is empty: it has no header line.";
        return false;
    }
    std::string header;
    for (size_t k = 0; k < records[0].Fields.size(); ++k)
        header += (k ? "," : "") + Trim(records[0].Fields[k]);
    const bool oldLayout = SameText(header, OldHeader);
    if (!oldLayout && !SameText(header, IPSetCsvHeader)) {
        error = Format("Line 1: the header must be %s.", IPSetCsvHeader);
        return false;
    }
    std::vector<TIPSetValues> read;
    std::set<std::string> names;
    for (size_t r = 1; r < records.size(); ++r) {
        TIPSetValues set;
        error = CheckRecord(records[r], oldLayout, set);
        if (error.empty() && !names.insert(UpperCase(set.Name)).second)
            error = Format("Line %d, field Name: the name \"%s\" is on an earlier line too.",
                           records[r].Line, set.Name.c_str());
        if (!error.empty()) return false;
        read.push_back(std::move(set));
    }
    sets = std::move(read);
    return true;
}

void SaveIPSetCsvFile(const std::string& path, const std::vector<TIPSetValues>& sets) {
    const std::string bytes = WriteIPSetCsv(sets);
    // Written beside the target and moved over it, so a failure halfway
    // leaves any earlier file as it was. The temporary file is a new one of
    // this program's own: a file that happens to have its name is left alone.
    std::string temporary;
    TFileHandle file;
    for (unsigned attempt = 0; !file; ++attempt) {
        temporary = Format("%s.%lX-%u.tmp", path.c_str(),
                           static_cast<unsigned long>(GetCurrentProcessId()), attempt);
        file.Reset(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        const DWORD code = GetLastError();
        if (!file && ((code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) || attempt > 100))
            throw Exception(Format("The file %s cannot be written: %s", path.c_str(),
                                   SysErrorMessage(code).c_str()));
    }
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size() || !FlushFileBuffers(file.Get())) {
        const DWORD code = GetLastError();
        file.Reset();
        DeleteFileA(temporary.c_str());
        throw Exception(Format("The file %s cannot be written: %s", path.c_str(),
                               SysErrorMessage(code).c_str()));
    }
    file.Reset();
    if (!MoveFileExA(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = GetLastError();
        DeleteFileA(temporary.c_str());
        throw Exception(Format("The file %s cannot be written: %s", path.c_str(),
                               SysErrorMessage(code).c_str()));
    }
}

std::string LoadIPSetCsvFile(const std::string& path) {
    TFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw Exception(Format("The file %s cannot be read: %s", path.c_str(),
                               SysErrorMessage(GetLastError()).c_str()));
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > LargestFile)
        throw Exception(Format("The file %s is too large to be a list of IP sets", path.c_str()));
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size()))
        throw Exception(Format("The file %s cannot be read: %s", path.c_str(),
                               SysErrorMessage(GetLastError()).c_str()));
    return bytes;
}
