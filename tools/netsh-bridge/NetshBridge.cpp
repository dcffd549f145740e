#include "tools/netsh-bridge/NetshBridge.h"

#include "base/AddressText.h"

bool ValidInterfaceName(const std::string& name) {
    if (name.empty() || name.size() > 15 || name == "." || name == ".." || name[0] == '-')
        return false;
    for (unsigned char c : name)
        if (c <= ' ' || c >= 0x7F || c == '/' || c == ':' || c == '"' || c == '\'' || c == '\\')
            return false;
    return true;
}

namespace {

// Why a server or gateway address cannot be used, or "".
std::string RemoteProblem(uint32_t value) {
    if (IsThisNetwork(value)) return "is not an address of a host (0.0.0.0/8)";
    if (IsMulticastOrReserved(value)) return "is a multicast or reserved address";
    return "";
}

} // namespace

bool CheckRequest(TNetshRequest& request, std::string& reason) {
    uint32_t address = 0, mask = 0, gateway = 0;
    if (request.Kind == TNetshRequest::TKind::DeleteAddress) {
        if (!ParseAddress(request.Address, address)) {
            reason = "The address " + request.Address + " is not a valid IPv4 address.";
            return false;
        }
        request.Address = DecimalAddress(address);
        return true;
    }
    // An added address follows the rules of a set's own address.
    if (request.Kind != TNetshRequest::TKind::Address &&
        request.Kind != TNetshRequest::TKind::AddAddress) {
        if (request.Address.empty()) return true; // none
        if (!ParseAddress(request.Address, address)) {
            reason = "The DNS server " + request.Address + " is not a valid IPv4 address.";
            return false;
        }
        if (const std::string problem = RemoteProblem(address); !problem.empty()) {
            reason = "The DNS server " + request.Address + " " + problem + ".";
            return false;
        }
        request.Address = DecimalAddress(address);
        return true;
    }
    if (request.Dhcp) return true;
    if (!ParseAddress(request.Address, address) || !ParseAddress(request.Mask, mask)) {
        reason = "The address " + request.Address + " or mask " + request.Mask + " is not valid.";
        return false;
    }
    const int prefix = PrefixLength(mask);
    const std::string shown = DecimalAddress(address), net = shown + "/" + std::to_string(prefix);
    if (prefix < 0 || prefix == 0)
        reason = "The mask " + request.Mask + " is not a valid subnet mask.";
    else if (IsThisNetwork(address))
        reason = "The address " + shown + " is not an address of a host (0.0.0.0/8).";
    else if (IsLoopback(address))
        reason = "The address " + shown + " is a loopback address.";
    else if (IsMulticastOrReserved(address))
        reason = "The address " + shown + " is a multicast or reserved address.";
    else if (IsNetworkAddress(address, prefix))
        reason = "The address " + shown + " is the network address of " + net + ".";
    else if (IsBroadcastAddress(address, prefix))
        reason = "The address " + shown + " is the broadcast address of " + net + ".";
    if (!reason.empty()) return false;
    request.Address = shown;
    request.Mask = DecimalAddress(mask);
    if (request.Gateway.empty()) return true;
    if (!ParseAddress(request.Gateway, gateway)) {
        reason = "The gateway " + request.Gateway + " is not a valid IPv4 address.";
        return false;
    }
    std::string problem = RemoteProblem(gateway);
    if (problem.empty() && gateway == address) problem = "is the set's own address";
    if (problem.empty() && IsLoopback(gateway)) problem = "is a loopback address";
    if (!problem.empty()) {
        reason = "The gateway " + DecimalAddress(gateway) + " " + problem + ".";
        return false;
    }
    request.Gateway = DecimalAddress(gateway);
    return true;
}

std::string CommandText(const THostCommand& command) {
    std::string text;
    for (const std::string& word : command) {
        if (!text.empty()) text += ' ';
        text += word.empty() ? "\"\"" : word;
    }
    return text;
}

std::string FirstLine(const std::string& output) {
    const size_t start = output.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) return "";
    size_t end = output.find_first_of("\r\n", start);
    if (end == std::string::npos) end = output.size();
    while (end > start && (output[end - 1] == ' ' || output[end - 1] == '\t'))
        --end;
    return output.substr(start, end - start);
}
