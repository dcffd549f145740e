#include "tools/netsh-bridge/ResolvedPlan.h"

#include "tools/netsh-bridge/ResolverFile.h"

#include <sstream>

std::vector<std::string> ResolvectlServers(const std::string& output) {
    std::vector<std::string> servers;
    const std::string line = FirstLine(output);
    const size_t colon = line.find("):");
    if (colon == std::string::npos) return servers;
    std::istringstream words(line.substr(colon + 2));
    std::string s;
    while (words >> s)
        servers.push_back(s);
    return servers;
}

THostCommand ResolvectlPlan(const TNetshRequest& request, const std::string& resolvectl,
                            const std::vector<std::string>& current) {
    if (request.Dhcp) return {resolvectl, "revert", request.Name};
    THostCommand command{resolvectl, "dns", request.Name};
    const std::vector<std::string> servers = RequestedServers(request, current);
    command.insert(command.end(), servers.begin(), servers.end());
    // An empty argument clears the link's servers.
    if (servers.empty()) command.push_back("");
    return command;
}

std::string ApplyResolved(IBridgeHost& host, const TNetshRequest& request,
                          const std::string& resolvectl) {
    const std::string& name = request.Name;
    const std::vector<std::string> current =
        ResolvectlServers(host.Run({resolvectl, "dns", name}).Output);
    const THostCommand command = ResolvectlPlan(request, resolvectl, current);
    const TRunResult result = host.Run(command);
    if (result.Code != 0)
        return "systemd-resolved refused the name servers of " + name + ": " +
               FirstLine(result.Output);
    if (request.Dhcp) return "";
    const std::vector<std::string> wanted(command.begin() + 3,
                                          command.end() - (command.back().empty() ? 1 : 0));
    const std::vector<std::string> now =
        ResolvectlServers(host.Run({resolvectl, "dns", name}).Output);
    if (now != wanted)
        return "systemd-resolved shows other name servers for " + name + " than were just set.";
    return "";
}
