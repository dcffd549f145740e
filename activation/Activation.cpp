#include "activation/Activation.h"

#include "base/AddressText.h"
#include "base/SysUtils.h"
#include "activation/ExtraAddresses.h"
#include "activation/NetshCommand.h"

#include <windows.h>

namespace {

bool Multicast(uint32_t value) {
    return value >= 0xE0000000u; // 224.0.0.0 and up: multicast and reserved
}

// Why a gateway or DNS server address cannot be used, "" when it can.
std::string ServerProblem(const char* label, const std::string& text) {
    const uint32_t value = AddressValue(ParseIPText(text));
    const std::string shown = NormalizedAddress(text);
    if (value == 0) return Format("The %s 0.0.0.0 names no host.", label);
    if (Multicast(value))
        return Format("The %s %s is a multicast or reserved address (224.0.0.0 and up).", label,
                      shown.c_str());
    return "";
}

} // namespace

unsigned NetshTimeLimitMs() {
    return ShortenedLimit("IPTAVIX_NETSH_TIME_LIMIT_MS", 60000);
}

std::string SetAddressRefusal(const TIPSetValues& set, std::string* field) {
    if (set.Dhcp) return "";
    auto refuse = [&](const char* name, std::string text) {
        if (field) *field = name;
        return text;
    };
    const std::pair<const char*, const std::string*> fields[] = {{"IP address", &set.Address},
                                                                 {"subnet mask", &set.Mask},
                                                                 {"gateway", &set.Gateway},
                                                                 {"DNS server", &set.Dns},
                                                                 {"second DNS server", &set.Dns2}};
    for (const auto& [label, value] : fields) {
        if (value->empty() && (value == &set.Address || value == &set.Mask))
            return refuse(label, Format("This IP set has no %s.", label));
        if (!value->empty() && !IsDottedQuad(*value))
            return refuse(label,
                          Format("The %s \"%s\" is not a valid address.", label, value->c_str()));
    }
    const int prefix = MaskPrefixLength(set.Mask);
    if (prefix < 0)
        return refuse("subnet mask",
                      Format("The subnet mask %s is not contiguous: its one bits must all come "
                             "first.",
                             NormalizedAddress(set.Mask).c_str()));
    if (prefix == 0) return refuse("subnet mask", "The subnet mask 0.0.0.0 leaves no network.");

    const uint32_t address = AddressValue(ParseIPText(set.Address));
    const std::string shown = NormalizedAddress(set.Address);
    if ((address >> 24) == 0)
        return refuse("IP address", Format("The IP address %s is in 0.0.0.0/8, which names no "
                                           "host.",
                                           shown.c_str()));
    if ((address >> 24) == 127)
        return refuse("IP address", Format("The IP address %s is a loopback address "
                                           "(127.0.0.0/8).",
                                           shown.c_str()));
    if (Multicast(address))
        return refuse("IP address", Format("The IP address %s is a multicast or reserved "
                                           "address (224.0.0.0 and up).",
                                           shown.c_str()));
    // /31 and /32 have no network or broadcast address of their own.
    if (prefix <= 30) {
        const uint32_t mask = PrefixMask(prefix), host = address & ~mask;
        const std::string subnet = Format("%s/%d", DecimalAddress(address & mask).c_str(), prefix);
        if (host == 0)
            return refuse("IP address",
                          Format("The IP address %s is the network address of its subnet %s.",
                                 shown.c_str(), subnet.c_str()));
        if (host == ~mask)
            return refuse("IP address",
                          Format("The IP address %s is the broadcast address of its subnet %s.",
                                 shown.c_str(), subnet.c_str()));
    }
    if (!set.Gateway.empty()) {
        std::string problem = ServerProblem("gateway", set.Gateway);
        if (problem.empty() && AddressValue(ParseIPText(set.Gateway)) == address)
            problem = Format("The gateway %s is the IP address itself.", shown.c_str());
        if (!problem.empty()) return refuse("gateway", problem);
    }
    for (const auto& [label, value] :
         {std::pair{"DNS server", &set.Dns}, std::pair{"second DNS server", &set.Dns2}})
        if (!value->empty())
            if (std::string problem = ServerProblem(label, *value); !problem.empty())
                return refuse(label, problem);
    if (std::string problem = ExtraAddressesRefusal(set); !problem.empty())
        return refuse("extra addresses", problem);
    return "";
}

bool GatewayOutsideSubnet(const TIPSetValues& set) {
    if (set.Dhcp || set.Gateway.empty() || !IsDottedQuad(set.Address) || !IsDottedQuad(set.Gateway))
        return false;
    const int prefix = MaskPrefixLength(set.Mask);
    if (prefix < 0) return false;
    const uint32_t mask = PrefixMask(prefix);
    return (AddressValue(ParseIPText(set.Address)) & mask) !=
           (AddressValue(ParseIPText(set.Gateway)) & mask);
}

