#include "tools/netsh-bridge/ResolverFile.h"

#include <algorithm>
#include <sstream>

namespace {

const std::string ResolvConf = "/etc/resolv.conf";

std::string FirstWord(const std::string& line, std::string* second = nullptr) {
    std::istringstream words(line);
    std::string first;
    words >> first;
    if (second) words >> *second;
    return first;
}

std::string ServerLines(const std::vector<std::string>& servers) {
    std::string text;
    for (const std::string& s : servers)
        text += "nameserver " + s + "\n";
    return text;
}

std::string Folder(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const std::string ResolverRecordFile = BridgeRunDir + "/resolver.record";

std::string WordsText(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& w : words)
        text += " " + w;
    return text;
}

} // namespace

std::vector<std::string> NameServers(const std::string& resolvConf) {
    std::vector<std::string> servers;
    std::istringstream in(resolvConf);
    std::string line;
    while (std::getline(in, line)) {
        std::string server;
        if (FirstWord(line, &server) == "nameserver" && !server.empty()) servers.push_back(server);
    }
    return servers;
}

std::string WithNameServers(const std::string& resolvConf,
                            const std::vector<std::string>& servers) {
    std::istringstream in(resolvConf);
    std::string line, out;
    bool placed = false;
    while (std::getline(in, line)) {
        if (FirstWord(line) == "nameserver") {
            if (!placed) out += ServerLines(servers); // where the first one stood
            placed = true;
            continue;
        }
        out += line + "\n";
    }
    if (!placed) out += ServerLines(servers);
    return out;
}

std::vector<std::string> ServersWith(std::vector<std::string> servers, const std::string& server,
                                     int index) {
    servers.erase(std::remove(servers.begin(), servers.end(), server), servers.end());
    const size_t at =
        index < 1 ? servers.size() : std::min(servers.size(), static_cast<size_t>(index - 1));
    servers.insert(servers.begin() + static_cast<std::ptrdiff_t>(at), server);
    return servers;
}

std::vector<std::string> RequestedServers(const TNetshRequest& request,
                                          const std::vector<std::string>& current) {
    if (request.Kind == TNetshRequest::TKind::AddDns)
        return ServersWith(current, request.Address, request.Index);
    if (request.Address.empty()) return {};
    return {request.Address};
}

TResolverRecord ParseResolverRecord(const std::string& text) {
    TResolverRecord record;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind, name, server;
        words >> kind;
        std::vector<std::string> servers;
        if (kind == "static" && words >> name) {
            while (words >> server)
                servers.push_back(server);
            record.Interfaces.emplace_back(name, servers);
        } else if (kind == "host") {
            while (words >> server)
                servers.push_back(server);
            record.HostKept = true;
            record.HostServers = servers;
        }
    }
    return record;
}

std::string ResolverRecordText(const TResolverRecord& record) {
    if (record.Interfaces.empty()) return "";
    std::string text = record.HostKept ? "host" + WordsText(record.HostServers) + "\n" : "";
    for (const auto& [name, servers] : record.Interfaces)
        text += "static " + name + WordsText(servers) + "\n";
    return text;
}

bool ResolverServersAfter(const TNetshRequest& request, const std::vector<std::string>& current,
                          TResolverRecord& record, std::vector<std::string>& servers) {
    auto& list = record.Interfaces;
    auto own = std::find_if(list.begin(), list.end(),
                            [&](const auto& entry) { return entry.first == request.Name; });
    if (request.Dhcp) {
        if (own == list.end()) return false;
        list.erase(own);
        if (list.empty()) {
            servers = record.HostServers;
            record = {};
            return true;
        }
    } else {
        if (!record.HostKept) {
            record.HostKept = true;
            record.HostServers = current;
        }
        const std::vector<std::string> now =
            RequestedServers(request, own == list.end() ? std::vector<std::string>{} : own->second);
        if (own != list.end()) list.erase(own);
        // The latest set first: the resolver asks its servers in order.
        list.insert(list.begin(), {request.Name, now});
    }
    servers.clear();
    for (const auto& entry : list)
        for (const std::string& server : entry.second)
            if (std::find(servers.begin(), servers.end(), server) == servers.end())
                servers.push_back(server);
    return true;
}

TResolverWay ResolverWay(const TResolverFacts& facts) {
    if (facts.Target != ResolvConf) {
        const bool resolvconfs = facts.Target.rfind("/run/resolvconf/", 0) == 0 ||
                                 facts.Target.rfind("/etc/resolvconf/", 0) == 0;
        return resolvconfs && facts.ResolvconfTool ? TResolverWay::Resolvconf
                                                   : TResolverWay::LinkTarget;
    }
    return facts.MountPoint ? TResolverWay::Rewrite : TResolverWay::Replace;
}

bool IsMountPoint(const std::string& mountinfo, const std::string& path) {
    std::istringstream in(mountinfo);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point;
        if (fields >> id >> parent >> device >> root >> point && point == path) return true;
    }
    return false;
}

std::string ResolvconfRecord(const std::string& name) {
    return name + ".iptavix-netsh";
}

