// The bridge's steps against a host that answers from a model: an
// interface's addresses and default routes, files by path, tools that fail
// on demand. What each flow runs, and what it leaves, when a step fails.
#include "tools/netsh-bridge/AddressChange.h"
#include "tools/netsh-bridge/BridgeApply.h"
#include "tools/netsh-bridge/ResolverFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

namespace {

class TModelHost : public IBridgeHost {
public:
    std::vector<std::string> Addresses{"192.0.2.50/24"};
    std::vector<std::string> Gateways{"192.0.2.1"};
    std::set<std::string> Leased; // addresses with a lease's lifetime
    std::map<std::string, std::string> Files;
    std::set<std::string> Tools{"ip", "readlink", "chown", "chmod", "kill", "dhclient", "ps"};
    std::map<std::string, TRunResult> Failing;         // by the start of the command's text
    std::map<std::string, std::string> Answers;        // output by the start of the command's text
    std::map<std::string, int> Takes;                  // milliseconds a command runs, by its start
    std::map<std::string, std::string> Namespaces;     // readlink of /proc/PID/ns/net; else net:[1]
    std::map<std::string, std::function<void()>> Then; // what else happens after a command
    std::vector<std::string> Ran;
    bool FailWriteOver = false;
    long long Clock = 0;

    TRunResult Run(const THostCommand& command, const std::string& input) override {
        std::string text = CommandText(command);
        if (!input.empty()) text += " <<" + input;
        Ran.push_back(text);
        const TRunResult result = Answer(command, text);
        for (const auto& [start, then] : Then)
            if (text.rfind(start, 0) == 0) then();
        return result;
    }
    TRunResult Answer(const THostCommand& command, const std::string& text) {
        for (const auto& [start, ms] : Takes)
            if (text.rfind(start, 0) == 0) {
                // The deadline ends it, as the real host's timeout does.
                if (Deadline && ms >= RemainingMs()) {
                    Clock = Deadline;
                    return {124, "", true};
                }
                Clock += ms;
            }
        for (const auto& [start, result] : Failing)
            if (text.rfind(start, 0) == 0) return result;
        for (const auto& [start, output] : Answers)
            if (text.rfind(start, 0) == 0) return {0, output};
        const std::vector<std::string>& w = command;
        auto is = [&](std::initializer_list<const char*> words) {
            size_t i = 1;
            for (const char* word : words)
                if (i >= w.size() || w[i++] != word) return false;
            return true;
        };
        if (w[0] == "/bin/ip") {
            if (is({"-j", "-4", "addr", "show"})) {
                std::string json = "[{\"ifname\":\"ipt0\",\"addr_info\":[";
                for (const std::string& a : Addresses) {
                    const size_t slash = a.find('/');
                    json += std::string(json.back() == '}' ? "," : "") +
                            "{\"family\":\"inet\",\"local\":\"" + a.substr(0, slash) +
                            "\",\"prefixlen\":" + a.substr(slash + 1) +
                            (Leased.count(a) ? ",\"valid_life_time\":3600,"
                                               "\"preferred_life_time\":3600}"
                                             : "}");
                }
                return {0, json + "]}]"};
            }
            if (is({"-j", "-4", "route", "show"})) {
                std::string json = "[";
                for (const std::string& g : Gateways)
                    json += std::string(json.size() > 1 ? "," : "") +
                            "{\"dst\":\"default\",\"gateway\":\"" + g + "\",\"flags\":[]}";
                return {0, json + "]"};
            }
            if (is({"-4", "addr", "flush"})) Addresses.clear();
            if (is({"-4", "addr", "add"})) {
                Addresses.push_back(w[4]);
                if (std::find(w.begin(), w.end(), "valid_lft") != w.end()) Leased.insert(w[4]);
            }
            if (is({"-4", "addr", "del"}))
                Addresses.erase(std::remove(Addresses.begin(), Addresses.end(), w[4]),
                                Addresses.end());
            if (is({"-4", "route", "flush"})) Gateways.clear();
            if (is({"-4", "route", "append", "default", "via"})) Gateways.push_back(w[6]);
            return {0, ""};
        }
        if (w[0] == "/bin/readlink" && w[1] == "/proc/self/ns/net") {
            std::string out;
            for (size_t i = 1; i < w.size(); ++i)
                out += (Namespaces.count(w[i]) ? Namespaces[w[i]] : "net:[1]") + "\n";
            return {0, out};
        }
        if (w[0] == "/bin/readlink")
            return {0, (w.back() == "/etc/resolv.conf" ? ReadlinkTarget : w.back()) + "\n"};
        if (w[0] == "/bin/dhclient") {
            Files[w[3]] = "4242\n";
            Files["/proc/4242/comm"] = "dhclient\n";
            Addresses.push_back("10.77.0.100/24");
        }
        if (w[0] == "/bin/kill") Files.erase("/proc/" + w.back() + "/comm");
        return {0, ""};
    }
    bool Exists(const std::string& path) override {
        return Files.count(path) || (path.rfind("/bin/", 0) == 0 && Tools.count(path.substr(5)));
    }
    bool ReadText(const std::string& path, std::string& text) override {
        auto it = Files.find(path);
        if (it == Files.end()) return false;
        text = it->second;
        return true;
    }
    bool WriteNew(const std::string& path, const std::string& text) override {
        if (Files.count(path)) return false;
        Files[path] = text;
        return true;
    }
    bool WriteOver(const std::string& path, const std::string& text) override {
        if (FailWriteOver) {
            FailWriteOver = false; // the putting back works
            Files[path] = text.substr(0, 7);
            return false;
        }
        Files[path] = text;
        return true;
    }
    bool Rename(const std::string& from, const std::string& to) override {
        Files[to] = Files[from];
        Files.erase(from);
        return true;
    }
    bool Remove(const std::string& path) override { return Files.erase(path) > 0; }
    bool MakeDirectory(const std::string&) override { return true; }
    void Pause(int milliseconds) override { Clock += milliseconds; }
    int ProcessId() override { return 77; }
    long long Now() override { return Clock; }

