#include "activation/NetshCommand.h"
#include "base/AddressText.h"
#include "base/ChildProcess.h"
#include "base/SysUtils.h"
#include "activation/Activation.h"
#include "activation/ActivationCheck.h"
#include "activation/ApplyGuards.h"
#include "activation/ExtraAddresses.h"

#include <gtest/gtest.h>

#include <functional>

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
    EXPECT_EQ(AddAddressCommand("LAN", "10.1.0.5", "255.255.0.0"),
              "netsh interface ip add address \"LAN\" 10.1.0.5 255.255.0.0");
    EXPECT_EQ(DeleteAddressCommand("LAN", "10.1.0.5"),
              "netsh interface ip delete address \"LAN\" 10.1.0.5");
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

    r = Parsed(AddAddressCommand("LAN 2", "10.1.0.5", "255.255.0.0"));
    EXPECT_EQ(r.Kind, TNetshRequest::TKind::AddAddress);
    EXPECT_EQ(r.Name + " " + r.Address + " " + r.Mask, "LAN 2 10.1.0.5 255.255.0.0");
    r = Parsed(DeleteAddressCommand("LAN 2", "10.1.0.5"));
    EXPECT_EQ(r.Kind, TNetshRequest::TKind::DeleteAddress);
    EXPECT_EQ(r.Name + " " + r.Address + " " + r.Mask, "LAN 2 10.1.0.5 ");
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
    refused("interface ip add address LAN 10.0.0.1"); // no mask
    refused("interface ip add address LAN 10.0.0.1 255.0.255.0");
    refused("interface ip add address LAN 10.0.0.1 255.0.0.0 10.0.0.9"); // no gateway taken
    refused("interface ip delete address LAN");                          // no address
    refused("interface ip delete address LAN 10.0.0.1 255.0.0.0");
    refused("interface ip delete dns LAN 10.0.0.1");
    refused("interface ip add dns LAN");      // no address
    refused("interface ip add dns LAN none"); // "none" is no server to add
    refused("interface ip add dns LAN 1.1.1.1 index=0");
    refused("interface ip add dns LAN 1.1.1.1 index=x");
}

namespace {
TIPSetValues Static(const char* address, const char* mask, const char* gateway = "",
                    const char* dns = "", const char* dns2 = "") {
    TIPSetValues set;
    set.Name = "Lab";
    set.Connection = "lan0";
    set.Address = address;
    set.Mask = mask;
    set.Gateway = gateway;
    set.Dns = dns;
    set.Dns2 = dns2;
    return set;
}
} // namespace

