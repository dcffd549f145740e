#include "support/TestSupport.h"

#include "store/IPDatabase.h"
#include "base/AddressText.h"
#include "base/SysUtils.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

MessageBoxCatcher* activeCatcher = nullptr;
HHOOK catcherHook = nullptr;

std::string WindowText(HWND wnd) {
    char buf[4096];
    int n = GetWindowTextA(wnd, buf, sizeof(buf));
    return std::string(buf, n > 0 ? n : 0);
}

std::vector<HWND> pendingBoxes;

bool IsDialog(HWND wnd) {
    char cls[64] = {};
    GetClassNameA(wnd, cls, sizeof(cls));
    return std::strcmp(cls, "#32770") == 0;
}

// A box is answered when it is activated and read when it is destroyed, by
// which time its text has certainly been set.
LRESULT CALLBACK CatcherProc(int code, WPARAM wParam, LPARAM lParam) {
    HWND wnd = reinterpret_cast<HWND>(wParam);
    if (activeCatcher && code == HCBT_ACTIVATE && IsDialog(wnd) &&
        std::find(pendingBoxes.begin(), pendingBoxes.end(), wnd) == pendingBoxes.end()) {
        pendingBoxes.push_back(wnd);
        if (activeCatcher->OnBox) activeCatcher->OnBox();
        PostMessageA(wnd, WM_COMMAND, MAKEWPARAM(activeCatcher->Answer, BN_CLICKED), 0);
    } else if (activeCatcher && code == HCBT_DESTROYWND) {
        auto it = std::find(pendingBoxes.begin(), pendingBoxes.end(), wnd);
        if (it != pendingBoxes.end()) {
            pendingBoxes.erase(it);
            // The message text is the static control with id 0xFFFF.
            HWND text = GetDlgItem(wnd, 0xFFFF);
            activeCatcher->Boxes.push_back({WindowText(wnd),
                                            text ? WindowText(text) : std::string(),
                                            GetWindow(wnd, GW_OWNER)});
        }
    }
    return CallNextHookEx(catcherHook, code, wParam, lParam);
}

FakeAdapterSource* fakeSource = nullptr;

void CopyField(char* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(size, text.size()));
}

void FillEntry(IP_ADDR_STRING& entry, const FakeAddress& a) {
    std::memset(&entry, 0, sizeof(entry));
    CopyField(entry.IpAddress.String, sizeof(entry.IpAddress.String), a.Address);
    CopyField(entry.IpMask.String, sizeof(entry.IpMask.String), a.Mask);
}

// Lays out a chain: the first entry lives in the record, the rest in `extra`.
void FillChain(IP_ADDR_STRING& first, const std::vector<FakeAddress>& list,
               IP_ADDR_STRING*& extra) {
    FillEntry(first, list.empty() ? FakeAddress{} : list[0]);
    IP_ADDR_STRING* prev = &first;
    for (size_t i = 1; i < list.size(); ++i) {
        FillEntry(*extra, list[i]);
        prev->Next = extra;
        prev = extra++;
    }
}

DWORD WINAPI FakeAdaptersInfo(PIP_ADAPTER_INFO info, PULONG size) {
    FakeAdapterSource& src = *fakeSource;
    ++src.Calls;
    src.SizesOffered.push_back(*size);
    if (src.Status != ERROR_SUCCESS) return src.Status;
    size_t entries = 0;
    for (const FakeAdapter& a : src.Adapters)
        entries += a.Addresses.size() + a.Gateways.size() + a.DhcpServers.size() + 1;
    ULONG needed = static_cast<ULONG>(src.Adapters.size() * sizeof(IP_ADAPTER_INFO) +
                                      entries * sizeof(IP_ADDR_STRING));
    if (*size < needed) {
        *size = needed;
        return ERROR_BUFFER_OVERFLOW;
    }
    std::memset(info, 0, *size);
    auto* records = info;
    auto* extra = reinterpret_cast<IP_ADDR_STRING*>(records + src.Adapters.size());
    for (size_t i = 0; i < src.Adapters.size(); ++i) {
        const FakeAdapter& a = src.Adapters[i];
        IP_ADAPTER_INFO& r = records[i];
        r.Next = i + 1 < src.Adapters.size() ? &records[i + 1] : nullptr;
        CopyField(r.AdapterName, sizeof(r.AdapterName), a.Name);
        CopyField(r.Description, sizeof(r.Description), a.Description);
        r.AddressLength = a.AddressLengthOverride != 0xFFFFFFFF
                              ? a.AddressLengthOverride
                              : static_cast<UINT>(a.HardwareAddress.size());
        std::memcpy(r.Address, a.HardwareAddress.data(),
                    std::min<size_t>(sizeof(r.Address), a.HardwareAddress.size()));
        r.Index = static_cast<DWORD>(i + 1);
        r.Type = MIB_IF_TYPE_ETHERNET;
        r.DhcpEnabled = a.Dhcp;
        FillChain(r.IpAddressList, a.Addresses, extra);
        FillChain(r.GatewayList, a.Gateways, extra);
        FillChain(r.DhcpServer, a.DhcpServers, extra);
        r.CurrentIpAddress = a.NullCurrent ? nullptr : &r.IpAddressList;
    }
    return ERROR_SUCCESS;
}