    std::string ReadlinkTarget = "/etc/resolv.conf";

    bool RanStarting(const std::string& start) const {
        return std::any_of(Ran.begin(), Ran.end(),
                           [&](const std::string& t) { return t.rfind(start, 0) == 0; });
    }
};

TNetshRequest Parsed(const std::string& line) {
    std::vector<std::string> args = SplitCommandLine(line);
    args.erase(args.begin());
    TNetshRequest request;
    std::string error;
    EXPECT_TRUE(ParseNetshArguments(args, request, error)) << error;
    return request;
}

// A host whose NetworkManager runs and holds ipt0 with the profile u-1;
// `profile` answers "nmcli -g" for it (method, addresses, gateway, DNS,
// ignore-auto-dns).
void ManagedByNetworkManager(TModelHost& host, const std::string& profile) {
    host.Tools.insert("nmcli");
    host.Answers["/bin/nmcli -t -f RUNNING general"] = "running\n";
    host.Answers["/bin/nmcli -t -f DEVICE"] = "ipt0:ethernet:connected:Wired connection 1\n";
    host.Answers["/bin/nmcli -t -f GENERAL"] =
        "GENERAL.CON-UUID:u-1\nGENERAL.STATE:100 (connected)\n";
    host.Answers["/bin/nmcli -g"] = profile;
}

} // namespace

TEST(NetshBridgeFlow, AFailedStepPutsTheSnapshotBack) {
    TModelHost host;
    host.Failing["/bin/ip -4 route append default via 10.77.0.1"] = {
        2, "Error: Nexthop has invalid gateway.\n"};
    const std::string reason = ApplyRequest(
        host, Parsed(AddressCommand("ipt0", false, "10.77.0.10", "255.255.255.0", "10.77.0.1")));
    EXPECT_EQ(reason, "Setting the address of ipt0: /bin/ip -4 route append default via 10.77.0.1 "
                      "dev ipt0 metric 1 failed: Error: Nexthop has invalid gateway.; its old "
                      "addresses and routes were put back.");
    EXPECT_EQ(host.Addresses, (std::vector<std::string>{"192.0.2.50/24"}));
    EXPECT_EQ(host.Gateways, (std::vector<std::string>{"192.0.2.1"}));

    // A host that does not show what was set is put back too.
    TModelHost stubborn;
    stubborn.Failing["/bin/ip -4 addr add 10.77.0.10/24"] = {0, ""};
    EXPECT_EQ(ApplyRequest(stubborn, Parsed(AddressCommand("ipt0", false, "10.77.0.10",
                                                           "255.255.255.0", ""))),
              "ipt0 shows no IPv4 address instead of 10.77.0.10/24; its old addresses and routes "
              "were put back.");
    EXPECT_EQ(stubborn.Addresses, (std::vector<std::string>{"192.0.2.50/24"}));
    EXPECT_EQ(stubborn.Gateways, (std::vector<std::string>{"192.0.2.1"}));

    // A route to put back that something on the host added again meanwhile
    // is where the rollback wants it.
    TModelHost raced;
    raced.Failing["/bin/ip -4 route append default via 10.77.0.1"] = {
        2, "Error: Nexthop has invalid gateway.\n"};
    raced.Failing["/bin/ip -4 route append default via 192.0.2.1"] = {
        2, "RTNETLINK answers: File exists\n"};
    EXPECT_EQ(ApplyRequest(raced, Parsed(AddressCommand("ipt0", false, "10.77.0.10",
                                                        "255.255.255.0", "10.77.0.1"))),
              "Setting the address of ipt0: /bin/ip -4 route append default via 10.77.0.1 dev "
              "ipt0 metric 1 failed: Error: Nexthop has invalid gateway.; its old addresses and "
              "routes were put back.");
}

