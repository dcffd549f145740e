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

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) lines.push_back(line);
    return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines)
        text += l + "\n";
    return text;
}

// The servers the bridge's static DNS replaced, shown again for DHCP.
std::string SavedServersFile(const std::string& name) {
    return BridgeRunDir + "/resolv-" + name + ".servers";
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
    const std::string saved = SavedServersFile(request.Name);
    std::string savedText;
    const bool haveSaved = host.ReadText(saved, savedText);
    host.MakeDirectory(BridgeRunDir);

    if (way == TResolverWay::Resolvconf) {
        const std::string resolvconf = host.Find("resolvconf");
        TRunResult result;
        if (request.Dhcp) {
            result = host.Run({resolvconf, "-d", ResolvconfRecord(request.Name)});
            host.Remove(saved);
        } else {
            const std::vector<std::string> servers = RequestedServers(
                request, haveSaved ? Lines(savedText) : std::vector<std::string>{});
            result =
                host.Run({resolvconf, "-a", ResolvconfRecord(request.Name)}, ServerLines(servers));
            host.Remove(saved);
            if (result.Code == 0) host.WriteNew(saved, Joined(servers));
        }
        if (result.Code != 0)
            return "resolvconf, which manages the host's " + ResolvConf +
                   ", refused the name servers: " + FirstLine(result.Output);
        return "";
    }

    std::string old;
    if (!host.ReadText(facts.Target, old))
        return "The host's " + facts.Target + " could not be read.";
    std::vector<std::string> servers;
    if (request.Dhcp) {
        if (!haveSaved) return ""; // no static servers of the bridge to take back
        servers = Lines(savedText);
    } else {
        servers = RequestedServers(request, NameServers(old));
    }
    const std::string text = WithNameServers(old, servers);
    if (std::string error = WriteResolverFile(host, facts.Target, text, way); !error.empty())
        return error;
    if (request.Dhcp)
        host.Remove(saved);
    else if (!haveSaved)
        host.WriteNew(saved, Joined(NameServers(old)));
    std::string now;
    if (!host.ReadText(facts.Target, now) || NameServers(now) != servers)
        return "The host's " + facts.Target + " does not show the name servers just written.";
    return "";
}
