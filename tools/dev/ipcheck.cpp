// ipcheck: a console look at what the program would start with: the adapters
// it sees and the connection names in its database after the merge.
//
// `ipcheck --register-names` writes, for each adapter, the registry key that
// Windows keeps with the connection's name, using the adapter's description as
// the name. Wine keeps no such keys; the run command uses this so that the
// program shows connection names under Wine too.
#include "adapters/IPInfo.h"
#include "store/IPDatabase.h"
#include "ipsets/o_qvIPInfo.h"

#include <cstdio>
#include <cstring>

namespace {

int RegisterNames() {
    TIPInfo info;
    for (int i = 0; i < info.AdapterCount(); ++i) {
        const TAdapter* a = info.Adapters(i);
        std::string path = std::string(NetworkBasePath + 1) + NetworkClassKey + "\\" +
                           a->AdapterName() + "\\Connection";
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr) != ERROR_SUCCESS) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        RegSetValueExA(key, "Name", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(a->Description().c_str()),
                       static_cast<DWORD>(a->Description().size() + 1));
        RegCloseKey(key);
        std::printf("%s -> %s\n", a->AdapterName().c_str(), a->Description().c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc > 1 && std::strcmp(argv[1], "--register-names") == 0) return RegisterNames();
        TqvIPSetManager manager(nullptr);
        TIPInfo info;
        std::printf("Adapters: %d\n", info.AdapterCount());
        for (int i = 0; i < info.AdapterCount(); ++i) {
            const TAdapter* a = info.Adapters(i);
            std::printf("  %s  %s  %s  DHCP %s\n", a->AdapterName().c_str(),
                        a->Description().c_str(), a->Address().c_str(),
                        a->DhcpEnabled() ? "True" : "False");
        }
        TDbTable* names = manager.ConnectionsTable();
        std::printf("Connection names: %d\n", names->RecordCount());
        for (names->First(); !names->Eof(); names->Next())
            std::printf("  %lld  %s\n", names->FieldByName(IPDb::ID).AsInteger(),
                        names->FieldByName(IPDb::ConnectionName).AsString().c_str());
        std::printf("IP sets: %d\n", manager.IPSetsTable()->RecordCount());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
