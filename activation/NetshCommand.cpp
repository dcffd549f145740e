#include "activation/NetshCommand.h"

#include "base/AddressText.h"
#include "base/SysUtils.h"

#include <algorithm>

std::string AddressCommand(const std::string& connection, bool dhcp, const std::string& address,
                           const std::string& mask, const std::string& gateway) {
    std::string command = "netsh interface ip set address \"" + connection + "\" ";
    if (dhcp) return command + " dhcp ";
    // netsh reads its arguments by position: an empty gateway must be said.
    if (gateway.empty()) return command + " static " + address + " " + mask + " none";
    return command + " static " + address + " " + mask + " " + gateway + " 1";
}

std::string DnsCommand(const std::string& connection, bool dhcp, const std::string& dns) {
    std::string command = "netsh interface ip set dns \"" + connection + "\" ";
    if (dhcp) return command + " dhcp ";
    return command + " static " + (dns.empty() ? std::string("none") : dns) + " primary";
}

std::string AddDnsCommand(const std::string& connection, const std::string& dns, int index) {
    return "netsh interface ip add dns \"" + connection + "\" " + dns +
           " index=" + std::to_string(index);
}

std::string AddAddressCommand(const std::string& connection, const std::string& address,
                              const std::string& mask) {
    return "netsh interface ip add address \"" + connection + "\" " + address + " " + mask;
}

std::string DeleteAddressCommand(const std::string& connection, const std::string& address) {
    return "netsh interface ip delete address \"" + connection + "\" " + address;
}