TEST(ActivationRules, SetsThatCannotWorkAreRefusedNamingTheField) {
    struct Case {
        TIPSetValues Set;
        const char* Field; // "" when the set may run
        const char* Words; // found in the refusal
    } cases[] = {
        {Static("192.168.1.10", "255.255.255.0", "192.168.1.1", "8.8.8.8", "1.1.1.1"), "", ""},
        {Static("10.0.0.1", "255.255.255.255"), "", ""}, // /32: no subnet edges
        {Static("10.0.0.0", "255.255.255.254"), "", ""}, // /31: both ends are hosts
        {Static("0.0.0.0", "0.0.0.0", "0.0.0.0", "0.0.0.0"), "subnet mask", "0.0.0.0"},
        {Static("0.0.0.0", "255.0.0.0"), "IP address", "0.0.0.0/8"},
        {Static("0.1.2.3", "255.255.0.0"), "IP address", "0.0.0.0/8"},
        {Static("127.0.0.5", "255.0.0.0"), "IP address", "loopback"},
        {Static("224.0.0.1", "255.255.255.0"), "IP address", "multicast"},
        {Static("255.255.255.255", "255.255.255.0"), "IP address", "multicast"},
        {Static("192.168.1.0", "255.255.255.0"), "IP address",
         "network address of its subnet 192.168.1.0/24"},
        {Static("192.168.1.255", "255.255.255.0"), "IP address",
         "broadcast address of its subnet 192.168.1.0/24"},
        {Static("10.0.0.3", "255.255.255.252"), "IP address", "broadcast"},
        {Static("192.168.001.010", "255.255.255.000", "192.168.1.10"), "gateway",
         "the IP address itself"},
        {Static("10.0.0.1", "255.0.255.0"), "subnet mask", "not contiguous"},
        {Static("10.0.0.1", "255.0.0.0", "0.0.0.0"), "gateway", "0.0.0.0"},
        {Static("10.0.0.1", "255.0.0.0", "239.1.1.1"), "gateway", "multicast"},
        {Static("10.0.0.1", "255.0.0.0", "", "0.0.0.0"), "DNS server", "0.0.0.0"},
        {Static("10.0.0.1", "255.0.0.0", "", "10.0.0.2", "240.0.0.1"), "second DNS server",
         "multicast"},
        {Static("10.0.0.1", "255.0.0.0", "", "10.0.0.2 & x"), "DNS server", "not a valid address"},
    };
    for (const Case& c : cases) {
        std::string field;
        const std::string refusal = SetAddressRefusal(c.Set, &field);
        EXPECT_EQ(field, c.Field) << c.Set.Address << " " << c.Set.Mask << ": " << refusal;
        EXPECT_NE(refusal.find(c.Words), std::string::npos) << refusal;
        EXPECT_EQ(ActivationRefusal(c.Set).empty(), refusal.empty()) << refusal;
    }
    // A DHCP set's fields are not used: 0.0.0.0 everywhere is fine there.
    TIPSetValues dhcp = Static("0.0.0.0", "0.0.0.0", "0.0.0.0", "0.0.0.0");
    dhcp.Dhcp = true;
    EXPECT_EQ(ActivationRefusal(dhcp), "");
    EXPECT_EQ(ActivationRefusal(Static("0.0.0.0", "255.0.0.0")),
              "The IP address 0.0.0.0 is in 0.0.0.0/8, which names no host. Edit the set and "
              "correct it");

    EXPECT_TRUE(GatewayOutsideSubnet(Static("192.168.1.10", "255.255.255.0", "192.168.2.1")));
    EXPECT_FALSE(GatewayOutsideSubnet(Static("192.168.1.10", "255.255.0.0", "192.168.2.1")));
    EXPECT_FALSE(GatewayOutsideSubnet(Static("192.168.1.10", "255.255.255.0")));
}

TEST(ExtraAddresses, EachPairFollowsTheAddressRulesOnceAndNeverRepeatsTheAddress) {
    struct Case {
        const char* Stored;
        const char* Words; // found in the refusal; "" when the set may run
    } cases[] = {
        {"", ""},
        {"10.1.0.5/255.255.0.0; 192.168.1.50/255.255.255.0", ""},
        {"10.1.0.5/255.255.0.0;", "not a list of address/mask pairs"},
        {"10.1.0.5 255.255.0.0", "not a list of address/mask pairs"},
        {"10.1.0.5/24", "not a list of address/mask pairs"},
        {"10.0.0.1/255.0.0.0", "the set's IP address itself"},
        {"010.000.000.001/255.0.0.0", "the set's IP address itself"},
        {"10.1.0.5/255.255.0.0;10.1.0.5/255.255.255.0", "10.1.0.5 is in the list already"},
        {"10.1.0.0/255.255.0.0", "The extra address 10.1.0.0 is the network address"},
        {"127.0.0.2/255.0.0.0", "The extra address 127.0.0.2 is a loopback"},
        {"10.1.0.5/255.0.255.0", "The extra address's subnet mask 255.0.255.0 is not contiguous"},
        {"1.0.0.1/255.0.0.0;1.0.0.2/255.0.0.0;1.0.0.3/255.0.0.0;1.0.0.4/255.0.0.0;"
         "1.0.0.5/255.0.0.0;1.0.0.6/255.0.0.0;1.0.0.7/255.0.0.0;1.0.0.8/255.0.0.0",
         ""},
        {"1.0.0.1/255.0.0.0;1.0.0.2/255.0.0.0;1.0.0.3/255.0.0.0;1.0.0.4/255.0.0.0;"
         "1.0.0.5/255.0.0.0;1.0.0.6/255.0.0.0;1.0.0.7/255.0.0.0;1.0.0.8/255.0.0.0;"
         "1.0.0.9/255.0.0.0",
         "9 extra addresses; at most 8"},
    };
    for (const Case& c : cases) {
        TIPSetValues set = Static("10.0.0.1", "255.0.0.0");
        set.ExtraAddresses = c.Stored;
        std::string field;
        const std::string refusal = SetAddressRefusal(set, &field);
        if (*c.Words == 0) {
            EXPECT_EQ(refusal, "") << c.Stored;
            continue;
        }
        EXPECT_EQ(field, "extra addresses") << c.Stored;
        EXPECT_NE(refusal.find(c.Words), std::string::npos) << c.Stored << ": " << refusal;
        // A DHCP set's extra addresses are not used.
        set.Dhcp = true;
        EXPECT_EQ(ActivationRefusal(set), "") << c.Stored;
    }
}