std::string WriteResolverFile(IBridgeHost& host, const std::string& path, const std::string& text,
                              TResolverWay way) {
    if (way == TResolverWay::Rewrite) {
        std::string old;
        if (!host.ReadText(path, old)) return "The host's " + path + " could not be read.";
        if (host.WriteOver(path, text)) return "";
        host.WriteOver(path, old);
        return "The host's " + path + " could not be rewritten; its old text was put back.";
    }
    const std::string chown = host.Find("chown"), chmod = host.Find("chmod");
    if (chown.empty() || chmod.empty())
        return "The host tools chown and chmod (coreutils) were not found.";
    // A name of this run's own beside the file: renamed over it, so readers
    // see the old or the new text and never a part.
    std::string fresh;
    for (int n = 0; n < 100 && fresh.empty(); ++n) {
        const std::string name = Folder(path) + "/." + BaseName(path) + ".netsh-" +
                                 std::to_string(host.ProcessId()) + "-" + std::to_string(n);
        if (host.WriteNew(name, text)) fresh = name;
    }
    if (fresh.empty()) return "A new " + path + " could not be written beside the old one.";
    for (const THostCommand& keep : {THostCommand{chown, "--reference=" + path, fresh},
                                     THostCommand{chmod, "--reference=" + path, fresh}}) {
        const TRunResult result = host.Run(keep);
        if (result.Code != 0) {
            host.Remove(fresh);
            return "The owner and mode of " + path +
                   " could not be kept: " + FirstLine(result.Output);
        }
    }
    if (!host.Rename(fresh, path)) {
        host.Remove(fresh);
        return "The host's " + path + " could not be replaced.";
    }
    return "";
}

std::string ReadFileFacts(IBridgeHost& host, const std::string& path, TResolverFacts& facts) {
    const std::string readlink = host.Find("readlink");
    if (readlink.empty()) return "The host tool readlink (coreutils) was not found.";
    const TRunResult target = host.Run({readlink, "-f", path});
    facts.Target = FirstLine(target.Output);
    if (target.Code != 0 || facts.Target.empty() || facts.Target[0] != '/')
        return "The host's " + path + " could not be followed: " + FirstLine(target.Output);
    std::string mounts;
    facts.MountPoint =
        host.ReadText("/proc/self/mountinfo", mounts) && IsMountPoint(mounts, facts.Target);
    facts.ResolvconfTool = !host.Find("resolvconf").empty();
    return "";
}

std::string WriteKeptFile(IBridgeHost& host, const std::string& path, const std::string& text) {
    TResolverFacts facts;
    if (std::string error = ReadFileFacts(host, path, facts); !error.empty()) return error;
    const TResolverWay way = facts.MountPoint ? TResolverWay::Rewrite : TResolverWay::Replace;
    return WriteResolverFile(host, facts.Target, text, way);
}

std::string ApplyResolverFile(IBridgeHost& host, const TNetshRequest& request) {
    TResolverFacts facts;
    if (std::string error = ReadFileFacts(host, ResolvConf, facts); !error.empty()) return error;
    TResolverWay way = ResolverWay(facts);
    if (way == TResolverWay::LinkTarget && facts.MountPoint) way = TResolverWay::Rewrite;
    std::string recordText;
    host.ReadText(ResolverRecordFile, recordText);
    TResolverRecord record = ParseResolverRecord(recordText);
    host.MakeDirectory(BridgeRunDir);
    auto keep = [&] {
        host.Remove(ResolverRecordFile);
        if (const std::string text = ResolverRecordText(record); !text.empty())
            host.WriteNew(ResolverRecordFile, text);
    };

    if (way == TResolverWay::Resolvconf) {
        // resolvconf keeps a record per interface and joins them itself.
        const std::string resolvconf = host.Find("resolvconf");
        std::vector<std::string> joined;
        if (!ResolverServersAfter(request, {}, record, joined) && request.Dhcp) return "";
        std::vector<std::string> servers;
        for (const auto& [name, list] : record.Interfaces)
            if (name == request.Name) servers = list;
        const TRunResult result = request.Dhcp
                                      ? host.Run({resolvconf, "-d", ResolvconfRecord(request.Name)})
                                      : host.Run({resolvconf, "-a", ResolvconfRecord(request.Name)},
                                                 ServerLines(servers));
        if (result.Code != 0)
            return "resolvconf, which manages the host's " + ResolvConf +
                   ", refused the name servers: " + FirstLine(result.Output);
        keep();
        return "";
    }

    std::string old;
    if (!host.ReadText(facts.Target, old))
        return "The host's " + facts.Target + " could not be read.";
    std::vector<std::string> servers;
    // DHCP where the bridge set no servers: nothing of its own to take back.
    if (!ResolverServersAfter(request, NameServers(old), record, servers)) return "";
    const std::string text = WithNameServers(old, servers);
    if (std::string error = WriteResolverFile(host, facts.Target, text, way); !error.empty())
        return error;
    keep();
    std::string now;
    if (!host.ReadText(facts.Target, now) || NameServers(now) != servers)
        return "The host's " + facts.Target + " does not show the name servers just written.";
    return "";
}
