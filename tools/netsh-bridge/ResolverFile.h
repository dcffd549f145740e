#pragma once
// The resolver file, /etc/resolv.conf, where no manager writes it: its name
// server lines, and how the file is written so that nothing managing it is
// cut loose (a link stays a link, owner and mode stay, a mounted file is
// rewritten in place and never truncated first).
#include "tools/netsh-bridge/BridgeHost.h"

// The servers of the nameserver lines, in order.
std::vector<std::string> NameServers(const std::string& resolvConf);
// resolv.conf with its nameserver lines replaced by `servers`, where the
// first one stood; every other line kept in its place.
std::string WithNameServers(const std::string& resolvConf, const std::vector<std::string>& servers);
// `servers` with `server` at position `index` (1 the first, 0 last), once.
std::vector<std::string> ServersWith(std::vector<std::string> servers, const std::string& server,
                                     int index);
// The servers a DNS request leaves (`current`: the servers now; `dhcp`: those
// to show again for "set dns ... dhcp").
std::vector<std::string> RequestedServers(const TNetshRequest& request,
                                          const std::vector<std::string>& current);

// The bridge's one record for the host's resolver: the servers it showed
// before the first static DNS set (kept once, for the host), and each
// interface's static servers. The resolver shows the interfaces' servers
// together; the last interface back on DHCP gives the host its own again.
struct TResolverRecord {
    bool HostKept = false;
    std::vector<std::string> HostServers;
    std::vector<std::pair<std::string, std::vector<std::string>>> Interfaces;
};
// Its file: "host SERVER..." once, then "static NAME SERVER..." a line each.
TResolverRecord ParseResolverRecord(const std::string& text);
std::string ResolverRecordText(const TResolverRecord& record); // "": nothing kept
// The servers the resolver shows after `request` (`current`: those it shows
// now), with `record` brought up to date. False when the request leaves the
// resolver as it is (DHCP for an interface without static servers).
bool ResolverServersAfter(const TNetshRequest& request, const std::vector<std::string>& current,
                          TResolverRecord& record, std::vector<std::string>& servers);

enum class TResolverWay {
    Resolvconf, // a link into resolvconf's folder, and the tool is there
    LinkTarget, // another link: its target is written
    Rewrite,    // a mount point of its own: rewritten in place
    Replace,    // a regular file: a new one renamed over it
};
struct TResolverFacts {
    std::string Target; // readlink -f's answer; the path itself when no link
    bool MountPoint = false;
    bool ResolvconfTool = false;
};
TResolverWay ResolverWay(const TResolverFacts& facts);

// True when /proc/self/mountinfo lists `path` as a mount point.
bool IsMountPoint(const std::string& mountinfo, const std::string& path);

// The resolvconf record the bridge keeps for an interface.
std::string ResolvconfRecord(const std::string& name);

// Writes `text` to the file at `path` in `way`, keeping owner and mode; ""
// or the reason it could not. On failure the file is as it was.
std::string WriteResolverFile(IBridgeHost& host, const std::string& path, const std::string& text,
                              TResolverWay way);

// What a file is: the target of its links, and whether that is a mount
// point. "" or why it could not be found out.
std::string ReadFileFacts(IBridgeHost& host, const std::string& path, TResolverFacts& facts);
// Writes a configuration file the way its kind asks (a link's target, a
// mount point in place, else a new file renamed over it), owner and mode kept.
std::string WriteKeptFile(IBridgeHost& host, const std::string& path, const std::string& text);

// Applies a DNS request to the resolver file (or through resolvconf), and
// checks it. "" or the one-line reason.
std::string ApplyResolverFile(IBridgeHost& host, const TNetshRequest& request);