TEST(ExtraAddresses, OneAddLineEachRightAfterTheAddressLine) {
    TIPSetValues set = Static("10.0.0.1", "255.0.0.0", "", "10.0.0.53", "10.0.0.54");
    set.Connection = "LAN";
    set.ExtraAddresses = "010.1.0.5/255.255.0.0;192.168.1.50/255.255.255.0";
    std::vector<std::string> lines;
    for (const TActivationStep& step : ActivationSteps(set))
        lines.push_back(step.Command);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "netsh interface ip set address \"LAN\"  static 10.0.0.1 255.0.0.0 none",
                         "netsh interface ip add address \"LAN\" 10.1.0.5 255.255.0.0",
                         "netsh interface ip add address \"LAN\" 192.168.1.50 255.255.255.0",
                         "netsh interface ip set dns \"LAN\"  static 10.0.0.53 primary",
                         "netsh interface ip add dns \"LAN\" 10.0.0.54 index=2"}));
    set.Dhcp = true;
    EXPECT_EQ(ActivationSteps(set).size(), 2u);
}

TEST(ActivationRules, CommandLinesCarryTheDecimalNumbersNotTheStoredText) {
    const std::vector<TActivationStep> steps = ActivationSteps(
        Static("192.168.001.010", "255.255.255.000", "192.168.001.001", "010.0.0.9"));
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(
        steps[0].Command,
        "netsh interface ip set address \"lan0\"  static 192.168.1.10 255.255.255.0 192.168.1.1 1");
    EXPECT_EQ(steps[1].Command, "netsh interface ip set dns \"lan0\"  static 10.0.0.9 primary");
    EXPECT_EQ(NormalizedAddress("not an address"), "not an address");
}

TEST(ActivationRules, FailureTextNamesEachFailedStepWithNetshsLines) {
    std::vector<TActivationStep> steps =
        ActivationSteps(Static("10.0.0.1", "255.0.0.0", "", "10.0.0.53", "10.0.0.54"));
    ASSERT_EQ(steps.size(), 3u);
    steps[0].Started = true;
    steps[0].Output = {"ignored: this run succeeded"};
    steps[1].Started = true;
    steps[1].TimedOut = true;
    steps[1].Output = {"partly done"};
    steps[2].NotRun = true;
    EXPECT_EQ(ActivationFailureText("lan0", steps),
              "The IP set could not be applied to the connection \"lan0\".\r\n\r\n"
              "Setting the DNS server: netsh had not finished when the apply's time limit of 60 "
              "seconds passed, and was stopped.\r\n"
              "    partly done\r\n"
              "Setting the second DNS server: not run.");
}

