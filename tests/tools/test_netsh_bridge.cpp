#include "tools/netsh-bridge/NetshBridge.h"

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

} // namespace

TEST(NetshBridge, InterfaceNames) {
    for (const char* good : {"eth0", "ipt0", "enp3s0f1", "wlan0.100", "br-lan", "a", "veth_x@1"})
        EXPECT_TRUE(ValidInterfaceName(good)) << good;
    for (const char* bad : {"", ".", "..", "-eth0", "eth 0", "eth0/1", "eth0:1", "sixteen-chars-xx",
                            "LAN \"x\"", "tab\tname", "caf\xc3\xa9"})
        EXPECT_FALSE(ValidInterfaceName(bad)) << bad;
}

TEST(NetshBridge, StaticAddressReplacesAddressesAndTheDefaultRoute) {
    const TNetshRequest request =
        Parsed(AddressCommand("ipt0", false, "10.77.0.10", "255.255.255.0", "10.77.0.1"));
    const std::vector<THostCommand> plan = AddressPlan(request, "/usr/sbin/ip", "");
    ASSERT_EQ(plan.size(), 5u);
    EXPECT_EQ(CommandText(plan[0]), "/usr/sbin/ip link set dev ipt0 up");
    EXPECT_EQ(CommandText(plan[1]), "/usr/sbin/ip -4 addr flush dev ipt0");
    EXPECT_EQ(CommandText(plan[2]), "/usr/sbin/ip -4 addr add 10.77.0.10/24 dev ipt0");
    EXPECT_EQ(CommandText(plan[3]), "/usr/sbin/ip -4 route flush exact 0.0.0.0/0 dev ipt0");
    EXPECT_EQ(CommandText(plan[4]),
              "/usr/sbin/ip -4 route add default via 10.77.0.1 dev ipt0 metric 1");

    // No gateway: the interface's default routes go and none comes back.
    const std::vector<THostCommand> none =
        AddressPlan(Parsed(AddressCommand("ipt0", false, "10.0.0.5", "255.0.0.0", "")), "ip", "");
    ASSERT_EQ(none.size(), 4u);
    EXPECT_EQ(CommandText(none[2]), "ip -4 addr add 10.0.0.5/8 dev ipt0");
    EXPECT_EQ(CommandText(none[3]), "ip -4 route flush exact 0.0.0.0/0 dev ipt0");
    // Tagged arguments with another metric and a /32 mask.
    const std::vector<THostCommand> tagged =
        AddressPlan(Parsed("netsh interface ip set address name=ipt0 source=static addr=1.2.3.4 "
                           "mask=255.255.255.255 gateway=1.2.3.1 gwmetric=20"),
                    "ip", "");
    EXPECT_EQ(CommandText(tagged[2]), "ip -4 addr add 1.2.3.4/32 dev ipt0");
    EXPECT_EQ(CommandText(tagged[4]), "ip -4 route add default via 1.2.3.1 dev ipt0 metric 20");
}

TEST(NetshBridge, DhcpRemovesStaticAddressesAndRunsTheClientForOneLease) {
    const TNetshRequest request = Parsed(AddressCommand("ipt0", true, "", "", ""));
    const std::vector<THostCommand> dhclient = AddressPlan(request, "ip", "/sbin/dhclient");
    ASSERT_EQ(dhclient.size(), 3u);
    EXPECT_EQ(CommandText(dhclient[1]), "ip -4 addr flush dev ipt0");
    EXPECT_EQ(CommandText(dhclient[2]), "/sbin/dhclient -4 -1 ipt0");
    EXPECT_EQ(CommandText(AddressPlan(request, "ip", "/usr/sbin/dhcpcd")[2]),
              "/usr/sbin/dhcpcd -4 -1 -t 30 ipt0");
    EXPECT_EQ(CommandText(AddressPlan(request, "ip", "/bin/udhcpc")[2]),
              "/bin/udhcpc -i ipt0 -n -q -t 10 -T 3");
    EXPECT_EQ(DhcpClients(), (std::vector<std::string>{"dhclient", "dhcpcd", "udhcpc"}));
}

TEST(NetshBridge, NameServerLinesAreReplacedAndEverythingElseKept) {
    const std::string old = "# written by hand\nsearch example.org\nnameserver 192.0.2.1\n"
                            "options edns0\nnameserver 192.0.2.2\n";
    EXPECT_EQ(WithNameServer(old, "10.77.0.53"),
              "# written by hand\nsearch example.org\nnameserver 10.77.0.53\noptions edns0\n");
    EXPECT_EQ(WithNameServer(old, ""), "# written by hand\nsearch example.org\noptions edns0\n");
    EXPECT_EQ(WithNameServer("", "8.8.8.8"), "nameserver 8.8.8.8\n");
    EXPECT_EQ(WithNameServer("search lan", "8.8.8.8"), "search lan\nnameserver 8.8.8.8\n");
    // Indented and tab-separated lines are name server lines too; a comment
    // that mentions one is not.
    EXPECT_EQ(WithNameServer("  nameserver\t1.1.1.1\n#nameserver 9.9.9.9\n", "8.8.4.4"),
              "nameserver 8.8.4.4\n#nameserver 9.9.9.9\n");
    const TNetshRequest dns = Parsed(DnsCommand("ipt0", false, "10.77.0.53"));
    EXPECT_EQ(CommandText(ResolvectlPlan(dns, "/usr/bin/resolvectl")),
              "/usr/bin/resolvectl dns ipt0 10.77.0.53");
    EXPECT_EQ(CommandText(ResolvectlPlan(Parsed(DnsCommand("ipt0", false, "")), "resolvectl")),
              "resolvectl dns ipt0 \"\"");
}
