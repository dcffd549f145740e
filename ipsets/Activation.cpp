#include "ipsets/Activation.h"

#include "base/AddressText.h"
#include "base/SysUtils.h"
#include "ipsets/NetshCommand.h"

#include <windows.h>

std::string ActivationRefusal(const TIPSetValues& set) {
    // Nothing runs unless the command lines mean exactly what they say.
    if (set.Connection.find('"') != std::string::npos)
        return Format("The connection name \"%s\" contains a double quote, which netsh cannot "
                      "take. Rename the connection in Windows",
                      set.Connection.c_str());
    if (!set.Dhcp) {
        if (set.Address.empty() || set.Mask.empty())
            return Format("This IP set has no %s. Edit the set and enter it",
                          set.Address.empty() ? "IP address" : "subnet mask");
        const std::pair<const char*, const std::string*> fields[] = {
            {"IP address", &set.Address},
            {"subnet mask", &set.Mask},
            {"gateway", &set.Gateway},
            {"DNS server", &set.Dns},
            {"second DNS server", &set.Dns2}};
        for (const auto& [label, value] : fields)
            if (!value->empty() && !IsDottedQuad(*value))
                return Format("The %s \"%s\" of this IP set is not a valid address. Edit the set "
                              "and correct it",
                              label, value->c_str());
        // "add dns ... index=2" with no first server would make it the first.
        if (set.Dns.empty() && !set.Dns2.empty())
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
    std::vector<TActivationStep> steps = {
        {"Setting the address",
         AddressCommand(set.Connection, set.Dhcp, set.Address, set.Mask, set.Gateway)},
        {"Setting the DNS server", DnsCommand(set.Connection, set.Dhcp, set.Dns)}};
    if (!set.Dhcp && !set.Dns2.empty())
        steps.push_back(
            {"Setting the second DNS server", AddDnsCommand(set.Connection, set.Dns2, 2)});
    return steps;
}

std::string ActivationFailureText(const std::string& connection,
                                  const std::vector<TActivationStep>& steps) {
    std::string lines;
    for (const TActivationStep& step : steps) {
        if (!step.Started)
            lines += Format("\r\n%s: netsh could not be started.", step.Label.c_str());
        else if (step.ExitCode != 0)
            lines += Format("\r\n%s: netsh ended with exit code %lu.", step.Label.c_str(),
                            static_cast<unsigned long>(static_cast<DWORD>(step.ExitCode)));
    }
    if (lines.empty()) return lines;
    return Format("The IP set could not be applied to the connection \"%s\".\r\n",
                  connection.c_str()) +
           lines;
}