TEST(ActivationRules, TheAdapterDecidesWhateverNetshsExitCodes) {
    TIPSetValues dhcp = Static("10.0.0.1", "255.0.0.0");
    dhcp.Dhcp = true;
    const TIPSetValues fixed = Static("10.0.0.1", "255.0.0.0");
    std::vector<TActivationStep> clean = ActivationSteps(dhcp);
    for (TActivationStep& step : clean)
        step.Started = true;
    std::vector<TActivationStep> failed = clean;
    failed[0].ExitCode = 1;
    failed[0].Output = {"DHCP is already enabled on this interface."};
    const TCheckResult inEffect{TCheckOutcome::InEffect, ""},
        notShown{TCheckOutcome::NotYet, "it shows DHCP off"},
        noLink{TCheckOutcome::NoLink, "takes effect when the connection connects"};
    struct Case {
        const char* What;
        const TIPSetValues& Set;
        const std::vector<TActivationStep>& Steps;
        TCheckResult Check;
        bool Ok;
        const char* Told; // "" for nothing told
    } cases[] = {
        {"clean and shown", dhcp, clean, inEffect, true, ""},
        {"failed but shown", dhcp, failed, inEffect, true, ""},
        {"failed, not shown", dhcp, failed, notShown, false, "netsh ended with exit code 1"},
        {"failed, no link, DHCP shown on", dhcp, failed, noLink, true, "takes effect"},
        {"failed, no link, static: nothing to see", fixed, failed, noLink, false,
         "DHCP is already enabled"},
        {"clean, not shown", dhcp, clean, notShown, false, "it shows DHCP off"},
        {"clean, no link", fixed, clean, noLink, true, "takes effect"},
    };
    for (const Case& c : cases) {
        const TApplyOutcome outcome = DecideApply(c.Set, c.Steps, c.Check);
        EXPECT_EQ(outcome.Ok, c.Ok) << c.What;
        if (*c.Told == 0)
            EXPECT_EQ(outcome.Message, "") << c.What;
        else
            EXPECT_NE(outcome.Message.find(c.Told), std::string::npos)
                << c.What << ": " << outcome.Message;
    }
}

TEST(ActivationRules, ConnectionNamesNetshWouldReadOtherwiseAreRefused) {
    struct Case {
        const char* Name;
        const char* Told; // "" when the name may run
    } cases[] = {
        {"LAN 2", ""},
        {"\xD0\x9F\xD0\xBE\xD0\xB4\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87\xD0\xB5\xD0\xBD\xD0\xB8\xD0"
         "\xB5 2",
         ""}, // Cyrillic, as UTF-8
        {"name=eth1", "\"name=eth1\" contains an equals sign"},
        {"LAN\" 2", "contains a double quote"},
        {"LAN\tB", "\"LAN?B\" contains a control character"},
        {"LAN\x7F", "contains a control character"},
        {"LAN?", "a character this system's code page cannot hold"},
    };
    for (const Case& c : cases) {
        const std::string told = ConnectionNameProblem(c.Name);
        if (*c.Told == 0)
            EXPECT_EQ(told, "") << c.Name;
        else
            EXPECT_NE(told.find(c.Told), std::string::npos) << told;
        TIPSetValues set = Static("10.0.0.1", "255.0.0.0");
        set.Connection = c.Name;
        EXPECT_EQ(ActivationRefusal(set), told) << c.Name;
    }
    // A full-width two: where the code page has none, never the plain "2" of
    // another connection.
    const std::string narrowed = WideToAnsi(L"Ethernet \xFF12");
    if (GetACP() != CP_UTF8) {
        EXPECT_EQ(narrowed, "Ethernet ?");
        EXPECT_NE(ConnectionNameProblem(narrowed), "");
    }
}