// The newer records: one IP_ADAPTER_ADDRESSES per adapter with a friendly
// name, its DNS servers and their socket addresses laid out after them.
ULONG WINAPI FakeAdaptersAddresses(ULONG, ULONG, PVOID, PIP_ADAPTER_ADDRESSES addresses,
                                   PULONG size) {
    FakeAdapterSource& src = *fakeSource;
    if (src.Status != ERROR_SUCCESS) return src.Status;
    struct Names {
        char Adapter[MAX_ADAPTER_NAME_LENGTH + 4];
        wchar_t Friendly[128];
    };
    size_t records = 0, servers = 0;
    for (const FakeAdapter& a : src.Adapters)
        if (!a.FriendlyName.empty()) {
            ++records;
            servers += a.DnsServers.size();
        }
    const ULONG needed =
        static_cast<ULONG>(records * (sizeof(IP_ADAPTER_ADDRESSES) + sizeof(Names)) +
                           servers * (sizeof(IP_ADAPTER_DNS_SERVER_ADDRESS) + sizeof(sockaddr_in)));
    if (records == 0) return ERROR_NO_DATA;
    if (*size < needed) {
        *size = needed;
        return ERROR_BUFFER_OVERFLOW;
    }
    std::memset(addresses, 0, *size);
    auto* record = addresses;
    auto* names = reinterpret_cast<Names*>(record + records);
    auto* dns = reinterpret_cast<IP_ADAPTER_DNS_SERVER_ADDRESS*>(names + records);
    auto* socket = reinterpret_cast<sockaddr_in*>(dns + servers);
    IP_ADAPTER_ADDRESSES* previous = nullptr;
    for (const FakeAdapter& a : src.Adapters) {
        if (a.FriendlyName.empty()) continue;
        if (previous) previous->Next = record;
        previous = record;
        record->Length = sizeof(*record);
        CopyField(names->Adapter, sizeof(names->Adapter) - 1, a.Name);
        MultiByteToWideChar(CP_ACP, 0, a.FriendlyName.c_str(), -1, names->Friendly, 127);
        record->AdapterName = names->Adapter;
        record->FriendlyName = names->Friendly;
        record->OperStatus = a.OperUp ? IfOperStatusUp : IfOperStatusDown;
        IP_ADAPTER_DNS_SERVER_ADDRESS** link = &record->FirstDnsServerAddress;
        for (const std::string& server : a.DnsServers) {
            const TParsedIP parsed = ParseIPText(server);
            socket->sin_family = AF_INET;
            auto* bytes = reinterpret_cast<BYTE*>(&socket->sin_addr);
            for (int i = 0; i < 4; ++i)
                bytes[i] = static_cast<BYTE>(parsed.Parts[i]);
            dns->Length = sizeof(*dns);
            dns->Address.lpSockaddr = reinterpret_cast<sockaddr*>(socket);
            dns->Address.iSockaddrLength = sizeof(*socket);
            *link = dns;
            link = &dns->Next;
            ++dns;
            ++socket;
        }
        ++record;
        ++names;
    }
    return ERROR_SUCCESS;
}

} // namespace

MessageBoxCatcher::MessageBoxCatcher(int answer) : Answer(answer) {
    activeCatcher = this;
    catcherHook = SetWindowsHookExA(WH_CBT, CatcherProc, nullptr, GetCurrentThreadId());
}

MessageBoxCatcher::~MessageBoxCatcher() {
    UnhookWindowsHookEx(catcherHook);
    catcherHook = nullptr;
    activeCatcher = nullptr;
}

std::string TestFolder() {
    return IncludeTrailingBackslash(ExtractFilePath(ApplicationExeName()));
}

std::string FreshDatabase() {
    CreateDirectoryA(IPDatabaseFolder(TestFolder()).c_str(), nullptr);
    std::string path = IPDatabasePath(TestFolder());
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    DeleteFileA((path + "-journal").c_str());
    CreateIPDatabase(path);
    return path;
}

