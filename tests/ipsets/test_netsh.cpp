#include "ipsets/NetshCommand.h"
#include "base/AddressText.h"

#include <gtest/gtest.h>

namespace {

// A built line as the bridge receives it: split, "netsh" dropped, parsed.
TNetshRequest Parsed(const std::string& line, std::string* error = nullptr) {
    std::vector<std::string> args = SplitCommandLine(line);
    EXPECT_FALSE(args.empty());
    if (!args.empty()) args.erase(args.begin());
    TNetshRequest request;
    std::string why;
    bool ok = ParseNetshArguments(args, request, why);
    if (error)
        *error = ok ? std::string() : why;
    else
        EXPECT_TRUE(ok) << line << ": " << why;
    return request;
}

std::string Refusal(const std::string& arguments) {
    std::string error;
    Parsed("netsh " + arguments, &error);
    return error;
}

} // namespace

TEST(NetshCommands, AreBuiltCharacterForCharacter) {
    EXPECT_EQ(
        AddressCommand("LAN", false, "192.168.1.10", "255.255.255.0", "192.168.1.1"),
        "netsh interface ip set address \"LAN\"  static 192.168.1.10 255.255.255.0 192.168.1.1 1");
    EXPECT_EQ(DnsCommand("LAN", false, "192.168.1.1"),
              "netsh interface ip set dns \"LAN\"  static 192.168.1.1 primary");
    EXPECT_EQ(AddressCommand("LAN 2", true, "1.2.3.4", "x", "y"),
              "netsh interface ip set address \"LAN 2\"  dhcp ");
    EXPECT_EQ(DnsCommand("LAN 2", true, "1.2.3.4"), "netsh interface ip set dns \"LAN 2\"  dhcp ");
    // Empty fields are said as none: netsh reads its arguments by position.
    EXPECT_EQ(AddressCommand("LAN", false, "10.0.0.2", "255.0.0.0", ""),
              "netsh interface ip set address \"LAN\"  static 10.0.0.2 255.0.0.0 none");
    EXPECT_EQ(DnsCommand("LAN", false, ""),
              "netsh interface ip set dns \"LAN\"  static none primary");
}

TEST(AddressText, OneStrictRuleForDottedQuads) {
    for (const char* good : {"0.0.0.0", "192.168.1.10", "255.255.255.255", "192.168.001.010"})
        EXPECT_TRUE(IsDottedQuad(good)) << good;
    for (const char* bad : {"", "...", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "1.2.3.4 ",
                            " 1.2.3.4", "1. 7.3.4", "1.+2.3.4", "1.2.3.4;x", "a.b.c.d",
                            "1.2.3.0004", "-1.2.3.4", "1.2.3.4\"", "1.2.3.99999999999"})
        EXPECT_FALSE(IsDottedQuad(bad)) << bad;
    TParsedIP p = ParseIPText("192.168.001.010");
    EXPECT_EQ(p.Parts, (std::array<int, 4>{192, 168, 1, 10}));
    EXPECT_EQ(ParseIPText("256.1.1.1").Parts[0], 256);
    EXPECT_EQ(ParseIPText("1.0007.1.1").Parts[1], 256);
    EXPECT_EQ(ParseIPText("1.2.3.4.5").DotCount, 4);
    EXPECT_EQ(ParseIPText("1.2.3").Parts, (std::array<int, 4>{256, 256, 256, 256}));
}

TEST(AddressText, MaskPrefixLengths) {
    EXPECT_EQ(MaskPrefixLength("255.255.255.0"), 24);
    EXPECT_EQ(MaskPrefixLength("255.255.255.255"), 32);
    EXPECT_EQ(MaskPrefixLength("0.0.0.0"), 0);
    EXPECT_EQ(MaskPrefixLength("255.255.128.0"), 17);
    EXPECT_EQ(MaskPrefixLength("255.0.255.0"), -1);
    EXPECT_EQ(MaskPrefixLength("255.255.255.1"), -1);
    EXPECT_EQ(MaskPrefixLength("255.255.255"), -1);
}

TEST(NetshGrammar, EveryLineTheProgramBuildsParsesBackToItsFields) {
    TNetshRequest r =
        Parsed(AddressCommand("LAN 2", false, "192.168.1.10", "255.255.255.0", "192.168.1.1"));
    EXPECT_EQ(r.Kind, TNetshRequest::TKind::Address);
    EXPECT_EQ(r.Name, "LAN 2");
    EXPECT_FALSE(r.Dhcp);
    EXPECT_EQ(r.Address, "192.168.1.10");
    EXPECT_EQ(r.Mask, "255.255.255.0");
    EXPECT_EQ(r.Gateway, "192.168.1.1");
    EXPECT_EQ(r.GatewayMetric, 1);

    r = Parsed(AddressCommand("eth0", false, "10.0.0.2", "255.0.0.0", ""));
    EXPECT_EQ(r.Gateway, "");
    EXPECT_EQ(r.Address, "10.0.0.2");
    r = Parsed(AddressCommand("eth0", true, "", "", ""));
    EXPECT_TRUE(r.Dhcp);
    EXPECT_EQ(r.Address, "");

    r = Parsed(DnsCommand("Wi-Fi", false, "192.168.1.1"));
    EXPECT_EQ(r.Kind, TNetshRequest::TKind::Dns);
    EXPECT_EQ(r.Name, "Wi-Fi");
    EXPECT_EQ(r.Address, "192.168.1.1");
    EXPECT_EQ(r.Register, "primary");
    r = Parsed(DnsCommand("Wi-Fi", false, ""));
    EXPECT_FALSE(r.Dhcp);
    EXPECT_EQ(r.Address, "");
    r = Parsed(DnsCommand("Wi-Fi", true, ""));
    EXPECT_TRUE(r.Dhcp);

    EXPECT_EQ(AddDnsCommand("LAN", "10.0.0.54", 2),
              "netsh interface ip add dns \"LAN\" 10.0.0.54 index=2");
    r = Parsed(AddDnsCommand("LAN 2", "10.0.0.54", 2));
    EXPECT_EQ(r.Kind, TNetshRequest::TKind::AddDns);
    EXPECT_EQ(r.Name, "LAN 2");
    EXPECT_EQ(r.Address, "10.0.0.54");
    EXPECT_EQ(r.Index, 2);
}