// A test may shorten the time limit, never lengthen it or turn it off.
TEST(ActivationRules, TheTimeLimitIsShortenedOnlyByAUsableValue) {
    const struct {
        const char* Asked;
        unsigned Limit;
    } cases[] = {{nullptr, 60000},  {"8000", 8000},  {"0", 60000},
                 {"120000", 60000}, {"soon", 60000}, {"99999999999999999999", 60000}};
    for (const auto& c : cases) {
        SetEnvironmentVariableA("IPTAVIX_NETSH_TIME_LIMIT_MS", c.Asked);
        EXPECT_EQ(NetshTimeLimitMs(), c.Limit) << (c.Asked ? c.Asked : "(unset)");
    }
    SetEnvironmentVariableA("IPTAVIX_NETSH_TIME_LIMIT_MS", nullptr);
}

TEST(ActivationCheck, TheAdapterShowsTheSetOrTellsWhatItShowsInstead) {
    TAdapterView lab;
    lab.Addresses = {{"10.55.0.7", "255.255.255.0"}};
    lab.Gateways = {"10.55.0.1"};
    lab.DnsServers = {"10.55.0.53", "10.55.0.54"};
    lab.Dhcp = true; // Wine says so for every interface: not part of the static check
    const TIPSetValues set =
        Static("10.55.0.7", "255.255.255.0", "10.55.0.1", "10.55.0.53", "10.55.0.54");
    TIPSetValues withExtra = set;
    withExtra.ExtraAddresses = "10.1.0.5/255.255.0.0;192.0.2.5/255.255.255.0";
    struct Case {
        const char* What;
        TIPSetValues Set;
        std::function<void(TAdapterView&)> Change;
        TCheckOutcome Outcome;
        const char* Told;
    } cases[] = {
        {"all shown", set, [](TAdapterView&) {}, TCheckOutcome::InEffect, ""},
        {"leading zeros",
         Static("010.55.0.007", "255.255.255.000", "10.55.0.01", "10.55.0.53", "10.55.0.54"),
         [](TAdapterView&) {}, TCheckOutcome::InEffect, ""},
        {"an address the set does not hold", set,
         [](TAdapterView& a) {
             a.Addresses.insert(a.Addresses.begin(), {"192.0.2.5", "255.255.255.0"});
         },
         TCheckOutcome::NotYet,
         "it still shows the address 192.0.2.5/255.255.255.0 as well, which the set does not "
         "hold."},
        {"every extra address", withExtra,
         [](TAdapterView& a) {
             a.Addresses.insert(a.Addresses.begin(), {"192.0.2.5", "255.255.255.0"});
             a.Addresses.push_back({"10.1.0.5", "255.255.0.0"});
         },
         TCheckOutcome::InEffect, ""},
        {"an extra address missing", withExtra,
         [](TAdapterView& a) {
             a.Addresses.push_back({"10.1.0.5", "255.255.0.0"});
         },
         TCheckOutcome::NotYet,
         "it shows 10.55.0.7/255.255.255.0, 10.1.0.5/255.255.0.0, without the extra address "
         "192.0.2.5/255.255.255.0."},
        {"an extra address with another mask", withExtra,
         [](TAdapterView& a) {
             a.Addresses.push_back({"10.1.0.5", "255.255.255.0"});
             a.Addresses.push_back({"192.0.2.5", "255.255.255.0"});
         },
         TCheckOutcome::NotYet, "without the extra address 10.1.0.5/255.255.0.0."},
        {"other address", set,
         [](TAdapterView& a) {
             a.Addresses = {{"10.66.0.5", "255.255.255.0"}};
         },
         TCheckOutcome::NotYet,
         "The IP set \"Lab\" is not in effect on the connection \"lan0\": it shows "
         "10.66.0.5/255.255.255.0, not 10.55.0.7/255.255.255.0."},
        {"other mask", set,
         [](TAdapterView& a) {
             a.Addresses = {{"10.55.0.7", "255.255.0.0"}};
         },
         TCheckOutcome::NotYet, "it shows 10.55.0.7/255.255.0.0, not 10.55.0.7/255.255.255.0."},
        {"no gateway", set, [](TAdapterView& a) { a.Gateways = {""}; }, TCheckOutcome::NotYet,
         "it shows the gateway none, not 10.55.0.1."},
        {"old gateway left beside the new", set,
         [](TAdapterView& a) {
             a.Gateways = {"10.0.0.1", "10.55.0.1"};
         },
         TCheckOutcome::NotYet, ": it still shows the default gateway 10.0.0.1 as well."},
        {"gateway where the set has none", Static("10.55.0.7", "255.255.255.0"),
         [](TAdapterView& a) {
             a.Gateways = {"10.55.0.1", "10.55.0.2"};
             a.DnsServers = {};
         },
         TCheckOutcome::NotYet,
         "it still shows the default gateways 10.55.0.1, 10.55.0.2, and the set has none."},
        {"address taken elsewhere", set,
         [](TAdapterView& a) {
             a.Addresses = {{"169.254.7.8", "255.255.0.0"}};
         },
         TCheckOutcome::NotYet,
         "it shows 169.254.7.8/255.255.0.0, not 10.55.0.7/255.255.255.0 "
         "(Windows takes an address of 169.254.0.0/16 when the one it was "
         "given is in use by another computer)."},
        {"DNS second", set,
         [](TAdapterView& a) {
             a.DnsServers = {"10.55.0.54", "10.55.0.53"};
         },
         TCheckOutcome::NotYet,
         "it shows the DNS servers 10.55.0.54, 10.55.0.53, not 10.55.0.53 first."},
        {"second DNS missing", set, [](TAdapterView& a) { a.DnsServers = {"10.55.0.53"}; },
         TCheckOutcome::NotYet, "not 10.55.0.54 second."},
        {"DNS behind a stub that cannot be read", set,
         [](TAdapterView& a) {
             a.DnsServers = {};
             a.DnsUnknown = true;
         },
         TCheckOutcome::InEffect, "but its DNS servers could not be checked"},
        {"no link", set, [](TAdapterView& a) { a.OperUp = false; }, TCheckOutcome::NoLink,
         "is stored in the connection \"lan0\""},
    };
    for (const Case& c : cases) {
        TAdapterView adapter = lab;
        c.Change(adapter);
        const TCheckResult result = CheckActivation(c.Set, &adapter);
        EXPECT_EQ(result.Outcome, c.Outcome) << c.What;
        EXPECT_NE(result.Text.find(c.Told), std::string::npos) << c.What << ": " << result.Text;
        if (c.Outcome == TCheckOutcome::InEffect && !*c.Told) {
            EXPECT_EQ(result.Text, "") << c.What;
        }
    }
    EXPECT_EQ(CheckActivation(set, nullptr).Outcome, TCheckOutcome::NoAdapter);

    TIPSetValues dhcp = set;
    dhcp.Dhcp = true;
    struct Lease {
        bool Dhcp;
        const char* Address;
        TCheckOutcome Outcome;
        const char* Told;
        bool Link = true;
    } leases[] = {
        {true, "10.77.0.120", TCheckOutcome::InEffect, ""},
        {true, "169.254.3.4", TCheckOutcome::NotYet,
         "no DHCP server answered: it shows the automatic address 169.254.3.4"},
        {true, "0.0.0.0", TCheckOutcome::NotYet, "no address was leased within 30 seconds"},
        {false, "10.77.0.120", TCheckOutcome::NotYet, "shows DHCP off"},
        // Cable out: netsh says "already enabled" either way; the switch tells.
        {true, "0.0.0.0", TCheckOutcome::NoLink, "takes effect when the connection connects",
         false},
        {false, "10.77.0.120", TCheckOutcome::NotYet, "shows DHCP off", false},
    };
    for (const Lease& l : leases) {
        TAdapterView adapter;
        adapter.Dhcp = l.Dhcp;
        adapter.OperUp = l.Link;
        adapter.Addresses = {{l.Address, "255.255.0.0"}};
        const TCheckResult result = CheckActivation(dhcp, &adapter);
        EXPECT_EQ(result.Outcome, l.Outcome) << l.Address;
        EXPECT_NE(result.Text.find(l.Told), std::string::npos) << result.Text;
    }
}

