#include "ipsets/IPSetStore.h"

#include "base/SysUtils.h"
#include "store/IPDatabase.h"

namespace {

// The key of the connection of that name, added to the list when missing.
long long ConnectionKey(TDbTable& connections, const std::string& name) {
    for (connections.First(); !connections.Eof(); connections.Next())
        if (SameText(connections.FieldByName(IPDb::ConnectionName).AsString(), name))
            return connections.FieldByName(IPDb::ID).AsInteger();
    connections.Insert();
    connections.FieldByName(IPDb::ConnectionName).SetAsString(name);
    connections.Post();
    return connections.FieldByName(IPDb::ID).AsInteger();
}

void WriteSet(TDbTable& sets, const TIPSetValues& set, long long connection) {
    // The file's values as they are, so an export imported back is the same.
    sets.FieldByName(IPDb::SetName).SetAsString(set.Name);
    sets.FieldByName(IPDb::Address).SetAsString(set.Address);
    sets.FieldByName(IPDb::Mask).SetAsString(set.Mask);
    sets.FieldByName(IPDb::Gateway).SetAsString(set.Gateway);
    sets.FieldByName(IPDb::Dns).SetAsString(set.Dns);
    if (sets.HasField(IPDb::Dns2)) sets.FieldByName(IPDb::Dns2).SetAsString(set.Dns2);
    if (sets.HasField(IPDb::ExtraAddresses))
        sets.FieldByName(IPDb::ExtraAddresses).SetAsString(set.ExtraAddresses);
    sets.FieldByName(IPDb::Dhcp).SetAsBoolean(set.Dhcp);
    if (sets.HasField(IPDb::Confirm)) sets.FieldByName(IPDb::Confirm).SetAsBoolean(set.Confirm);
    if (connection)
        sets.FieldByName(IPDb::Connection).SetAsInteger(connection);
    else
        sets.FieldByName(IPDb::Connection).Clear();
    sets.Post();
}

} // namespace

std::vector<TIPSetValues> ReadStoredSets(TDbTable& sets, TDbTable& connections) {
    std::vector<TIPSetValues> result;
    const bool hasDns2 = sets.HasField(IPDb::Dns2), hasExtra = sets.HasField(IPDb::ExtraAddresses),
               hasConfirm = sets.HasField(IPDb::Confirm);
    for (sets.First(); !sets.Eof(); sets.Next()) {
        TIPSetValues set;
        set.Name = sets.FieldByName(IPDb::SetName).AsString();
        set.Address = sets.FieldByName(IPDb::Address).AsString();
        set.Mask = sets.FieldByName(IPDb::Mask).AsString();
        set.Gateway = sets.FieldByName(IPDb::Gateway).AsString();
        set.Dns = sets.FieldByName(IPDb::Dns).AsString();
        if (hasDns2) set.Dns2 = sets.FieldByName(IPDb::Dns2).AsString();
        if (hasExtra) set.ExtraAddresses = sets.FieldByName(IPDb::ExtraAddresses).AsString();
        set.Dhcp = sets.FieldByName(IPDb::Dhcp).AsBoolean();
        if (hasConfirm) set.Confirm = sets.FieldByName(IPDb::Confirm).AsBoolean();
        if (connections.Locate(IPDb::ID, sets.FieldByName(IPDb::Connection).AsInteger()))
            set.Connection = connections.FieldByName(IPDb::ConnectionName).AsString();
        result.push_back(std::move(set));
    }
    return result;
}

std::vector<long long> SetsNamed(TDbTable& sets, const std::string& name) {
    std::vector<long long> keys;
    for (sets.First(); !sets.Eof(); sets.Next())
        if (SameText(sets.FieldByName(IPDb::SetName).AsString(), name))
            keys.push_back(sets.FieldByName(IPDb::ID).AsInteger());
    return keys;
}

int ReplacedSetCount(TDbTable& sets, const std::vector<TIPSetValues>& imported) {
    int count = 0;
    for (const TIPSetValues& set : imported)
        if (!SetsNamed(sets, set.Name).empty()) ++count;
    return count;
}

void StoreImportedSets(TDbConnection& connection, TDbTable& sets, TDbTable& connections,
                       const std::vector<TIPSetValues>& imported) {
    // A value the file has no field for would be lost without a word.
    const std::pair<const char*, const char*> optional[] = {
        {IPDb::Dns2, "a second DNS server"}, {IPDb::ExtraAddresses, "extra addresses"}};
    for (const auto& [field, what] : optional) {
        if (sets.HasField(field)) continue;
        unsigned carrying = 0;
        for (const TIPSetValues& set : imported)
            if (!(field == IPDb::Dns2 ? set.Dns2 : set.ExtraAddresses).empty()) ++carrying;
        if (carrying)
            throw EDatabaseError(Format(
                "%u of the IP sets have %s, which the database file %s cannot hold: it has no "
                "%s field and could not gain one (it is read-only or was in use). Nothing was "
                "changed.",
                carrying, what, connection.FileName.c_str(), field));
    }
    try {
        TDbTransaction transaction(connection);
        for (const TIPSetValues& set : imported) {
            const long long key =
                set.Connection.empty() ? 0 : ConnectionKey(connections, set.Connection);
            const std::vector<long long> stored = SetsNamed(sets, set.Name);
            if (stored.empty()) {
                sets.Insert();
                WriteSet(sets, set, key);
            }
            for (long long id : stored) {
                sets.Locate(IPDb::ID, id);
                sets.Edit();
                WriteSet(sets, set, key);
            }
        }
        transaction.Commit();
    } catch (...) {
        // The rows the tables hold were rolled back on disk.
        sets.Cancel();
        connections.Cancel();
        sets.Refresh();
        connections.Refresh();
        throw;
    }
}

std::string ReplacedSetsQuestion(int count) {
    if (count == 1) return "1 IP set of this name exists and will be replaced.";
    return Format("%d IP sets of these names exist and will be replaced.", count);
}
