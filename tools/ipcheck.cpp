// ipcheck: a console look at what the program would start with: the adapters
// it sees and the connection names in its database after the merge.
#include "adapters/IPInfo.h"
#include "ipsets/o_qvIPInfo.h"

#include <cstdio>

int main() {
    try {
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
            std::printf("  %lld  %s\n", names->FieldByName("ID").AsInteger(),
                        names->FieldByName("CONNECTIONNAME").AsString().c_str());
        std::printf("IP sets: %d\n", manager.IPSetsTable()->RecordCount());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