TEST(ActivationCheck, TheSetInEffectIsTheFirstOfItsConnectionTheAdapterShows) {
    TAdapterView lan;
    lan.Addresses = {{"10.0.0.2", "255.255.255.0"}};
    lan.Gateways = {"10.0.0.1"};
    auto named = [](TIPSetValues set, const char* name, const char* connection) {
        set.Name = name;
        set.Connection = connection;
        return set;
    };
    const std::vector<TIPSetValues> sets = {
        named(Static("10.0.0.2", "255.255.255.0", "10.0.0.1"), "Elsewhere", "WLAN"),
        named(Static("10.0.0.2", "255.255.255.0"), "No gateway", "LAN"),
        named(Static("10.0.0.2", "255.255.255.0", "10.0.0.1"), "Office", "lan"),
        named(Static("10.0.0.2", "255.255.255.0", "10.0.0.1"), "Office again", "LAN"),
    };
    const TIPSetValues* shown = SetInEffect(sets, "LAN", lan);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->Name, "Office");
    lan.Gateways.push_back("10.0.0.254"); // a leftover gateway: no set is in effect
    EXPECT_EQ(SetInEffect(sets, "LAN", lan), nullptr);
}

TEST(ChildOutput, KeepsTheLastNonEmptyLinesOfWhatArrivesInPieces) {
    TLineTail tail(3);
    for (const char* chunk : {"one\r\ntw", "o\r\n\r\n   \r\nthree\nfour", "\r\nfi", "ve"})
        tail.Add(chunk);
    EXPECT_EQ(tail.Lines(), (std::vector<std::string>{"three", "four", "five"}));
    TLineTail endless(2);
    endless.Add(std::string(100000, 'x'));
    ASSERT_EQ(endless.Lines().size(), 1u);
    EXPECT_LT(endless.Lines()[0].size(), 300u);
}