std::string ConnectionNameProblem(const std::string& connection) {
    const char* what = nullptr;
    std::string shown;
    for (const char c : connection) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            what = what ? what : "a control character";
            shown += '?'; // never put the raw character into a message box
        } else {
            if (c == '"' && !what) what = "a double quote";
            if (c == '=' && !what) what = "an equals sign";
            // Windows refuses "?" in a connection name: here it stands for a
            // character this system's code page could not hold.
            if (c == '?' && !what) what = "a character this system's code page cannot hold";
            shown += c;
        }
    }
    if (!what) return "";
    return Format("The connection name \"%s\" contains %s, which netsh cannot take as a name. "
                  "Rename the connection in Windows",
                  shown.c_str(), what);
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> args;
    size_t i = 0;
    const size_t n = line.size();
    for (;;) {
        while (i < n && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= n) break;
        std::string arg;
        bool quoted = false;
        while (i < n && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
            if (line[i] == '\\') {
                size_t slashes = 0;
                while (i < n && line[i] == '\\')
                    ++slashes, ++i;
                if (i < n && line[i] == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(slashes, '\\');
                }
            } else if (line[i] == '"') {
                if (quoted && i + 1 < n && line[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += line[i++];
            }
        }
        args.push_back(arg);
    }
    return args;
}

namespace {

struct TArgument {
    std::string Tag; // upper case, "" for a positional one
    std::string Value;
};

std::vector<TArgument> Tagged(const std::vector<std::string>& args, size_t from) {
    std::vector<TArgument> result;
    for (size_t i = from; i < args.size(); ++i) {
        size_t eq = args[i].find('=');
        if (eq == std::string::npos || eq == 0)
            result.push_back({"", args[i]});
        else
            result.push_back({UpperCase(args[i].substr(0, eq)), args[i].substr(eq + 1)});
    }
    return result;
}

// Gives each argument its tag: a positional one takes the next tag of the
// command's order, a tagged one names its own (aliases folded).
bool AssignTags(std::vector<TArgument>& args, const std::vector<std::string>& order,
                std::string& error) {
    size_t next = 0;
    std::vector<std::string> seen;
    for (TArgument& a : args) {
        if (a.Tag.empty()) {
            if (next >= order.size()) {
                error =
                    "The following command was not found: too many arguments (" + a.Value + ").";
                return false;
            }
            a.Tag = order[next];
        } else {
            if (a.Tag == "ADDRESS") a.Tag = "ADDR";
            if (a.Tag == "SOURCE" || a.Tag == "NAME" || a.Tag == "ADDR" || a.Tag == "MASK" ||
                a.Tag == "GATEWAY" || a.Tag == "GWMETRIC" || a.Tag == "REGISTER" ||
                a.Tag == "INDEX") {
                if (std::find(order.begin(), order.end(), a.Tag) == order.end()) {
                    error = "The parameter " + a.Tag + " is not valid for this command.";
                    return false;
                }
            } else {
                error = "The parameter " + a.Tag + " is not valid for this command.";
                return false;
            }
        }
        if (std::find(seen.begin(), seen.end(), a.Tag) != seen.end()) {
            error = "The parameter " + a.Tag + " was given more than once.";
            return false;
        }
        seen.push_back(a.Tag);
        auto pos = std::find(order.begin(), order.end(), a.Tag);
        next = std::max(next, static_cast<size_t>(pos - order.begin()) + 1);
    }
    return true;
}

const std::string* Find(const std::vector<TArgument>& args, const char* tag) {
    for (const TArgument& a : args)
        if (a.Tag == tag) return &a.Value;
    return nullptr;
}

bool ParseSource(const std::vector<TArgument>& args, TNetshRequest& request, std::string& error) {
    const std::string* source = Find(args, "SOURCE");
    if (!source) {
        error = "One or more essential parameters were not entered: source.";
        return false;
    }
    if (SameText(*source, "dhcp")) {
        request.Dhcp = true;
    } else if (SameText(*source, "static")) {
        request.Dhcp = false;
    } else {
        error = "The source \"" + *source + "\" is not valid: use static or dhcp.";
        return false;
    }
    return true;
}

bool CheckAddress(const std::string& value, const char* what, std::string& error) {
    if (IsDottedQuad(value)) return true;
    error = Format("The %s %s is not a valid IPv4 address.", what, value.c_str());
    return false;
}

bool ParseAddress(std::vector<TArgument>& args, TNetshRequest& request, std::string& error) {
    if (!AssignTags(args, {"NAME", "SOURCE", "ADDR", "MASK", "GATEWAY", "GWMETRIC"}, error) ||
        !ParseSource(args, request, error))
        return false;
    const std::string *addr = Find(args, "ADDR"), *mask = Find(args, "MASK"),
                      *gateway = Find(args, "GATEWAY"), *metric = Find(args, "GWMETRIC");
    if (request.Dhcp) {
        if (addr || mask || gateway || metric) {
            error = "Addresses cannot be given with source dhcp.";
            return false;
        }
        return true;
    }
    if (!addr || !mask) {
        error = "One or more essential parameters were not entered: addr and mask.";
        return false;
    }
    if (!CheckAddress(*addr, "address", error) || !CheckAddress(*mask, "mask", error)) return false;
    if (MaskPrefixLength(*mask) < 0) {
        error = "The mask " + *mask + " is not a valid subnet mask.";
        return false;
    }
    request.Address = *addr;
    request.Mask = *mask;
    if (gateway && !SameText(*gateway, "none")) {
        if (!CheckAddress(*gateway, "gateway", error)) return false;
        request.Gateway = *gateway;
    }
    if (metric) {
        if (request.Gateway.empty()) {
            error = "A gateway metric needs a gateway.";
            return false;
        }
        const std::string& m = *metric;
        if (m.empty() || m.size() > 4 ||
            !std::all_of(m.begin(), m.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            error = "The gateway metric " + m + " is not a number from 0 to 9999.";
            return false;
        }
        request.GatewayMetric = std::stoi(m);
    }
    return true;
}

bool ParseDns(std::vector<TArgument>& args, TNetshRequest& request, std::string& error) {
    if (!AssignTags(args, {"NAME", "SOURCE", "ADDR", "REGISTER"}, error) ||
        !ParseSource(args, request, error))
        return false;
    const std::string *addr = Find(args, "ADDR"), *reg = Find(args, "REGISTER");
    if (reg) {
        if (!SameText(*reg, "none") && !SameText(*reg, "primary") && !SameText(*reg, "both")) {
            error = "The register value " + *reg + " is not valid: use none, primary or both.";
            return false;
        }
        request.Register = LowerCase(*reg);
    }
    if (request.Dhcp) {
        if (addr) {
            error = "An address cannot be given with source dhcp.";
            return false;
        }
        return true;
    }
    if (!addr) {
        error = "One or more essential parameters were not entered: addr.";
        return false;
    }
    if (!SameText(*addr, "none")) {
        if (!CheckAddress(*addr, "DNS server", error)) return false;
        request.Address = *addr;
    }
    return true;
}

// "add dns NAME ADDR [index=N]": a further DNS server, at position N (1 is
// the first) or last.
bool ParseAddDns(std::vector<TArgument>& args, TNetshRequest& request, std::string& error) {
    if (!AssignTags(args, {"NAME", "ADDR", "INDEX"}, error)) return false;
    const std::string *addr = Find(args, "ADDR"), *index = Find(args, "INDEX");
    if (!addr) {
        error = "One or more essential parameters were not entered: addr.";
        return false;
    }
    if (!CheckAddress(*addr, "DNS server", error)) return false;
    request.Address = *addr;
    if (index) {
        const std::string& i = *index;
        if (i.empty() || i.size() > 2 ||
            !std::all_of(i.begin(), i.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
            std::stoi(i) < 1) {
            error = "The index " + i + " is not a number from 1 to 99.";
            return false;
        }
        request.Index = std::stoi(i);
    }
    return true;
}

// "add address NAME ADDR MASK" and "delete address NAME ADDR". Windows' netsh
// also takes a gateway here; the program never gives one, so none is read.
bool ParseAddressChange(std::vector<TArgument>& args, TNetshRequest& request, std::string& error) {
    const bool add = request.Kind == TNetshRequest::TKind::AddAddress;
    if (!AssignTags(args,
                    add ? std::vector<std::string>{"NAME", "ADDR", "MASK"}
                        : std::vector<std::string>{"NAME", "ADDR"},
                    error))
        return false;
    const std::string *addr = Find(args, "ADDR"), *mask = Find(args, "MASK");
    if (!addr || (add && !mask)) {
        error = add ? "One or more essential parameters were not entered: addr and mask."
                    : "One or more essential parameters were not entered: addr.";
        return false;
    }
    if (!CheckAddress(*addr, "address", error)) return false;
    request.Address = *addr;
    if (!add) return true;
    if (!CheckAddress(*mask, "mask", error)) return false;
    if (MaskPrefixLength(*mask) < 0) {
        error = "The mask " + *mask + " is not a valid subnet mask.";
        return false;
    }
    request.Mask = *mask;
    return true;
}

} // namespace

bool ParseNetshArguments(const std::vector<std::string>& args, TNetshRequest& request,
                         std::string& error) {
    request = TNetshRequest{};
    auto word = [&](size_t i, std::initializer_list<const char*> accepted) {
        if (i >= args.size()) return false;
        for (const char* a : accepted)
            if (SameText(args[i], a)) return true;
        return false;
    };
    const bool add = word(2, {"add"}), remove = word(2, {"delete", "del"});
    const bool dnsWord = word(3, {"dns", "dnsservers", "dnsserver"}),
               addressWord = word(3, {"address"});
    if (!word(0, {"interface", "int"}) || !word(1, {"ip", "ipv4"}) ||
        !word(2, {"set", "add", "delete", "del"}) ||
        (remove ? !addressWord : !(dnsWord || addressWord))) {
        std::string line;
        for (const std::string& a : args)
            line += (line.empty() ? "" : " ") + a;
        error = "The following command was not found: " + line + ".";
        return false;
    }
    using TKind = TNetshRequest::TKind;
    request.Kind = remove        ? TKind::DeleteAddress
                   : add         ? (addressWord ? TKind::AddAddress : TKind::AddDns)
                   : addressWord ? TKind::Address
                                 : TKind::Dns;
    std::vector<TArgument> rest = Tagged(args, 4);
    bool ok = request.Kind == TKind::Address  ? ParseAddress(rest, request, error)
              : request.Kind == TKind::Dns    ? ParseDns(rest, request, error)
              : request.Kind == TKind::AddDns ? ParseAddDns(rest, request, error)
                                              : ParseAddressChange(rest, request, error);
    if (!ok) return false;
    const std::string* name = Find(rest, "NAME");
    if (!name || name->empty()) {
        error = "One or more essential parameters were not entered: name.";
        return false;
    }
    request.Name = *name;
    return true;
}