TEST(NetshBridgeFlow, ARefusedSetRunsNothing) {
    TModelHost host;
    const std::string reason = ApplyRequest(
        host, Parsed(AddressCommand("ipt0", false, "10.77.0.0", "255.255.255.0", "10.77.0.1")));
    EXPECT_EQ(reason, "The address 10.77.0.0 is the network address of 10.77.0.0/24. Nothing was "
                      "changed.");
    EXPECT_TRUE(host.Ran.empty());

    // NetworkManager runs, but without its nmcli: nothing behind its back.
    TModelHost nm;
    nm.Files["/run/NetworkManager/NetworkManager.pid"] = "55\n";
    nm.Files["/proc/55/comm"] = "NetworkManager\n";
    EXPECT_EQ(ApplyRequest(nm, Parsed(AddressCommand("ipt0", true, "", "", ""))),
              "NetworkManager runs on the host, but its nmcli was not found, so ipt0 was not "
              "changed behind its back.");
    EXPECT_FALSE(nm.RanStarting("/bin/ip -4") || nm.RanStarting("/bin/dhclient"));
}

TEST(NetshBridgeFlow, TheBridgesDhcpClientIsStoppedBeforeAStaticSet) {
    TModelHost host;
    EXPECT_EQ(ApplyRequest(host, Parsed(AddressCommand("ipt0", true, "", "", ""))), "");
    EXPECT_TRUE(host.RanStarting("/bin/dhclient -4 -pf /run/iptavix-netsh/dhclient-ipt0.pid ipt0"));
    EXPECT_EQ(host.Addresses, (std::vector<std::string>{"10.77.0.100/24"}));
    EXPECT_EQ(ApplyRequest(host, Parsed(AddressCommand("ipt0", false, "10.77.0.10", "255.255.255.0",
                                                       "10.77.0.1"))),
              "");
    EXPECT_TRUE(host.RanStarting("/bin/kill 4242"));
    EXPECT_FALSE(host.Files.count("/run/iptavix-netsh/dhclient-ipt0.pid"));
    // A pid file whose process is another program's is left alone.
    host.Files["/run/iptavix-netsh/dhclient-ipt0.pid"] = "4343\n";
    host.Files["/proc/4343/comm"] = "sshd\n";
    host.Ran.clear();
    EXPECT_EQ(StopOwnClients(host, "ipt0"), "");
    EXPECT_FALSE(host.RanStarting("/bin/kill"));
}

TEST(NetshBridgeFlow, AManagerIsToldAndNoSecondClientStarts) {
    TModelHost host;
    host.Tools.insert("dhcpcd");
    host.Files["/run/dhcpcd/pid"] = "900\n";
    host.Files["/proc/900/comm"] = "dhcpcd\n";
    host.Files["/proc/900/cmdline"] = std::string("dhcpcd\0-f\0/tmp/d.conf\0", 22);
    host.Files["/tmp/d.conf"] =
        "hostname\n# iptavix-netsh ipt0 begin\ninterface ipt0\nstatic "
        "ip_address=192.0.2.50/24\nstatic routers=\n# iptavix-netsh ipt0 end\n";
    host.Leased.insert("192.0.2.50/24");
    EXPECT_EQ(ApplyRequest(host, Parsed(AddressCommand("ipt0", true, "", "", ""))), "");
    EXPECT_TRUE(host.RanStarting("/bin/dhcpcd -4 -n ipt0"));
    EXPECT_FALSE(host.RanStarting("/bin/dhclient"));
    EXPECT_EQ(host.Files["/tmp/d.conf"], "hostname\n");

    // NetworkManager refusing the profile: the one-line reason names it.
    TModelHost nm;
    ManagedByNetworkManager(nm, "auto\n\n\n\nno\n");
    nm.Failing["/bin/nmcli connection modify u-1 ipv4.method"] = {
        4, "Error: Failed to modify connection 'Wired connection 1': permission denied\n"};
    EXPECT_EQ(
        ApplyRequest(
            nm, Parsed(AddressCommand("ipt0", false, "10.77.0.10", "255.255.255.0", "10.77.0.1"))),
        "ipt0 is managed by NetworkManager; its profile \"Wired connection 1\" could not be "
        "changed: Error: Failed to modify connection 'Wired connection 1': permission denied");
    EXPECT_FALSE(nm.RanStarting("/bin/ip -4 addr"));
}