std::string ActivationRefusal(const TIPSetValues& set) {
    // Nothing runs unless the command lines mean exactly what they say.
    if (std::string problem = ConnectionNameProblem(set.Connection); !problem.empty())
        return problem;
    std::string problem = SetAddressRefusal(set);
    if (!problem.empty()) {
        if (problem.back() == '.') problem.pop_back();
        const bool missing = problem.rfind("This IP set has no ", 0) == 0;
        return problem +
               (missing ? ". Edit the set and enter it" : ". Edit the set and correct it");
    }
    // "add dns ... index=2" with no first server would make it the first.
    if (!set.Dhcp && set.Dns.empty() && !set.Dns2.empty()) {
        return "This IP set has a second DNS server but no first one. Edit the set and enter "
               "the DNS server";
    }
    for (const TActivationStep& step : ActivationSteps(set))
        if (step.Command.size() > MaxCommandLine)
            return Format("The netsh command for this IP set would be longer than %u characters. "
                          "Shorten the connection name",
                          static_cast<unsigned>(MaxCommandLine));
    return "";
}

std::vector<TActivationStep> ActivationSteps(const TIPSetValues& set) {
    // netsh reads a part with a leading zero as octal: "010" would be 8.
    const std::string address = NormalizedAddress(set.Address), mask = NormalizedAddress(set.Mask),
                      gateway = NormalizedAddress(set.Gateway), dns = NormalizedAddress(set.Dns),
                      dns2 = NormalizedAddress(set.Dns2);
    std::vector<TActivationStep> steps = {
        {"Setting the address", AddressCommand(set.Connection, set.Dhcp, address, mask, gateway)}};
    // Each extra address right after the address line, which removes the others.
    std::vector<TAddressPair> extra;
    if (!set.Dhcp && ParseExtraAddresses(set.ExtraAddresses, extra))
        for (const auto& [extraAddress, extraMask] : extra) {
            const std::string shown = NormalizedAddress(extraAddress);
            steps.push_back(
                {"Adding the address " + shown,
                 AddAddressCommand(set.Connection, shown, NormalizedAddress(extraMask))});
        }
    steps.push_back({"Setting the DNS server", DnsCommand(set.Connection, set.Dhcp, dns)});
    if (!set.Dhcp && !dns2.empty())
        steps.push_back({"Setting the second DNS server", AddDnsCommand(set.Connection, dns2, 2)});
    return steps;
}

std::string ActivationFailureText(const std::string& connection,
                                  const std::vector<TActivationStep>& steps) {
    std::string lines;
    for (const TActivationStep& step : steps) {
        if (step.NotRun)
            lines += Format("\r\n%s: not run.", step.Label.c_str());
        else if (!step.Started)
            lines += Format("\r\n%s: netsh could not be started.", step.Label.c_str());
        else if (step.TimedOut)
            lines += Format("\r\n%s: netsh had not finished when the apply's time limit of %u "
                            "seconds passed, and was stopped.",
                            step.Label.c_str(), (NetshTimeLimitMs() + 999) / 1000);
        else if (step.ExitCode != 0)
            lines += Format("\r\n%s: netsh ended with exit code %lu.", step.Label.c_str(),
                            static_cast<unsigned long>(static_cast<DWORD>(step.ExitCode)));
        else
            continue;
        // Shown as printed, never parsed: netsh speaks the system's language.
        for (const std::string& printed : step.Output)
            lines += "\r\n    " + printed;
    }
    if (lines.empty()) return lines;
    return Format("The IP set could not be applied to the connection \"%s\".\r\n",
                  connection.c_str()) +
           lines;
}

TApplyOutcome DecideApply(const TIPSetValues& set, const std::vector<TActivationStep>& steps,
                          const TCheckResult& check) {
    TApplyOutcome outcome;
    if (check.Outcome == TCheckOutcome::InEffect) {
        outcome.Message = check.Text; // what could not be checked, if anything
        return outcome;
    }
    if (check.Outcome == TCheckOutcome::NoLink && set.Dhcp) {
        outcome.Message = check.Text;
        return outcome;
    }
    outcome.Message = ActivationFailureText(set.Connection, steps);
    if (!outcome.Message.empty()) {
        outcome.Ok = false;
        return outcome;
    }
    outcome.Message = check.Text;
    outcome.Ok = check.Outcome == TCheckOutcome::NoLink;
    return outcome;
}