TEST(ChildOutput, NetshsWordsAreDecodedFromTheConsolesCodePage) {
    struct Case {
        UINT CodePage;
        const char* Printed;
        const char* Utf8;
    } cases[] = {
        // "Ошибка" (error) in 866, as a Russian Windows' netsh prints it into a pipe
        {866, "\x8E\xE8\xA8\xA1\xAA\xA0", "\xD0\x9E\xD1\x88\xD0\xB8\xD0\xB1\xD0\xBA\xD0\xB0"},
        // "Schnittstelle für" in 850: the umlaut is 0x81 there, 0xFC in 1252
        {850, "f\x81r", "f\xC3\xBCr"},
        {437, "plain", "plain"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RecodedText(c.Printed, c.CodePage, CP_UTF8), c.Utf8) << c.CodePage;
}

TEST(ApplyLock, OneApplyAtATimeTheSecondWaitsThenGivesUp) {
    HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    struct Holder {
        HANDLE Taken, Done;
    } holder{taken, done};
    // Another apply, as a thread of its own: the mutex belongs to a thread.
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](void* arg) -> DWORD {
            auto* h = static_cast<Holder*>(arg);
            const TApplyLock lock(0, nullptr);
            SetEvent(h->Taken);
            WaitForSingleObject(h->Done, 10000);
            return lock.Held() ? 0 : 1;
        },
        &holder, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(taken, 10000), WAIT_OBJECT_0);
    int pauses = 0;
    {
        const TApplyLock second(300, [&](DWORD ms) {
            ++pauses;
            Sleep(ms);
        });
        EXPECT_FALSE(second.Held());
        EXPECT_GT(pauses, 0); // the waiting side served its window meanwhile
    }
    SetEvent(done);
    WaitForSingleObject(thread, 10000);
    DWORD firstHeld = 1;
    GetExitCodeThread(thread, &firstHeld);
    EXPECT_EQ(firstHeld, 0u);
    {
        const TApplyLock after(300, nullptr);
        EXPECT_TRUE(after.Held());
    }
    for (HANDLE h : {thread, taken, done})
        CloseHandle(h);
}