TEST(NetshBridgeFlow, TheResolverFileKeepsItsKindOwnerAndMode) {
    // A regular file: a fresh one of this run, given the old one's owner and
    // mode, renamed over it; the servers it replaced come back for DHCP.
    TModelHost host;
    host.Files["/etc/resolv.conf"] = "search lan\nnameserver 192.0.2.53\n";
    EXPECT_EQ(ApplyRequest(host, Parsed(DnsCommand("ipt0", false, "10.77.0.53"))), "");
    EXPECT_TRUE(
        host.RanStarting("/bin/chown --reference=/etc/resolv.conf /etc/.resolv.conf.netsh-77-0"));
    EXPECT_TRUE(
        host.RanStarting("/bin/chmod --reference=/etc/resolv.conf /etc/.resolv.conf.netsh-77-0"));
    EXPECT_EQ(ApplyRequest(host, Parsed(AddDnsCommand("ipt0", "10.77.0.54", 2))), "");
    EXPECT_EQ(host.Files["/etc/resolv.conf"],
              "search lan\nnameserver 10.77.0.53\nnameserver 10.77.0.54\n");
    EXPECT_EQ(ApplyRequest(host, Parsed(DnsCommand("ipt0", true, ""))), "");
    EXPECT_EQ(host.Files["/etc/resolv.conf"], "search lan\nnameserver 192.0.2.53\n");

    // The mode cannot be kept: nothing is replaced, nothing is left beside it.
    host.Failing["/bin/chmod"] = {1, "chmod: changing permissions: Operation not permitted\n"};
    EXPECT_NE(ApplyRequest(host, Parsed(DnsCommand("ipt0", false, "10.77.0.53")))
                  .find("could not be kept"),
              std::string::npos);
    EXPECT_EQ(host.Files["/etc/resolv.conf"], "search lan\nnameserver 192.0.2.53\n");
    EXPECT_FALSE(host.Files.count("/etc/.resolv.conf.netsh-77-0"));

    // A link: its target is written, the link itself stays.
    TModelHost linked;
    linked.ReadlinkTarget = "/run/NetworkManager/resolv.conf";
    linked.Files["/run/NetworkManager/resolv.conf"] = "nameserver 192.0.2.53\n";
    EXPECT_EQ(ApplyRequest(linked, Parsed(DnsCommand("ipt0", false, "10.77.0.53"))), "");
    EXPECT_EQ(linked.Files["/run/NetworkManager/resolv.conf"], "nameserver 10.77.0.53\n");
    EXPECT_FALSE(linked.Files.count("/etc/resolv.conf"));
    // resolvconf's link: a record through resolvconf, taken back for DHCP.
    linked.ReadlinkTarget = "/run/resolvconf/resolv.conf";
    linked.Tools.insert("resolvconf");
    linked.Files["/run/resolvconf/resolv.conf"] = "nameserver 192.0.2.53\n";
    EXPECT_EQ(ApplyRequest(linked, Parsed(DnsCommand("ipt0", false, "10.77.0.53"))), "");
    EXPECT_TRUE(
        linked.RanStarting("/bin/resolvconf -a ipt0.iptavix-netsh <<nameserver 10.77.0.53\n"));
    EXPECT_EQ(ApplyRequest(linked, Parsed(DnsCommand("ipt0", true, ""))), "");
    EXPECT_TRUE(linked.RanStarting("/bin/resolvconf -d ipt0.iptavix-netsh"));

    // A mount point of its own: rewritten in place; a failed write puts the
    // old text back.
    TModelHost mounted;
    mounted.Files["/etc/resolv.conf"] = "search lan\nnameserver 192.0.2.53\n";
    mounted.Files["/proc/self/mountinfo"] =
        "40 22 8:1 /x /etc/resolv.conf rw - ext4 /dev/sda1 rw\n";
    mounted.FailWriteOver = true;
    EXPECT_NE(ApplyRequest(mounted, Parsed(DnsCommand("ipt0", false, "10.77.0.53")))
                  .find("old text was put back"),
              std::string::npos);
    EXPECT_EQ(mounted.Files["/etc/resolv.conf"], "search lan\nnameserver 192.0.2.53\n");
    EXPECT_EQ(ApplyRequest(mounted, Parsed(DnsCommand("ipt0", false, "10.77.0.53"))), "");
    EXPECT_EQ(mounted.Files["/etc/resolv.conf"], "search lan\nnameserver 10.77.0.53\n");
    EXPECT_FALSE(mounted.RanStarting("/bin/chmod"));
}

