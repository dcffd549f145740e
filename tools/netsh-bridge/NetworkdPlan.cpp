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

// One line of a .network file that says something: a section's header, or
// a key of the section above it.
struct TIniLine {
    std::string Section; // "[Network]"
    bool Header = false;
    std::string Key, Value;
};

std::vector<TIniLine> IniLines(const std::string& text) {
    std::vector<TIniLine> lines;
    std::istringstream in(text);
    std::string line, section;
    while (std::getline(in, line)) {
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#' || line[start] == ';') continue;
        line = FirstLine(line.substr(start));
        if (line[0] == '[') {
            section = line;
            lines.push_back({section, true, "", ""});
            continue;
        }
        const size_t eq = line.find('=');
        if (eq != std::string::npos)
            lines.push_back(
                {section, false, FirstLine(line.substr(0, eq)), FirstLine(line.substr(eq + 1))});
    }
    return lines;
}

TNetworkFile ReadNetworkFile(const std::string& text) {
    TNetworkFile file;
    for (const TIniLine& line : IniLines(text)) {
        if (line.Header) {
            if (line.Section == "[Address]" || line.Section == "[Route]") file.OwnAddresses = true;
            continue;
        }
        if (line.Section != "[Network]") continue;
        if ((line.Key == "Address" || line.Key == "Gateway") && !line.Value.empty())
            file.OwnAddresses = true;
        if (line.Key == "DNS") {
            if (line.Value.empty()) file.Dns.clear();
            std::istringstream servers(line.Value);
            std::string s;
            while (servers >> s)
                file.Dns.push_back(s);
        }
    }
    return file;
}

// The keys of one section ("[Match]") in order, with their values.
std::vector<std::pair<std::string, std::string>> SectionKeys(const std::string& text,
                                                             const std::string& wanted) {
    std::vector<std::pair<std::string, std::string>> keys;
    for (const TIniLine& line : IniLines(text))
        if (!line.Header && line.Section == wanted) keys.emplace_back(line.Key, line.Value);
    return keys;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file's text without its [Match] sections.
std::string WithoutMatch(const std::string& text) {
    std::istringstream in(text);
    std::string line, out;
    bool inMatch = false;
    while (std::getline(in, line)) {
        const std::string trimmed = FirstLine(line);
        if (!trimmed.empty() && trimmed[0] == '[') inMatch = trimmed == "[Match]";
        if (!inMatch) out += line + "\n";
    }
    return out;
}

} // namespace

bool NetworkdMatchesOnly(const std::string& networkFileText, const std::string& name) {
    std::vector<std::string> names;
    for (const auto& [key, value] : SectionKeys(networkFileText, "[Match]")) {
        if (key != "Name") continue;
        if (value.empty()) names.clear(); // an empty Name= resets the list
        std::istringstream words(value);
        for (std::string word; words >> word;)
            names.push_back(word);
    }
    return names.size() == 1 && names[0] == name &&
           names[0].find_first_of("*?[!") == std::string::npos;
}

bool NetworkdDhcpEnabled(const std::string& networkFileText, const std::string& addressDropIn) {
    std::string dhcp = "no";
    for (const std::string& text : {networkFileText, addressDropIn})
        for (const auto& [key, value] : SectionKeys(text, "[Network]"))
            if (key == "DHCP") dhcp = value;
    for (const char* on : {"yes", "true", "1", "on", "ipv4"})
        if (dhcp == on) return true;
    return false;
}

std::string NetworkdOwnFile(const std::string& name) {
    return "/etc/systemd/network/00-iptavix-netsh-" + name + ".network";
}

TNetworkdPlan NetworkdPlanFor(const TNetshRequest& request, const std::string& file,
                              const std::string& fileText, const std::string& oldAddressDropIn,
                              const std::string& oldDnsDropIn) {
    TNetworkdPlan plan;
    const bool dns = request.Kind != TNetshRequest::TKind::Address;
    if (!dns && request.Dhcp && NetworkdDhcpEnabled(fileText, oldAddressDropIn)) {
        plan.AlreadyDhcp = true;
        return plan;
    }
    if (!NetworkdDropIn(request, fileText, oldDnsDropIn, plan.DropInText, plan.Refusal))
        return plan;
    plan.File = file;
    if (!NetworkdMatchesOnly(fileText, request.Name)) {
        plan.File = NetworkdOwnFile(request.Name);
        if (BaseName(plan.File) >= BaseName(file)) {
            plan.Refusal = "its file " + file + " may match other links too, and sorts before " +
                           BaseName(plan.File) + ", the file the bridge would make for " +
                           request.Name + " alone";
            return plan;
        }
        plan.OwnFileText = "# " + request.Name + " alone, made by IP Tavix's netsh from " + file +
                           "\n[Match]\nName=" + request.Name + "\n\n" + WithoutMatch(fileText);
    }
    plan.DropIn = NetworkdDropInPath(plan.File, dns);
    return plan;
}

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
    std::string oldAddress, oldDns;
    host.ReadText(NetworkdDropInPath(file, false), oldAddress);
    host.ReadText(NetworkdDropInPath(file, true), oldDns);
    const TNetworkdPlan plan = NetworkdPlanFor(request, file, fileText, oldAddress, oldDns);
    if (plan.AlreadyDhcp) return DhcpAlreadyEnabledText;
    if (!plan.Refusal.empty())
        return managed + plan.Refusal + " (" + file +
               "); change it there, the set was not applied.";

    if (!plan.OwnFileText.empty() && !host.WriteNew(plan.File, plan.OwnFileText))
        return managed + "a file of its own, " + plan.File + ", could not be written.";
    const std::string& dropIn = plan.DropIn;
    std::string oldText;
    const bool hadDropIn = host.ReadText(dropIn, oldText);
    auto write = [&](const std::string& newText, bool present) {
        if (!present) return !host.Exists(dropIn) || host.Remove(dropIn);
        host.MakeDirectory(dropIn.substr(0, dropIn.find_last_of('/')));
        if (!host.Exists(dropIn)) return host.WriteNew(dropIn, newText);
        return WriteResolverFile(host, dropIn, newText, TResolverWay::Replace).empty();
    };
    auto undo = [&] {
        host.EnterRollback();
        write(oldText, hadDropIn);
        if (!plan.OwnFileText.empty()) host.Remove(plan.File);
        host.Run({networkctl, "reload"});
        host.Run({networkctl, "reconfigure", name});
    };
    if (!write(plan.DropInText, !plan.DropInText.empty())) {
        if (!plan.OwnFileText.empty()) host.Remove(plan.File);
        return managed + "its drop-in " + dropIn + " could not be written.";
    }
    for (const THostCommand& step :
         {THostCommand{networkctl, "reload"}, THostCommand{networkctl, "reconfigure", name}}) {
        const TRunResult result = host.Run(step);
        if (result.Code != 0) {
            undo();
            return managed + "it refused the drop-in " + dropIn + ": " +
                   (result.TimedOut ? "it did not answer in time" : FirstLine(result.Output));
        }
    }
    if (dns) return "";
    // networkd configures the link in the background: give it a few seconds.
    if (const std::string diff = AwaitAddress(host, request, ip, request.Dhcp ? 30000 : 10000);
        !diff.empty()) {
        undo();
        return managed + "the drop-in " + dropIn + " was applied, but " + diff +
               " The drop-in was taken back.";
    }
    return "";
}
