#include "base/AddressText.h"
#include "tools/netsh-bridge/Backend.h"
#include "tools/netsh-bridge/DhcpClient.h"
#include "tools/netsh-bridge/DhcpcdPlan.h"
#include "tools/netsh-bridge/IproutePlan.h"
#include "tools/netsh-bridge/NetworkdPlan.h"
#include "tools/netsh-bridge/NmPlan.h"
#include "tools/netsh-bridge/ResolvedPlan.h"
#include "tools/netsh-bridge/ResolverFile.h"

#include <gtest/gtest.h>

namespace {

// The request of a line the program builds, as the bridge receives it.
TNetshRequest Parsed(const std::string& line) {
    std::vector<std::string> args = SplitCommandLine(line);
    args.erase(args.begin());
    TNetshRequest request;
    std::string error;
    EXPECT_TRUE(ParseNetshArguments(args, request, error)) << line << ": " << error;
    return request;
}

// A request as the bridge carries it out: parsed and checked.
TNetshRequest Checked(const std::string& line) {
    TNetshRequest request = Parsed(line);
    std::string reason;
    EXPECT_TRUE(CheckRequest(request, reason)) << line << ": " << reason;
    return request;
}

std::vector<std::string> Texts(const std::vector<THostCommand>& plan) {
    std::vector<std::string> texts;
    for (const THostCommand& c : plan)
        texts.push_back(CommandText(c));
    return texts;
}

} // namespace

TEST(NetshBridge, InterfaceNames) {
    for (const char* good : {"eth0", "ipt0", "enp3s0f1", "wlan0.100", "br-lan", "a", "veth_x@1"})
        EXPECT_TRUE(ValidInterfaceName(good)) << good;
    for (const char* bad : {"", ".", "..", "-eth0", "eth 0", "eth0/1", "eth0:1", "sixteen-chars-xx",
                            "LAN \"x\"", "tab\tname", "caf\xc3\xa9"})
        EXPECT_FALSE(ValidInterfaceName(bad)) << bad;
}

TEST(NetshBridge, RequestsAreCheckedAndWrittenInDecimal) {
    struct TCase {
        const char* Address;
        const char* Mask;
        const char* Gateway;
        const char* Refusal; // "" when accepted
    };
    for (const TCase& c : std::initializer_list<TCase>{
             {"10.0.0.5", "255.255.255.0", "10.0.0.1", ""},
             {"10.0.0.0", "255.255.255.254", "", ""}, // a /31 has no network address
             {"10.0.0.255", "255.255.255.255", "", ""},
             {"0.1.2.3", "255.0.0.0", "", "not an address of a host"},
             {"127.0.0.2", "255.0.0.0", "", "loopback"},
             {"224.0.0.5", "255.255.255.0", "", "multicast"},
             {"250.1.1.1", "255.255.255.0", "", "multicast or reserved"},
             {"10.0.0.0", "255.255.255.0", "", "network address of 10.0.0.0/24"},
             {"10.0.0.255", "255.255.255.0", "", "broadcast address"},
             {"10.0.0.3", "255.255.255.252", "", "broadcast address"},
             {"10.0.0.5", "0.0.0.0", "", "not a valid subnet mask"},
             {"10.0.0.5", "255.255.255.0", "10.0.0.5", "the set's own address"},
             {"10.0.0.5", "255.255.255.0", "0.0.0.0",
              "gateway 0.0.0.0 is not an address of a host"},
             {"10.0.0.5", "255.255.255.0", "239.1.1.1", "multicast"},
             {"10.0.0.5", "255.255.255.0", "127.0.0.1", "loopback"}}) {
        TNetshRequest request;
        request.Name = "ipt0";
        request.Address = c.Address;
        request.Mask = c.Mask;
        request.Gateway = c.Gateway;
        std::string reason;
        EXPECT_EQ(CheckRequest(request, reason), !*c.Refusal) << c.Address << " " << c.Mask;
        EXPECT_NE(reason.find(c.Refusal), std::string::npos) << reason;
    }
    for (const char* dns : {"0.0.0.0", "224.0.0.251"}) {
        TNetshRequest request = Parsed(DnsCommand("ipt0", false, dns));
        std::string reason;
        EXPECT_FALSE(CheckRequest(request, reason)) << dns;
    }
    // Leading zeros are decimal parts, never octal ones.
    const TNetshRequest zeros =
        Checked(AddressCommand("ipt0", false, "010.001.000.010", "255.255.255.000", "010.1.0.01"));
    EXPECT_EQ(zeros.Address + " " + zeros.Mask + " " + zeros.Gateway,
              "10.1.0.10 255.255.255.0 10.1.0.1");
    EXPECT_EQ(Checked("netsh interface ip add dns \"ipt0\" 008.008.004.004 index=2").Address,
              "8.8.4.4");
}