namespace {

// Commands that change the host ran and did not fail (the reading ones are
// free to run).
bool ChangedAnything(const TModelHost& host) {
    for (const std::string& ran : host.Ran) {
        bool failed = false;
        for (const auto& [start, result] : host.Failing)
            failed = failed || ran.rfind(start, 0) == 0;
        for (const char* change :
             {"/bin/ip link set", "/bin/ip -4 addr flush", "/bin/ip -4 addr add",
              "/bin/ip -4 addr del", "/bin/ip -4 route", "/bin/dhclient", "/bin/kill",
              "/bin/dhcpcd", "/bin/nmcli connection", "/bin/chown"})
            if (!failed && ran.rfind(change, 0) == 0) return true;
    }
    return false;
}

const std::string NoNetAdmin = "Name:\tcat\nCapEff:\t0000000000000000\n";

} // namespace

TEST(NetshBridgeFlow, WindowsAnswersChangeNothing) {
    const std::string dhcp = AddressCommand("ipt0", true, "", "", "");
    struct TCase {
        const char* What;
        std::string Line;
        std::function<void(TModelHost&)> Setup;
        const std::string& Answer;
    };
    const std::vector<TCase> cases{
        {"a name no interface can have", AddressCommand("no such", true, "", "", ""),
         [](TModelHost&) {}, NoSuchConnectionText},
        {"no such interface", DnsCommand("ipt9", false, "10.77.0.53"),
         [](TModelHost& h) {
             h.Failing["/bin/ip -o link show dev ipt9"] = {1, "Device not found"};
         },
         NoSuchConnectionText},
        {"no CAP_NET_ADMIN", AddressCommand("ipt0", false, "10.77.0.10", "255.255.255.0", ""),
         [](TModelHost& h) {
             h.Tools.insert("cat");
             h.Answers["/bin/cat /proc/self/status"] = NoNetAdmin;
         },
         ElevationText},
        {"no CAP_NET_ADMIN for DNS either", DnsCommand("ipt0", false, "10.77.0.53"),
         [](TModelHost& h) {
             h.Tools.insert("cat");
             h.Answers["/bin/cat /proc/self/status"] = NoNetAdmin;
             h.Files["/etc/resolv.conf"] = "nameserver 192.0.2.53\n";
         },
         ElevationText},
        {"the bridge's own client runs", dhcp,
         [](TModelHost& h) {
             h.Files["/run/iptavix-netsh/dhclient-ipt0.pid"] = "4242\n";
             h.Files["/proc/4242/comm"] = "dhclient\n";
         },
         DhcpAlreadyEnabledText},
        {"ifupdown's dhclient serves it", dhcp,
         [](TModelHost& h) {
             h.Answers["/bin/ps"] = "  1 0 systemd /sbin/init\n"
                                    "612 1 dhclient /sbin/dhclient -4 -v -i -pf "
                                    "/run/dhclient.ipt0.pid -lf /var/lib/dhcp/dhclient.ipt0.leases "
                                    "ipt0\n";
         },
         DhcpAlreadyEnabledText},
        {"a dhcpcd manager without a block for it", dhcp,
         [](TModelHost& h) {
             h.Tools.insert("dhcpcd");
             h.Files["/run/dhcpcd/pid"] = "900\n";
             h.Files["/proc/900/comm"] = "dhcpcd\n";
             h.Files["/etc/dhcpcd.conf"] = "hostname\n";
         },
         DhcpAlreadyEnabledText},
        {"NetworkManager's profile is DHCP", dhcp,
         [](TModelHost& h) { ManagedByNetworkManager(h, "auto\n\n\n\nno\n"); },
         DhcpAlreadyEnabledText},
        {"NetworkManager refuses the user",
         AddressCommand("ipt0", false, "10.77.0.10", "255.255.255.0", ""),
         [](TModelHost& h) {
             ManagedByNetworkManager(h, "auto\n\n\n\nno\n");
             h.Failing["/bin/nmcli connection modify u-1 ipv4.method manual"] = {
                 1, "Error: Failed to modify connection 'Wired connection 1': Insufficient "
                    "privileges\n"};
         },
         ElevationText}};
    for (const TCase& c : cases) {
        TModelHost host;
        c.Setup(host);
        EXPECT_EQ(ApplyRequest(host, Parsed(c.Line)), c.Answer) << c.What;
        EXPECT_FALSE(ChangedAnything(host)) << c.What << ": " << ::testing::PrintToString(host.Ran);
        EXPECT_EQ(host.Addresses, (std::vector<std::string>{"192.0.2.50/24"})) << c.What;
    }
}