TEST(NetshGrammar, TaggedFormsAliasesAndCase) {
    TNetshRequest r = Parsed("netsh INTERFACE IPv4 Set Address name=\"LAN\" source=STATIC "
                             "address=10.1.2.3 mask=255.255.0.0 gateway=10.1.0.1 gwmetric=5");
    EXPECT_EQ(r.Name, "LAN");
    EXPECT_EQ(r.Address, "10.1.2.3");
    EXPECT_EQ(r.Mask, "255.255.0.0");
    EXPECT_EQ(r.Gateway, "10.1.0.1");
    EXPECT_EQ(r.GatewayMetric, 5);
    // Positional first, tags after, in any order.
    r = Parsed(
        "netsh interface ip set address LAN static mask=255.0.0.0 addr=10.0.0.9 gateway=none");
    EXPECT_EQ(r.Address, "10.0.0.9");
    EXPECT_EQ(r.Gateway, "");
    r = Parsed("netsh int ip set dns name=LAN source=static addr=none register=NONE");
    EXPECT_EQ(r.Address, "");
    EXPECT_EQ(r.Register, "none");
    r = Parsed("netsh interface ip set dnsservers LAN dhcp");
    EXPECT_TRUE(r.Dhcp);
}

TEST(NetshGrammar, WindowsQuotingRules) {
    EXPECT_EQ(SplitCommandLine("netsh a \"b c\"  d"),
              (std::vector<std::string>{"netsh", "a", "b c", "d"}));
    EXPECT_EQ(SplitCommandLine("x \"a\"\"b\" \\\\\"c d\" \\\"e \\\\f"),
              (std::vector<std::string>{"x", "a\"b", "\\c d", "\"e", "\\\\f"}));
    EXPECT_EQ(SplitCommandLine("x na\"me with\"space \"\""),
              (std::vector<std::string>{"x", "name withspace", ""}));
    EXPECT_EQ(SplitCommandLine("   "), std::vector<std::string>{});
}

TEST(NetshGrammar, RefusesWhatNetshWouldRefuse) {
    auto refused = [](const std::string& args) {
        std::string why = Refusal(args);
        EXPECT_FALSE(why.empty()) << args;
        return why;
    };
    EXPECT_NE(refused("interface ip show config").find("was not found"), std::string::npos);
    EXPECT_NE(refused("").find("was not found"), std::string::npos);
    refused("interface ip set address LAN");                             // no source
    refused("interface ip set address LAN static 10.0.0.1");             // no mask
    refused("interface ip set address LAN static 10.0.0.256 255.0.0.0"); // bad address
    EXPECT_NE(
        refused("interface ip set address LAN static 10.0.0.1 255.0.255.0").find("subnet mask"),
        std::string::npos);
    refused("interface ip set address LAN static 10.0.0.1 255.0.0.0  1"); // "1" is no gateway
    refused("interface ip set address LAN static 10.0.0.1 255.0.0.0 none 1");
    refused("interface ip set address LAN static 10.0.0.1 255.0.0.0 10.0.0.9 x");
    refused("interface ip set address LAN static 10.0.0.1 255.0.0.0 10.0.0.9 1 extra");
    refused("interface ip set address LAN dhcp 10.0.0.1");
    refused("interface ip set address LAN bootp");
    refused("interface ip set address \"\" dhcp");
    refused("interface ip set address name=LAN name=WAN source=dhcp");
    refused("interface ip set address LAN dhcp colour=red");
    refused("interface ip set dns LAN static primary"); // "primary" is no address
    refused("interface ip set dns LAN static 1.1.1.1 secondary");
    refused("interface ip set dns LAN dhcp 1.1.1.1");
    refused("interface ip set dns LAN static mask=255.0.0.0");
    refused("interface ip add address LAN 10.0.0.1 255.0.0.0");
    refused("interface ip add dns LAN");      // no address
    refused("interface ip add dns LAN none"); // "none" is no server to add
    refused("interface ip add dns LAN 1.1.1.1 index=0");
    refused("interface ip add dns LAN 1.1.1.1 index=x");
}
