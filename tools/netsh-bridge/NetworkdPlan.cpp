#include "tools/netsh-bridge/NetworkdPlan.h"

#include "base/AddressText.h"
#include "tools/netsh-bridge/IproutePlan.h"
#include "tools/netsh-bridge/ResolverFile.h"

#include <sstream>

std::string NetworkdSetupState(const std::string& list, const std::string& name) {
    std::istringstream in(list);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string index, link, type, operational, setup;
        if (words >> index >> link >> type >> operational >> setup && link == name) return setup;
    }
    return "";
}

bool NetworkdManages(const std::string& setupState) {
    // "n/a": networkctl lists the link, but networkd keeps no state for it.
    for (const char* state :
         {"pending", "initialized", "configuring", "configured", "failed", "linger"})
        if (setupState == state) return true;
    return false;
}

std::string NetworkdNetworkFile(const std::string& status) {
    std::istringstream in(status);
    std::string line;
    while (std::getline(in, line)) {
        const size_t at = line.find("Network File:");
        if (at == std::string::npos) continue;
        std::string file = FirstLine(line.substr(at + 13));
        return !file.empty() && file[0] == '/' ? file : "";
    }
    return "";
}

std::string NetworkdDropInPath(const std::string& networkFile, bool dns) {
    const size_t slash = networkFile.find_last_of('/');
    // Drop-ins in /etc win over the file wherever it lies (/usr/lib, /run).
    return "/etc/systemd/network/" + networkFile.substr(slash + 1) + ".d/" +
           (dns ? "91-iptavix-netsh-dns.conf" : "90-iptavix-netsh-address.conf");
}

namespace {

struct TNetworkFile {
    bool OwnAddresses = false; // Address=, Gateway=, [Address] or [Route]
    std::vector<std::string> Dns;
};

TNetworkFile ReadNetworkFile(const std::string& text) {
    TNetworkFile file;
    std::istringstream in(text);
    std::string line, section;
    while (std::getline(in, line)) {
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#' || line[start] == ';') continue;
        line = FirstLine(line.substr(start));
        if (line[0] == '[') {
            section = line;
            if (section == "[Address]" || section == "[Route]") file.OwnAddresses = true;
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos || section != "[Network]") continue;
        std::string key = FirstLine(line.substr(0, eq)), value = FirstLine(line.substr(eq + 1));
        if ((key == "Address" || key == "Gateway") && !value.empty()) file.OwnAddresses = true;
        if (key == "DNS") {
            if (value.empty()) file.Dns.clear();
            std::istringstream servers(value);
            std::string s;
            while (servers >> s)
                file.Dns.push_back(s);
        }
    }
    return file;
}

} // namespace

bool NetworkdDropIn(const TNetshRequest& request, const std::string& networkFileText,
                    const std::string& oldDnsDropIn, std::string& text, std::string& reason) {
    text.clear();
    if (request.Kind != TNetshRequest::TKind::Address) {
        if (request.Dhcp) return true; // the drop-in goes: the file's and DHCP's servers again
        std::string servers;
        for (const std::string& s : RequestedServers(request, ReadNetworkFile(oldDnsDropIn).Dns))
            servers += "DNS=" + s + "\n";
        // "DNS=" empties the list the file gave.
        text = "[Network]\nDNS=\n" + servers + "\n[DHCPv4]\nUseDNS=no\n";
        return true;
    }
    if (ReadNetworkFile(networkFileText).OwnAddresses) {
        reason = "its .network file sets addresses or routes of its own, which a drop-in cannot "
                 "take back";
        return false;
    }
    if (request.Dhcp) {
        text = "[Network]\nDHCP=ipv4\n";
        return true;
    }
    text = "[Network]\nDHCP=no\nAddress=" + request.Address + "/" +
           std::to_string(MaskPrefixLength(request.Mask)) + "\n";
    if (!request.Gateway.empty()) text += "Gateway=" + request.Gateway + "\n";
    return true;
}

std::string ApplyNetworkd(IBridgeHost& host, const TNetshRequest& request,
                          const std::string& networkctl, const std::string& ip) {
    const std::string& name = request.Name;
    const std::string managed = name + " is managed by systemd-networkd; ";
    const TRunResult status = host.Run({networkctl, "status", "--no-pager", name});
    const std::string file = NetworkdNetworkFile(status.Output);
    if (file.empty())
        return managed + "networkctl names no .network file for it, so the set was not applied.";
    std::string fileText;
    if (!host.ReadText(file, fileText)) return managed + "its file " + file + " could not be read.";
    const bool dns = request.Kind != TNetshRequest::TKind::Address;
    const std::string dropIn = NetworkdDropInPath(file, dns);
    std::string oldText, text, reason;
    const bool hadDropIn = host.ReadText(dropIn, oldText);
    if (!NetworkdDropIn(request, fileText, oldText, text, reason))
        return managed + reason + " (" + file + "); change it there, the set was not applied.";

    auto write = [&](const std::string& newText, bool present) {
        if (!present) return !host.Exists(dropIn) || host.Remove(dropIn);
        host.MakeDirectory(dropIn.substr(0, dropIn.find_last_of('/')));
        if (!host.Exists(dropIn)) return host.WriteNew(dropIn, newText);
        return WriteResolverFile(host, dropIn, newText, TResolverWay::Replace).empty();
    };
    if (!write(text, !text.empty()))
        return managed + "its drop-in " + dropIn + " could not be written.";
    for (const THostCommand& step :
         {THostCommand{networkctl, "reload"}, THostCommand{networkctl, "reconfigure", name}}) {
        const TRunResult result = host.Run(step);
        if (result.Code != 0) {
            write(oldText, hadDropIn);
            host.Run({networkctl, "reload"});
            host.Run({networkctl, "reconfigure", name});
            return managed + "it refused the drop-in " + dropIn + ": " + FirstLine(result.Output);
        }
    }
    if (dns) return "";
    // networkd configures the link in the background: give it a few seconds.
    if (const std::string diff = AwaitAddress(host, request, ip, request.Dhcp ? 30000 : 10000);
        !diff.empty())
        return managed + "the drop-in " + dropIn + " was applied, but " + diff;
    return "";
}