TEST(NetshBridgeFlow, AnAddressIsAddedBesideTheOthersAndTakenOffAlone) {
    TModelHost host;
    const std::string add = AddAddressCommand("ipt0", "10.1.0.5", "255.255.0.0"),
                      remove = DeleteAddressCommand("ipt0", "10.1.0.5");
    EXPECT_EQ(ApplyRequest(host, Parsed(add)), "");
    EXPECT_TRUE(host.RanStarting("/bin/ip -4 addr add 10.1.0.5/16 dev ipt0"));
    EXPECT_EQ(host.Addresses, (std::vector<std::string>{"192.0.2.50/24", "10.1.0.5/16"}));
    EXPECT_EQ(host.Gateways, (std::vector<std::string>{"192.0.2.1"}));
    // Windows' answers for an address that is there already, or not there.
    host.Ran.clear();
    EXPECT_EQ(ApplyRequest(host, Parsed(add)), ObjectExistsText);
    EXPECT_FALSE(ChangedAnything(host));
    EXPECT_EQ(ApplyRequest(host, Parsed(remove)), "");
    EXPECT_TRUE(host.RanStarting("/bin/ip -4 addr del 10.1.0.5/16 dev ipt0"));
    EXPECT_EQ(host.Addresses, (std::vector<std::string>{"192.0.2.50/24"}));
    host.Ran.clear();
    EXPECT_EQ(ApplyRequest(host, Parsed(remove)), ElementNotFoundText);
    EXPECT_FALSE(ChangedAnything(host));

    // The address rules of a set, before anything runs.
    TModelHost refused;
    EXPECT_EQ(ApplyRequest(refused, Parsed(AddAddressCommand("ipt0", "10.1.0.0", "255.255.0.0"))),
              "The address 10.1.0.0 is the network address of 10.1.0.0/16. Nothing was "
              "changed.");
    EXPECT_TRUE(refused.Ran.empty());

    // A host that does not show it is told.
    TModelHost stubborn;
    stubborn.Failing["/bin/ip -4 addr add 10.1.0.5/16"] = {0, ""};
    EXPECT_EQ(ApplyRequest(stubborn, Parsed(add)),
              "ipt0 shows 192.0.2.50/24, without 10.1.0.5/16.");
}

TEST(NetshBridgeFlow, AnAddedAddressGoesThroughTheManagersOwnSettings) {
    const std::string add = AddAddressCommand("ipt0", "10.1.0.5", "255.255.0.0");
    // NetworkManager: one more address in the profile it applies.
    TModelHost nm;
    ManagedByNetworkManager(nm, "manual\n192.0.2.50/24\n");
    nm.Addresses.push_back("10.1.0.5/16"); // what NM's reapply shows
    EXPECT_EQ(ApplyRequest(nm, Parsed(add)), "");
    EXPECT_TRUE(nm.RanStarting("/bin/nmcli connection modify u-1 +ipv4.addresses 10.1.0.5/16"));
    EXPECT_TRUE(nm.RanStarting("/bin/nmcli device reapply ipt0"));
    EXPECT_FALSE(nm.RanStarting("/bin/ip -4 addr add"));
    // Where the interface does not show it, the profile is put back.
    TModelHost stubborn;
    ManagedByNetworkManager(stubborn, "manual\n192.0.2.50/24\n");
    EXPECT_EQ(ApplyRequest(stubborn, Parsed(add)),
              "ipt0 is managed by NetworkManager; the profile was applied, but ipt0 shows "
              "192.0.2.50/24, without 10.1.0.5/16. The profile was put back.");
    EXPECT_TRUE(
        stubborn.RanStarting("/bin/nmcli connection modify u-1 ipv4.addresses 192.0.2.50/24"));
    // A DHCP profile takes no further address.
    TModelHost dhcp;
    ManagedByNetworkManager(dhcp, "auto\n\n");
    EXPECT_NE(ApplyRequest(dhcp, Parsed(add)).find("not static"), std::string::npos);
    EXPECT_FALSE(ChangedAnything(dhcp));

    // networkd: one more Address= line in the bridge's own drop-in.
    TModelHost networkd;
    networkd.Tools.insert("networkctl");
    networkd.Answers["/bin/networkctl list"] = "3 ipt0 ether routable configured\n";
    networkd.Answers["/bin/networkctl status"] =
        "  Network File: /etc/systemd/network/ipt0.network\n";
    const std::string dropIn = "/etc/systemd/network/ipt0.network.d/90-iptavix-netsh-address.conf";
    const std::string before = "[Network]\nDHCP=no\nAddress=192.0.2.50/24\nGateway=192.0.2.1\n";
    networkd.Files[dropIn] = before;
    networkd.Addresses.push_back("10.1.0.5/16");
    EXPECT_EQ(ApplyRequest(networkd, Parsed(add)), "");
    EXPECT_EQ(networkd.Files[dropIn], before + "Address=10.1.0.5/16\n");
    EXPECT_TRUE(networkd.RanStarting("/bin/networkctl reconfigure ipt0"));
    networkd.Addresses.pop_back();
    EXPECT_EQ(ApplyRequest(networkd, Parsed(DeleteAddressCommand("ipt0", "10.1.0.5"))), "");
    EXPECT_EQ(networkd.Files[dropIn], before);
}