TEST(NetshBridge, StaticAddressReplacesAddressesAndAppendsTheDefaultRoute) {
    EXPECT_EQ(Texts(StaticAddressPlan(Checked(AddressCommand("ipt0", false, "10.77.0.10",
                                                             "255.255.255.0", "10.77.0.1")),
                                      "/usr/sbin/ip")),
              (std::vector<std::string>{
                  "/usr/sbin/ip link set dev ipt0 up", "/usr/sbin/ip -4 addr flush dev ipt0",
                  "/usr/sbin/ip -4 addr add 10.77.0.10/24 dev ipt0",
                  "/usr/sbin/ip -4 route flush exact 0.0.0.0/0 dev ipt0",
                  "/usr/sbin/ip -4 route append default via 10.77.0.1 dev ipt0 metric 1"}));
    // No gateway: the interface's default routes go and none comes back.
    const std::vector<THostCommand> none = StaticAddressPlan(
        Checked(AddressCommand("ipt0", false, "10.0.0.5", "255.0.0.0", "")), "ip");
    ASSERT_EQ(none.size(), 4u);
    EXPECT_EQ(CommandText(none[2]), "ip -4 addr add 10.0.0.5/8 dev ipt0");
    // Tagged arguments with another metric and a /32 mask.
    const std::vector<THostCommand> tagged =
        StaticAddressPlan(Checked("netsh interface ip set address name=ipt0 source=static "
                                  "addr=1.2.3.4 mask=255.255.255.255 gateway=1.2.3.1 gwmetric=20"),
                          "ip");
    EXPECT_EQ(CommandText(tagged[2]), "ip -4 addr add 1.2.3.4/32 dev ipt0");
    EXPECT_EQ(CommandText(tagged[4]), "ip -4 route append default via 1.2.3.1 dev ipt0 metric 20");
    EXPECT_EQ(Texts(DhcpAddressPlan(Parsed(AddressCommand("ipt0", true, "", "", "")), "ip")),
              (std::vector<std::string>{"ip link set dev ipt0 up", "ip -4 addr flush dev ipt0"}));
}

TEST(NetshBridge, SnapshotOfIpJsonIsRestoredAndComparedWithTheSet) {
    // Canned from iproute2 6.1: two addresses, a default and a static route.
    const std::string addresses =
        R"([{"ifindex":3,"link":"a1","ifname":"ipt0","flags":["BROADCAST","UP"],"mtu":1500,)"
        R"("addr_info":[{"family":"inet","local":"10.1.0.5","prefixlen":24,"broadcast":"10.1.0.255",)"
        R"("scope":"global","label":"ipt0","valid_life_time":4294967295},{"family":"inet",)"
        R"("local":"10.1.0.6","prefixlen":24,"scope":"global","secondary":true,"label":"ipt0",)"
        R"("valid_life_time":3000,"preferred_life_time":3000}]}])";
    const std::string routes =
        R"([{"dst":"default","gateway":"10.1.0.1","metric":5,"flags":[]},)"
        R"({"dst":"10.1.0.0/24","protocol":"kernel","scope":"link","prefsrc":"10.1.0.5","flags":[]},)"
        R"({"dst":"10.9.0.0/16","gateway":"10.1.0.2","protocol":"static","flags":["onlink"]}])";
    TIPv4State state;
    ASSERT_TRUE(ParseAddressJson(addresses, state.Addresses));
    ASSERT_TRUE(ParseRouteJson(routes, state.Routes));
    EXPECT_EQ(Texts(RestorePlan(state, "ipt0", "ip")),
              (std::vector<std::string>{
                  "ip -4 addr flush dev ipt0", "ip -4 route flush table main dev ipt0",
                  "ip -4 addr add 10.1.0.5/24 broadcast 10.1.0.255 dev ipt0",
                  "ip -4 addr add 10.1.0.6/24 dev ipt0 valid_lft 3000 preferred_lft 3000",
                  "ip -4 route append default via 10.1.0.1 dev ipt0 metric 5",
                  "ip -4 route append 10.9.0.0/16 via 10.1.0.2 dev ipt0 proto static onlink"}));
    // An interface without addresses prints nothing or []; anything else that
    // is not iproute2's JSON is no snapshot.
    std::vector<TIPv4Address> empty;
    EXPECT_TRUE(ParseAddressJson("", empty) && ParseAddressJson("[ ]\n", empty) && empty.empty());
    for (const char* bad :
         {"Object \"addr\" is unknown", "[{\"addr_info\":[{\"family\":\"inet\"}]}]", "[{", "{}"})
        EXPECT_FALSE(ParseAddressJson(bad, empty)) << bad;

    const TNetshRequest request =
        Checked(AddressCommand("ipt0", false, "10.1.0.5", "255.255.255.0", "10.1.0.1"));
    EXPECT_EQ(StaticDifference(request, state),
              "ipt0 shows 10.1.0.5/24, 10.1.0.6/24 instead of 10.1.0.5/24.");
    state.Addresses.pop_back();
    EXPECT_EQ(StaticDifference(request, state), "");
    state.Routes.erase(state.Routes.begin());
    EXPECT_EQ(StaticDifference(request, state),
              "ipt0 shows no default route instead of one via 10.1.0.1.");
}