namespace {
// Windows frees the locks of a killed process some time after it ended, so
// the checks wait for a lock as the program does.
constexpr int LockWaitMs = 5000;
} // namespace

void ExecSql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(AnsiToUtf8(path).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_busy_timeout(db, LockWaitMs);
    char* error = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    std::string why = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error("SQL failed: " + why + " in " + sql);
}

// Read-only, so a check never changes the file it looks at; a query that
// fails says why rather than reading as no rows.
std::vector<std::string> QueryColumn(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(AnsiToUtf8(path).c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_busy_timeout(db, LockWaitMs);
    sqlite3_stmt* stmt = nullptr;
    std::vector<std::string> out;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
    while (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const unsigned char* t = sqlite3_column_text(stmt, 0);
        out.push_back(t ? reinterpret_cast<const char*>(t) : "<null>");
        rc = SQLITE_OK;
    }
    std::string why = sqlite3_errmsg(db);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    if (rc != SQLITE_DONE) throw std::runtime_error("query failed: " + why + " in " + sql);
    return out;
}

FakeAdaptersScope::FakeAdaptersScope(FakeAdapterSource& source) {
    fakeSource = &source;
    SetAdaptersInfoSource(FakeAdaptersInfo);
    SetAdaptersAddressesSource(FakeAdaptersAddresses);
}

FakeAdaptersScope::~FakeAdaptersScope() {
    SetAdaptersInfoSource(nullptr);
    SetAdaptersAddressesSource(nullptr);
    fakeSource = nullptr;
}

static std::string Relative(const std::string& path) {
    std::string r = path;
    while (!r.empty() && r.front() == '\\')
        r.erase(0, 1);
    return r;
}

void WriteConnectionValue(const std::string& keyPath, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, Relative(keyPath).c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create " + keyPath);
    if (data) RegSetValueExA(key, "Name", 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void WriteConnectionName(const std::string& keyPath, const std::string& name) {
    WriteConnectionValue(keyPath, REG_SZ, name.c_str(), static_cast<DWORD>(name.size() + 1));
}

void DeleteTree(const std::string& keyPath) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, Relative(keyPath).c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, Relative(keyPath).c_str());
}

namespace {
void SetNetshOverride(bool native) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    if (native)
        RegSetValueExA(key, "netsh.exe", 0, REG_SZ, reinterpret_cast<const BYTE*>("native"), 7);
    else
        RegDeleteValueA(key, "netsh.exe");
    RegCloseKey(key);
}
} // namespace

std::string NetshStandinScope::SystemNetsh() {
    char folder[MAX_PATH];
    GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\netsh.exe";
}

NetshStandinScope::NetshStandinScope() {
    // A 32-bit process writing to the system folder reaches syswow64, where
    // its netsh is looked up too. Wine's own is kept once, as the bridge's
    // install keeps it.
    const std::string target = SystemNetsh(), kept = target + ".wine";
    if (GetFileAttributesA(kept.c_str()) == INVALID_FILE_ATTRIBUTES)
        CopyFileA(target.c_str(), kept.c_str(), TRUE);
    if (!CopyFileA((TestFolder() + "netsh-standin.exe").c_str(), target.c_str(), FALSE))
        throw std::runtime_error("cannot install the netsh stand-in as " + target);
    SetNetshOverride(true);
    SetEnvironmentVariableA("IPTAVIX_STANDIN_DIR", TestFolder().c_str());
}

NetshStandinScope::~NetshStandinScope() {
    const std::string target = SystemNetsh(), kept = target + ".wine";
    if (GetFileAttributesA(kept.c_str()) != INVALID_FILE_ATTRIBUTES)
        MoveFileExA(kept.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
    SetNetshOverride(false);
    SetEnvironmentVariableA("IPTAVIX_STANDIN_DIR", nullptr);
}

namespace {
std::vector<std::pair<std::string, ChildMain>>& Children() {
    static std::vector<std::pair<std::string, ChildMain>> children;
    return children;
}
} // namespace

ChildRegistration::ChildRegistration(const char* name, ChildMain main) {
    Children().emplace_back(name, main);
}

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) {
        for (auto& [name, fn] : Children())
            if (name == argv[2]) return fn(argc - 3, argv + 3);
        return 99;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

namespace {
std::function<void()> modalAction;
void CALLBACK RunModalAction(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    std::function<void()> action = std::move(modalAction);
    modalAction = nullptr;
    if (action) action();
}
} // namespace

void RunInModalLoop(std::function<void()> action, UINT delay) {
    modalAction = std::move(action);
    SetTimer(nullptr, 0, delay, RunModalAction);
}

BOOL WINAPI VersionWithoutMerge(LPOSVERSIONINFOA info) {
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 2;
    return TRUE;
}