TEST(NetshBridgeFlow, ARunEndsWithinItsLimitWithTheSnapshotBack) {
    // No DHCP server answers: dhclient would wait its own minute.
    TModelHost host;
    host.Takes["/bin/dhclient"] = 600000;
    const std::string reason = ApplyRequest(host, Parsed(AddressCommand("ipt0", true, "", "", "")));
    EXPECT_EQ(reason, "The DHCP client dhclient got no lease for ipt0 in the 37 s the bridge gives "
                      "it; its old addresses and routes were put back.");
    EXPECT_LE(host.Clock, BridgeTimeLimitMs);
    EXPECT_EQ(host.Addresses, (std::vector<std::string>{"192.0.2.50/24"}));
    EXPECT_EQ(host.Gateways, (std::vector<std::string>{"192.0.2.1"}));
    EXPECT_FALSE(host.Files.count("/run/iptavix-netsh/dhclient-ipt0.pid"));

    // A program whose limit was shortened for a test gives the bridge less.
    TModelHost shortened;
    shortened.TimeLimitMs = 15000;
    shortened.Takes["/bin/dhclient"] = 600000;
    EXPECT_NE(ApplyRequest(shortened, Parsed(AddressCommand("ipt0", true, "", "", "")))
                  .find("in the 7 s the bridge gives it"),
              std::string::npos);
    EXPECT_LE(shortened.Clock, 15000);
    EXPECT_EQ(shortened.Addresses, (std::vector<std::string>{"192.0.2.50/24"}));

    // A step that ends the steps' time still leaves the rollback its own.
    TModelHost slow;
    slow.Takes["/bin/ip -4 route append default via 10.77.0.1"] = 600000;
    EXPECT_NE(ApplyRequest(slow, Parsed(AddressCommand("ipt0", false, "10.77.0.10", "255.255.255.0",
                                                       "10.77.0.1")))
                  .find("old addresses and routes were put back"),
              std::string::npos);
    EXPECT_LE(slow.Clock, BridgeTimeLimitMs);
    EXPECT_EQ(slow.Addresses, (std::vector<std::string>{"192.0.2.50/24"}));

    // NetworkManager's own wait is what is left of the run, not its minute.
    TModelHost nm;
    ManagedByNetworkManager(nm, "manual\n192.0.2.50/24\n192.0.2.1\n\nno\n");
    nm.Failing["/bin/nmcli device reapply"] = {1, ""};
    nm.Takes["/bin/nmcli --wait"] = 600000;
    ApplyRequest(nm, Parsed(AddressCommand("ipt0", true, "", "", "")));
    EXPECT_TRUE(nm.RanStarting("/bin/nmcli --wait 36 connection up u-1"));
    EXPECT_TRUE(nm.RanStarting("/bin/nmcli connection modify u-1 ipv4.method manual"));
    EXPECT_LE(nm.Clock, BridgeTimeLimitMs);
}