TEST(NetshBridge, NameServerLinesAreReplacedAndEverythingElseKept) {
    const std::string old = "# written by hand\nsearch example.org\nnameserver 192.0.2.1\n"
                            "options edns0\nnameserver 192.0.2.2\n";
    EXPECT_EQ(NameServers(old), (std::vector<std::string>{"192.0.2.1", "192.0.2.2"}));
    EXPECT_EQ(WithNameServers(old, {"10.77.0.53", "10.77.0.54"}),
              "# written by hand\nsearch example.org\nnameserver 10.77.0.53\nnameserver "
              "10.77.0.54\noptions edns0\n");
    EXPECT_EQ(WithNameServers(old, {}), "# written by hand\nsearch example.org\noptions edns0\n");
    EXPECT_EQ(WithNameServers("", {"8.8.8.8"}), "nameserver 8.8.8.8\n");
    EXPECT_EQ(WithNameServers("search lan", {"8.8.8.8"}), "search lan\nnameserver 8.8.8.8\n");
    // Indented and tab-separated lines are name server lines too; a comment
    // that mentions one is not.
    EXPECT_EQ(WithNameServers("  nameserver\t1.1.1.1\n#nameserver 9.9.9.9\n", {"8.8.4.4"}),
              "nameserver 8.8.4.4\n#nameserver 9.9.9.9\n");
    // "add dns ... index=N": at its place, once.
    EXPECT_EQ(ServersWith({"1.1.1.1"}, "8.8.8.8", 2),
              (std::vector<std::string>{"1.1.1.1", "8.8.8.8"}));
    EXPECT_EQ(ServersWith({"1.1.1.1", "8.8.8.8"}, "9.9.9.9", 1),
              (std::vector<std::string>{"9.9.9.9", "1.1.1.1", "8.8.8.8"}));
    EXPECT_EQ(ServersWith({"1.1.1.1", "8.8.8.8"}, "1.1.1.1", 0),
              (std::vector<std::string>{"8.8.8.8", "1.1.1.1"}));
    EXPECT_EQ(ServersWith({}, "8.8.8.8", 5), (std::vector<std::string>{"8.8.8.8"}));

    EXPECT_EQ(ResolvectlServers("Link 3 (ipt0): 10.0.0.1 10.0.0.2\n"),
              (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
    EXPECT_TRUE(ResolvectlServers("Link 3 (ipt0):\n").empty());
    const TNetshRequest dns = Checked(DnsCommand("ipt0", false, "10.77.0.53"));
    EXPECT_EQ(CommandText(ResolvectlPlan(dns, "/usr/bin/resolvectl", {"192.0.2.1"})),
              "/usr/bin/resolvectl dns ipt0 10.77.0.53");
    EXPECT_EQ(CommandText(ResolvectlPlan(Checked(DnsCommand("ipt0", false, "")), "resolvectl", {})),
              "resolvectl dns ipt0 \"\"");
    EXPECT_EQ(CommandText(ResolvectlPlan(Checked(AddDnsCommand("ipt0", "10.0.0.2", 2)),
                                         "resolvectl", {"10.0.0.1"})),
              "resolvectl dns ipt0 10.0.0.1 10.0.0.2");
    EXPECT_EQ(CommandText(ResolvectlPlan(Checked(DnsCommand("ipt0", true, "")), "resolvectl", {})),
              "resolvectl revert ipt0");
}

TEST(NetshBridge, ResolverFileWayFollowsWhatTheFileIs) {
    const std::string mountinfo =
        "22 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n"
        "40 22 8:1 /tmp/case/resolv.conf /etc/resolv.conf rw - ext4 /dev/sda1 rw\n";
    EXPECT_TRUE(IsMountPoint(mountinfo, "/etc/resolv.conf"));
    EXPECT_FALSE(IsMountPoint(mountinfo, "/etc"));
    EXPECT_FALSE(IsMountPoint("40 22 8:1 /etc/resolv.conf /mnt rw\n", "/etc/resolv.conf"));
    struct TCase {
        TResolverFacts Facts;
        TResolverWay Way;
    };
    for (const TCase& c : std::initializer_list<TCase>{
             {{"/etc/resolv.conf", false, true}, TResolverWay::Replace},
             {{"/etc/resolv.conf", true, false}, TResolverWay::Rewrite},
             {{"/run/resolvconf/resolv.conf", false, true}, TResolverWay::Resolvconf},
             {{"/etc/resolvconf/run/resolv.conf", false, true}, TResolverWay::Resolvconf},
             // resolvconf's link without the tool, or another link: the target.
             {{"/run/resolvconf/resolv.conf", false, false}, TResolverWay::LinkTarget},
             {{"/run/custom/resolv.conf", true, true}, TResolverWay::LinkTarget}})
        EXPECT_EQ(ResolverWay(c.Facts), c.Way) << c.Facts.Target;
}

TEST(NetshBridge, NetworkManagerProfilesFromNmcliTerseOutput) {
    EXPECT_EQ(NmTerseFields("ipt0:ethernet:connected:Office\\: 2nd \\\\ floor"),
              (std::vector<std::string>{"ipt0", "ethernet", "connected", "Office: 2nd \\ floor"}));
    const std::string devices = "ipt0:ethernet:connected (externally):ipt0\n"
                                "eth1:ethernet:connected:Wired connection 1\n"
                                "lo:loopback:unmanaged:\n";
    const TNmDevice external = NmDeviceOf(devices, "ipt0");
    EXPECT_TRUE(NmManages(external));
    EXPECT_EQ(external.State + "|" + external.Connection, "connected (externally)|ipt0");
    EXPECT_EQ(NmDeviceOf(devices, "eth1").Connection, "Wired connection 1");
    EXPECT_FALSE(NmManages(NmDeviceOf(devices, "lo")));
    EXPECT_FALSE(NmManages(NmDeviceOf(devices, "eth9")));
    EXPECT_EQ(NmProfileUuid("ipt0:7f74\nIPTavix ipt0:043b-cc\n", "IPTavix ipt0"), "043b-cc");
    EXPECT_EQ(NmProfileUuid("ipt0:7f74\n", "IPTavix ipt0"), "");
    EXPECT_EQ(NmLeaseAddress("DHCP4.OPTION[1]:dhcp_lease_time = 3600\n"
                             "DHCP4.OPTION[4]:ip_address = 10.77.0.112\n"),
              "10.77.0.112");
    EXPECT_EQ(NmLeaseAddress(""), "");

    struct TCase {
        const char* Line;
        std::vector<std::string> Current;
        std::vector<std::string> Settings;
    };
    for (const TCase& c : std::initializer_list<TCase>{
             {"netsh interface ip set address \"eth1\" static 010.0.0.5 255.255.0.0 10.0.0.1 1",
              {},
              {"ipv4.method", "manual", "ipv4.addresses", "10.0.0.5/16", "ipv4.gateway",
               "10.0.0.1"}},
             {"netsh interface ip set address \"eth1\" static 10.0.0.5 255.255.0.0 none",
              {},
              {"ipv4.method", "manual", "ipv4.addresses", "10.0.0.5/16", "ipv4.gateway", ""}},
             {"netsh interface ip set address \"eth1\" dhcp",
              {},
              {"ipv4.method", "auto", "ipv4.addresses", "", "ipv4.gateway", ""}},
             {"netsh interface ip set dns \"eth1\" static 10.0.0.53 primary",
              {"192.0.2.1"},
              {"ipv4.dns", "10.0.0.53", "ipv4.ignore-auto-dns", "yes"}},
             {"netsh interface ip set dns \"eth1\" static none primary",
              {"192.0.2.1"},
              {"ipv4.dns", "", "ipv4.ignore-auto-dns", "yes"}},
             {"netsh interface ip set dns \"eth1\" dhcp",
              {"192.0.2.1"},
              {"ipv4.dns", "", "ipv4.ignore-auto-dns", "no"}},
             {"netsh interface ip add dns \"eth1\" 10.0.0.54 index=2",
              {"10.0.0.53"},
              {"ipv4.dns", "10.0.0.53,10.0.0.54", "ipv4.ignore-auto-dns", "yes"}}})
        EXPECT_EQ(NmSettings(Checked(c.Line), c.Current), c.Settings) << c.Line;

    // nmcli -g of ipv4.method,ipv4.addresses,ipv4.gateway,ipv4.dns,ipv4.ignore-auto-dns.
    const std::vector<std::string> shown{"manual", "10.0.0.5/16", "10.0.0.1",
                                         "10.0.0.53, 10.0.0.54", "yes"};
    EXPECT_EQ(
        NmProfileDifference({"ipv4.method", "manual", "ipv4.addresses", "10.0.0.5/16"}, shown), "");
    EXPECT_EQ(NmProfileDifference({"ipv4.dns", "10.0.0.53,10.0.0.54"}, shown), "");
    EXPECT_EQ(NmProfileDifference({"ipv4.gateway", ""}, shown),
              "ipv4.gateway is \"10.0.0.1\" instead of \"\"");
}

TEST(NetshBridge, NetworkdDropInsAndRefusals) {
    const std::string list = "  1 lo     loopback carrier    unmanaged\n"
                             "  2 eth0   ether    routable   configured\n"
                             "  3 ipt0   ether    no-carrier n/a\n";
    EXPECT_TRUE(NetworkdManages(NetworkdSetupState(list, "eth0")));
    EXPECT_FALSE(NetworkdManages(NetworkdSetupState(list, "lo")));
    EXPECT_FALSE(NetworkdManages(NetworkdSetupState(list, "ipt0")));
    EXPECT_FALSE(NetworkdManages(NetworkdSetupState(list, "eth9")));
    const std::string status =
        "● 2: eth0\n                     Link File: "
        "/usr/lib/systemd/network/99-default.link\n"
        "                  Network File: /usr/lib/systemd/network/80-dhcp.network\n";
    EXPECT_EQ(NetworkdNetworkFile(status), "/usr/lib/systemd/network/80-dhcp.network");
    EXPECT_EQ(NetworkdNetworkFile("  Network File: n/a\n"), "");
    EXPECT_EQ(NetworkdDropInPath("/usr/lib/systemd/network/80-dhcp.network", false),
              "/etc/systemd/network/80-dhcp.network.d/90-iptavix-netsh-address.conf");

    const std::string dhcpFile = "[Match]\nName=eth0\n\n[Network]\nDHCP=yes\nDNS=192.0.2.1\n";
    const std::string staticFile = "[Match]\nName=eth0\n[Network]\nAddress=192.0.2.5/24\n";
    struct TCase {
        const char* Line;
        const std::string* File;
        const char* OldDns;
        const char* DropIn; // null: refused
    };
    for (const TCase& c : std::initializer_list<TCase>{
             {"netsh interface ip set address \"eth0\" static 10.0.0.5 255.255.255.0 10.0.0.1 1",
              &dhcpFile, "", "[Network]\nDHCP=no\nAddress=10.0.0.5/24\nGateway=10.0.0.1\n"},
             {"netsh interface ip set address \"eth0\" static 10.0.0.5 255.255.255.0 none",
              &dhcpFile, "", "[Network]\nDHCP=no\nAddress=10.0.0.5/24\n"},
             {"netsh interface ip set address \"eth0\" dhcp", &dhcpFile, "",
              "[Network]\nDHCP=ipv4\n"},
             {"netsh interface ip set address \"eth0\" static 10.0.0.5 255.255.255.0 none",
              &staticFile, "", nullptr},
             {"netsh interface ip set address \"eth0\" dhcp", &staticFile, "", nullptr},
             {"netsh interface ip set dns \"eth0\" static 10.0.0.53 primary", &staticFile, "",
              "[Network]\nDNS=\nDNS=10.0.0.53\n\n[DHCPv4]\nUseDNS=no\n"},
             {"netsh interface ip add dns \"eth0\" 10.0.0.54 index=2", &dhcpFile,
              "[Network]\nDNS=\nDNS=10.0.0.53\n",
              "[Network]\nDNS=\nDNS=10.0.0.53\nDNS=10.0.0.54\n\n"
              "[DHCPv4]\nUseDNS=no\n"},
             {"netsh interface ip set dns \"eth0\" dhcp", &dhcpFile, "[Network]\nDNS=\n", ""}}) {
        std::string text, reason;
        EXPECT_EQ(NetworkdDropIn(Checked(c.Line), *c.File, c.OldDns, text, reason),
                  c.DropIn != nullptr)
            << c.Line;
        if (c.DropIn)
            EXPECT_EQ(text, c.DropIn) << c.Line;
        else
            EXPECT_NE(reason.find("addresses or routes of its own"), std::string::npos) << reason;
    }
}

TEST(NetshBridge, DhcpcdManagerConfigurationBlock) {
    using namespace std::string_literals;
    EXPECT_EQ(DhcpcdConfigPath("dhcpcd\0-q\0-f\0/tmp/case/dhcpcd.conf\0"s),
              "/tmp/case/dhcpcd.conf");
    EXPECT_EQ(DhcpcdConfigPath("/usr/sbin/dhcpcd\0--config=/etc/x.conf\0-b\0"s), "/etc/x.conf");
    EXPECT_EQ(DhcpcdConfigPath("dhcpcd\0-b\0"s), "/etc/dhcpcd.conf");

    const std::string base = "hostname\noption rapid_commit\n";
    std::string config = DhcpcdConfigWith(
        base, Checked(AddressCommand("ipt0", false, "10.0.0.5", "255.255.255.0", "10.0.0.1")));
    EXPECT_EQ(config,
              base + "# iptavix-netsh ipt0 begin\ninterface ipt0\nstatic "
                     "ip_address=10.0.0.5/24\nstatic routers=10.0.0.1\n# iptavix-netsh ipt0 end\n");
    config = DhcpcdConfigWith(config, Checked(DnsCommand("ipt0", false, "10.0.0.53")));
    config = DhcpcdConfigWith(config, Checked(AddDnsCommand("ipt0", "10.0.0.54", 2)));
    // A line the user added after the block stays outside the block.
    config =
        DhcpcdConfigWith(config + "option ntp_servers\n",
                         Checked(AddressCommand("ipt0", false, "10.0.0.6", "255.255.255.0", "")));
    EXPECT_EQ(config, base +
                          "option ntp_servers\n# iptavix-netsh ipt0 begin\ninterface ipt0\nstatic "
                          "ip_address=10.0.0.6/24\nstatic routers=\nstatic "
                          "domain_name_servers=10.0.0.53 10.0.0.54\n# iptavix-netsh ipt0 end\n");
    config = DhcpcdConfigWith(config, Checked(AddressCommand("ipt0", true, "", "", "")));
    config = DhcpcdConfigWith(config, Checked(DnsCommand("ipt0", true, "")));
    EXPECT_EQ(config, base + "option ntp_servers\n");
}

TEST(NetshBridge, DhcpClientsRunAsDaemonsWithTheBridgesPidFiles) {
    EXPECT_EQ(DhcpClients(), (std::vector<std::string>{"dhclient", "dhcpcd", "udhcpc"}));
    EXPECT_EQ(CommandText(DhcpClientStart("/sbin/dhclient", "ipt0", 36)),
              "/sbin/dhclient -4 -pf /run/iptavix-netsh/dhclient-ipt0.pid ipt0");
    EXPECT_EQ(CommandText(DhcpClientStart("/usr/sbin/dhcpcd", "ipt0", 36)),
              "/usr/sbin/dhcpcd -4 -t 36 ipt0");
    EXPECT_EQ(CommandText(DhcpClientStart("/usr/sbin/udhcpc", "ipt0", 36)),
              "/usr/sbin/udhcpc -i ipt0 -p /run/iptavix-netsh/udhcpc-ipt0.pid -t 3 -T 3 -A 3 -n");
    EXPECT_EQ(ClientPidFiles("ipt0"),
              (std::vector<std::string>{"/run/iptavix-netsh/dhclient-ipt0.pid",
                                        "/run/iptavix-netsh/dhcpcd-ipt0.pid",
                                        "/run/iptavix-netsh/udhcpc-ipt0.pid"}));
    EXPECT_TRUE(IsClientProcess("dhclient\n", "/run/iptavix-netsh/dhclient-ipt0.pid"));
    EXPECT_FALSE(IsClientProcess("sshd\n", "/run/iptavix-netsh/dhclient-ipt0.pid"));
    EXPECT_FALSE(IsClientProcess("", "/run/iptavix-netsh/dhclient-ipt0.pid"));
    EXPECT_EQ(PidFromText("4242\n"), 4242);
    for (const char* bad : {"", "\n", "1\n", "0", "-5", "abc", "99999999999"})
        EXPECT_EQ(PidFromText(bad), 0) << bad;
}

TEST(NetshBridge, TheManagerOfTheInterfaceIsChosenFirstToLast) {
    const TNmDevice managed{true, "ethernet", "connected", "Wired connection 1"};
    const TNmDevice unmanaged{true, "ethernet", "unmanaged", ""};
    struct TCase {
        TBackendFacts Facts;
        TBackend Backend;
    };
    for (const TCase& c : std::initializer_list<TCase>{
             {{true, managed, "configured", true}, TBackend::NetworkManager},
             {{false, managed, "configured", true}, TBackend::Networkd}, // NM not running
             {{true, unmanaged, "configured", false}, TBackend::Networkd},
             {{true, unmanaged, "unmanaged", true}, TBackend::DhcpcdManager},
             {{true, TNmDevice{}, "", false}, TBackend::Iproute},
             {{false, TNmDevice{}, "n/a", false}, TBackend::Iproute}})
        EXPECT_EQ(DetectBackend(c.Facts), c.Backend);
}

TEST(NetshBridge, NetworkdChangesOnlyFilesThatMatchTheLinkAlone) {
    const std::string shared = "[Match]\nName=en*\n\n[Network]\nDHCP=yes\n";
    const std::string alone = "[Match]\nName=enp1s0\n\n[Network]\nDHCP=yes\n";
    const std::string path = "/usr/lib/systemd/network/80-dhcp.network";
    const std::string setStatic =
        "netsh interface ip set address \"enp1s0\" static 10.0.0.5 255.255.255.0 10.0.0.1 1";
    struct TCase {
        const char* Text;
        bool Alone;
    };
    for (const TCase& c : std::initializer_list<TCase>{
             {"[Match]\nName=enp1s0\n", true},
             {"[Match]\nName=en*\n", false},
             {"[Match]\nName=enp1s0 enp2s0\n", false},
             {"[Match]\nName=enp2s0\nName=\nName=enp1s0\n", true}, // an empty Name= resets
             {"[Match]\nName=!enp2s0\n", false},
             {"[Match]\nMACAddress=52:54:00:12:34:56\n", false},
             {"[Network]\nName=enp1s0\n", false}})
        EXPECT_EQ(NetworkdMatchesOnly(c.Text, "enp1s0"), c.Alone) << c.Text;

    // A file for every en* link: a file of the bridge's own for enp1s0,
    // sorting first, holds the set; the shared one is untouched.
    TNetworkdPlan plan = NetworkdPlanFor(Checked(setStatic), path, shared, "", "");
    EXPECT_EQ(plan.Refusal, "");
    EXPECT_EQ(plan.File, "/etc/systemd/network/00-iptavix-netsh-enp1s0.network");
    EXPECT_EQ(plan.OwnFileText, "# enp1s0 alone, made by IP Tavix's netsh from " + path +
                                    "\n[Match]\nName=enp1s0\n\n[Network]\nDHCP=yes\n");
    EXPECT_TRUE(NetworkdMatchesOnly(plan.OwnFileText, "enp1s0"));
    EXPECT_EQ(plan.DropIn, "/etc/systemd/network/00-iptavix-netsh-enp1s0.network.d/"
                           "90-iptavix-netsh-address.conf");
    // A file for enp1s0 alone: its own drop-in.
    plan = NetworkdPlanFor(Checked(setStatic), path, alone, "", "");
    EXPECT_EQ(plan.File + "|" + plan.OwnFileText, path + "|");
    EXPECT_EQ(plan.DropIn, "/etc/systemd/network/80-dhcp.network.d/90-iptavix-netsh-address.conf");
    // A shared file that sorts before any the bridge could make: refused.
    plan =
        NetworkdPlanFor(Checked(setStatic), "/etc/systemd/network/00-all.network", shared, "", "");
    EXPECT_NE(plan.Refusal.find("may match other links too"), std::string::npos) << plan.Refusal;
    // DHCP asked for where the file, or the bridge's drop-in, has it.
    const std::string dhcp = "netsh interface ip set address \"enp1s0\" dhcp";
    EXPECT_TRUE(NetworkdPlanFor(Checked(dhcp), path, alone, "", "").AlreadyDhcp);
    EXPECT_FALSE(
        NetworkdPlanFor(Checked(dhcp), path, alone, "[Network]\nDHCP=no\n", "").AlreadyDhcp);
    EXPECT_TRUE(
        NetworkdPlanFor(Checked(dhcp), path, "[Match]\nName=enp1s0\n", "[Network]\nDHCP=ipv4\n", "")
            .AlreadyDhcp);
}

TEST(NetshBridge, DhcpClientsServingAnInterfaceFromPs) {
    const std::string ps =
        "    1     0 systemd         /sbin/init\n"
        "  612     1 dhclient        /sbin/dhclient -4 -pf /run/dhclient.eth0.pid -lf "
        "/var/lib/dhcp/dhclient.eth0.leases eth0\n"
        "  640     1 dhcpcd          dhcpcd: eth1 [ip4]\n"
        "  641   640 dhcpcd          dhcpcd: [privileged proxy] eth1\n"
        "  650     1 dhcpcd          dhcpcd: [manager] [ip4]\n"
        "  651   650 dhcpcd          dhcpcd: [BPF ARP] eth2 10.0.0.5\n"
        "  700     1 udhcpc          udhcpc -i eth0p -p /run/udhcpc.eth0p.pid\n"
        "  710     1 sshd            sshd: eth0 [listener]\n";
    struct TCase {
        const char* Name;
        std::vector<int> Pids;
    };
    for (const TCase& c : std::initializer_list<TCase>{
             {"eth0", {612}}, {"eth1", {640}}, {"eth2", {}}, {"eth0p", {700}}, {"eth", {}}}) {
        std::vector<int> pids;
        for (const TClientProcess& p : ClientsServing(ps, c.Name))
            pids.push_back(p.Pid);
        EXPECT_EQ(pids, c.Pids) << c.Name;
    }
    EXPECT_EQ(ClientManager({812, "dhclient", "/sbin/dhclient -pf /run/NetworkManager/x.pid eth0"}),
              "NetworkManager");
    EXPECT_EQ(ClientManager(ClientsServing(ps, "eth0")[0]), "");

    // CAP_NET_ADMIN is bit 12 of the effective set.
    EXPECT_TRUE(MayAdministerNetwork("CapInh:\t0\nCapEff:\t000001ffffffffff\n"));
    EXPECT_TRUE(MayAdministerNetwork("CapEff:\t0000000000001000\n"));
    EXPECT_FALSE(MayAdministerNetwork("CapEff:\t0000000000000fff\n"));
    EXPECT_FALSE(MayAdministerNetwork("CapPrm:\t0000000000001000\nCapEff:\t0000000000000000\n"));
    EXPECT_TRUE(MayAdministerNetwork("Name:\tcat\n"));
}
