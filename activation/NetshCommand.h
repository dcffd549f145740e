#pragma once
// The netsh command lines of an activation: built here for the program, and
// parsed here for the bridge that carries them out on a host without netsh,
// so both sides read one grammar.
#include <string>
#include <vector>

// "netsh interface ip set address "NAME"  static ADDR MASK GATEWAY 1", or
// "... MASK none" when the gateway is empty; "...  dhcp " for a DHCP set.
std::string AddressCommand(const std::string& connection, bool dhcp, const std::string& address,
                           const std::string& mask, const std::string& gateway);
// "netsh interface ip set dns "NAME"  static DNS primary", with "none" for an
// empty DNS; "...  dhcp " for a DHCP set.
std::string DnsCommand(const std::string& connection, bool dhcp, const std::string& dns);

// "netsh interface ip add dns "NAME" DNS index=N": a further DNS server of a
// static set, after the two lines above (N = 2 for the second server).
std::string AddDnsCommand(const std::string& connection, const std::string& dns, int index);

// "netsh interface ip add address "NAME" ADDR MASK": one more address on the
// connection, beside those it has (an extra address of a set, after its
// "set address" line, or one added on the fly).
std::string AddAddressCommand(const std::string& connection, const std::string& address,
                              const std::string& mask);
// "netsh interface ip delete address "NAME" ADDR": that address taken off.
std::string DeleteAddressCommand(const std::string& connection, const std::string& address);

// Why netsh cannot be given this connection name, naming it, in words the
// editor, the import and the activation show; "" when it can. A double quote
// ends the quoted name early, an equals sign makes netsh read "name=eth1" as
// a tag naming ANOTHER connection, a control character cannot be typed back,
// and "?" (which Windows refuses in a connection name) is a character the
// process's code page could not hold.
std::string ConnectionNameProblem(const std::string& connection);

// The longest command line the runner takes (its buffer holds 513 characters).
constexpr size_t MaxCommandLine = 512;

// A command line split into arguments by the rules of the Windows C runtime:
// blanks separate, double quotes group, 2N backslashes before a quote give N
// and a quote, 2N+1 give N and a literal quote, "" inside quotes is a quote.
std::vector<std::string> SplitCommandLine(const std::string& line);

struct TNetshRequest {
    enum class TKind { Address, Dns, AddDns, AddAddress, DeleteAddress } Kind = TKind::Address;
    std::string Name;
    bool Dhcp = false;
    std::string Address; // "" with Dhcp; for DNS, "" means none
    std::string Mask;    // "" for DeleteAddress
    std::string Gateway; // "" means none
    int GatewayMetric = 0;
    std::string Register = "primary";
    int Index = 0; // AddDns: the server's position, 1 first; 0 when not given (last)
};

// Parses the arguments after "netsh" ("interface ip set address ...",
// "interface ip set dns ...", "interface ip add dns ...", "interface ip add
// address NAME ADDR MASK" or "interface ip delete address NAME ADDR",
// positional or name=value, keywords in any case). False with a message in netsh's manner when
// netsh would refuse it.
bool ParseNetshArguments(const std::vector<std::string>& args, TNetshRequest& request,
                         std::string& error);