TEST(NetshBridgeFlow, ALeaseStaysALeaseAndOtherClientsGoOnlyOnceTheSetHolds) {
    // The bridge's dhclient holds a lease; the static set fails: the client
    // was never stopped, and the lease's address is back with a lifetime.
    TModelHost host;
    ASSERT_EQ(ApplyRequest(host, Parsed(AddressCommand("ipt0", true, "", "", ""))), "");
    host.Leased.insert("10.77.0.100/24");
    host.Failing["/bin/ip -4 route append default via 10.77.0.1"] = {2, "Error: Nexthop\n"};
    EXPECT_NE(ApplyRequest(host, Parsed(AddressCommand("ipt0", false, "10.77.0.10", "255.255.255.0",
                                                       "10.77.0.1"))),
              "");
    EXPECT_FALSE(host.RanStarting("/bin/kill"));
    EXPECT_TRUE(host.Files.count("/proc/4242/comm"));
    EXPECT_TRUE(host.RanStarting("/bin/ip -4 addr add 10.77.0.100/24 dev ipt0 valid_lft "));
    EXPECT_EQ(host.Addresses, (std::vector<std::string>{"10.77.0.100/24"}));

    // ifupdown's dhclient in this namespace, and another namespace's for
    // its own ipt0: this one goes once the set holds, the other stays.
    TModelHost withIfupdown;
    withIfupdown.Answers["/bin/ps"] =
        "612 1 dhclient /sbin/dhclient -4 -pf /run/dhclient.ipt0.pid ipt0\n"
        "613 612 dhclient /bin/sh /sbin/dhclient-script ipt0\n"
        "700 1 dhclient dhclient -4 ipt0\n";
    withIfupdown.Files["/proc/612/comm"] = "dhclient\n";
    withIfupdown.Files["/proc/700/comm"] = "dhclient\n";
    withIfupdown.Namespaces["/proc/700/ns/net"] = "net:[2]";
    TModelHost ifupdown = withIfupdown;
    EXPECT_EQ(ApplyRequest(ifupdown, Parsed(AddressCommand("ipt0", false, "10.77.0.10",
                                                           "255.255.255.0", "10.77.0.1"))),
              "");
    EXPECT_TRUE(ifupdown.RanStarting("/bin/kill 612"));
    EXPECT_FALSE(ifupdown.RanStarting("/bin/kill 613") || ifupdown.RanStarting("/bin/kill 700"));
    const auto kill = std::find(ifupdown.Ran.begin(), ifupdown.Ran.end(), "/bin/kill 612");
    const auto set = std::find(ifupdown.Ran.begin(), ifupdown.Ran.end(),
                               "/bin/ip -4 addr add 10.77.0.10/24 dev ipt0");
    EXPECT_LT(set, kill);

    // The same dhclient renews its lease just after the set was made, putting
    // its address back beside it: the set is made again once it has gone.
    TModelHost renewing = withIfupdown;
    renewing.Then["/bin/ip -4 route append"] = [&renewing] {
        if (renewing.Files.count("/proc/612/comm")) renewing.Addresses.push_back("10.77.0.146/24");
    };
    EXPECT_EQ(ApplyRequest(renewing, Parsed(AddressCommand("ipt0", false, "10.77.0.10",
                                                           "255.255.255.0", "10.77.0.1"))),
              "");
    EXPECT_TRUE(renewing.RanStarting("/bin/kill 612"));
    EXPECT_EQ(renewing.Addresses, (std::vector<std::string>{"10.77.0.10/24"}));

    // NetworkManager's dhclient: refused, naming it.
    TModelHost nm;
    nm.Answers["/bin/ps"] = "812 1 dhclient /sbin/dhclient -d -q -pf "
                            "/run/NetworkManager/dhclient-ipt0.pid ipt0\n";
    EXPECT_EQ(ApplyRequest(nm, Parsed(AddressCommand("ipt0", false, "10.77.0.10", "255.255.255.0",
                                                     "10.77.0.1"))),
              "ipt0 is served by the DHCP client dhclient (pid 812) of NetworkManager, so the set "
              "was not applied behind its back.");
    EXPECT_FALSE(ChangedAnything(nm));
}

TEST(NetshBridgeFlow, OneResolverRecordForTheHost) {
    TModelHost host;
    const std::string begun = "search lan\nnameserver 192.0.2.53\n";
    host.Files["/etc/resolv.conf"] = begun;
    auto servers = [&] { return NameServers(host.Files["/etc/resolv.conf"]); };
    using TList = std::vector<std::string>;
    for (const bool ethZeroFirst : {true, false}) {
        ASSERT_EQ(ApplyRequest(host, Parsed(DnsCommand("eth0", false, "10.0.0.53"))), "");
        ASSERT_EQ(ApplyRequest(host, Parsed(DnsCommand("eth1", false, "10.1.0.53"))), "");
        EXPECT_EQ(servers(), (TList{"10.1.0.53", "10.0.0.53"}));
        ASSERT_EQ(ApplyRequest(host, Parsed(AddDnsCommand("eth0", "10.0.0.54", 2))), "");
        EXPECT_EQ(servers(), (TList{"10.0.0.53", "10.0.0.54", "10.1.0.53"}));
        const char* first = ethZeroFirst ? "eth0" : "eth1";
        const char* last = ethZeroFirst ? "eth1" : "eth0";
        ASSERT_EQ(ApplyRequest(host, Parsed(DnsCommand(first, true, ""))), "");
        EXPECT_EQ(servers(), (ethZeroFirst ? TList{"10.1.0.53"} : TList{"10.0.0.53", "10.0.0.54"}));
        ASSERT_EQ(ApplyRequest(host, Parsed(DnsCommand(last, true, ""))), "");
        EXPECT_EQ(host.Files["/etc/resolv.conf"], begun);
    }
    // DHCP where the bridge set nothing leaves the file alone.
    host.Ran.clear();
    EXPECT_EQ(ApplyRequest(host, Parsed(DnsCommand("eth0", true, ""))), "");
    EXPECT_FALSE(host.RanStarting("/bin/chown"));
}
