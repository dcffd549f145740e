#include "tools/netsh-bridge/IpState.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>

namespace {

// Just enough JSON for iproute2's output: objects, arrays, strings, numbers
// and the three words.
struct TJson {
    enum class TType { Null, Bool, Number, String, Array, Object } Type = TType::Null;
    bool Bool = false;
    double Number = 0;
    std::string String;
    std::vector<TJson> Items;
    std::map<std::string, TJson> Fields;

    const TJson* Field(const char* name) const {
        auto it = Fields.find(name);
        return it == Fields.end() ? nullptr : &it->second;
    }
    std::string Text(const char* name) const {
        const TJson* f = Field(name);
        return f && f->Type == TType::String ? f->String : "";
    }
};

class TJsonReader {
public:
    explicit TJsonReader(const std::string& text) : Text(text) {}

    bool ReadDocument(TJson& value) {
        if (!Read(value, 0)) return false;
        Blanks();
        return Pos == Text.size();
    }

private:
    const std::string& Text;
    size_t Pos = 0;

    void Blanks() {
        while (Pos < Text.size() &&
               (Text[Pos] == ' ' || Text[Pos] == '\n' || Text[Pos] == '\r' || Text[Pos] == '\t'))
            ++Pos;
    }
    bool Word(const char* word) {
        const std::string w(word);
        if (Text.compare(Pos, w.size(), w) != 0) return false;
        Pos += w.size();
        return true;
    }
    bool ReadString(std::string& out) {
        if (Pos >= Text.size() || Text[Pos] != '"') return false;
        ++Pos;
        while (Pos < Text.size() && Text[Pos] != '"') {
            char c = Text[Pos++];
            if (c == '\\') {
                if (Pos >= Text.size()) return false;
                char e = Text[Pos++];
                switch (e) {
                case 'n':
                    c = '\n';
                    break;
                case 't':
                    c = '\t';
                    break;
                case 'r':
                    c = '\r';
                    break;
                case 'b':
                    c = '\b';
                    break;
                case 'f':
                    c = '\f';
                    break;
                case 'u':
                    // Names and addresses are ASCII: anything else is kept as '?'.
                    if (Pos + 4 > Text.size()) return false;
                    c = static_cast<char>(std::strtol(Text.substr(Pos, 4).c_str(), nullptr, 16));
                    if (static_cast<unsigned char>(c) >= 0x80 || c == 0) c = '?';
                    Pos += 4;
                    break;
                default:
                    c = e;
                }
            }
            out += c;
        }
        if (Pos >= Text.size()) return false;
        ++Pos;
        return true;
    }
    // The members of an object or array after its opening bracket, up to
    // `close`, separated by commas; `member` reads one.
    template <typename Member> bool Members(char close, Member member) {
        ++Pos;
        Blanks();
        if (Pos < Text.size() && Text[Pos] == close) return ++Pos, true;
        for (;;) {
            Blanks();
            if (!member()) return false;
            Blanks();
            if (Pos >= Text.size()) return false;
            if (Text[Pos++] != ',') return Text[Pos - 1] == close;
        }
    }
    bool Read(TJson& value, int depth) {
        if (depth > 32) return false;
        Blanks();
        if (Pos >= Text.size()) return false;
        const char c = Text[Pos];
        if (c == '{') {
            value.Type = TJson::TType::Object;
            return Members('}', [&] {
                std::string name;
                if (!ReadString(name)) return false;
                Blanks();
                if (Pos >= Text.size() || Text[Pos++] != ':') return false;
                return Read(value.Fields[name], depth + 1);
            });
        }
        if (c == '[') {
            value.Type = TJson::TType::Array;
            return Members(']', [&] {
                value.Items.emplace_back();
                return Read(value.Items.back(), depth + 1);
            });
        }
        if (c == '"') {
            value.Type = TJson::TType::String;
            return ReadString(value.String);
        }
        if (Word("true") || Word("false")) {
            value.Type = TJson::TType::Bool;
            value.Bool = Text[Pos - 2] == 'u'; // "tr-u-e"
            return true;
        }
        if (Word("null")) return true;
        const char* start = Text.c_str() + Pos;
        char* end = nullptr;
        value.Number = std::strtod(start, &end);
        if (end == start) return false;
        value.Type = TJson::TType::Number;
        Pos += static_cast<size_t>(end - start);
        return true;
    }
};

bool ReadArray(const std::string& json, TJson& root) {
    // An interface without anything to show prints nothing at all.
    if (json.find_first_not_of(" \r\n\t") == std::string::npos) {
        root.Type = TJson::TType::Array;
        return true;
    }
    return TJsonReader(json).ReadDocument(root) && root.Type == TJson::TType::Array;
}

} // namespace

bool ParseAddressJson(const std::string& json, std::vector<TIPv4Address>& addresses) {
    addresses.clear();
    TJson root;
    if (!ReadArray(json, root)) return false;
    for (const TJson& link : root.Items) {
        const TJson* info = link.Field("addr_info");
        if (!info) continue;
        for (const TJson& a : info->Items) {
            if (a.Text("family") != "inet") continue;
            const TJson* prefix = a.Field("prefixlen");
            if (a.Text("local").empty() || !prefix || prefix->Type != TJson::TType::Number)
                return false;
            // iproute2 writes 4294967295 for "forever".
            auto lifetime = [&](const char* field) {
                const TJson* life = a.Field(field);
                return life && life->Type == TJson::TType::Number && life->Number < 4294967295.0
                           ? static_cast<long long>(life->Number)
                           : -1LL;
            };
            TIPv4Address address{a.Text("local"), static_cast<int>(prefix->Number),
                                 a.Text("broadcast")};
            address.ValidLifetime = lifetime("valid_life_time");
            address.PreferredLifetime = lifetime("preferred_life_time");
            address.Dynamic = address.ValidLifetime >= 0;
            addresses.push_back(address);
        }
    }
    return true;
}

bool ParseRouteJson(const std::string& json, std::vector<TIPv4Route>& routes) {
    routes.clear();
    TJson root;
    if (!ReadArray(json, root)) return false;
    for (const TJson& r : root.Items) {
        if (r.Type != TJson::TType::Object || r.Text("dst").empty()) return false;
        TIPv4Route route;
        route.Destination = r.Text("dst");
        route.Gateway = r.Text("gateway");
        route.Protocol = r.Text("protocol");
        route.Scope = r.Text("scope");
        route.Source = r.Text("prefsrc");
        if (const TJson* metric = r.Field("metric"))
            route.Metric = static_cast<long long>(metric->Number);
        if (const TJson* flags = r.Field("flags"))
            for (const TJson& f : flags->Items)
                if (f.String == "onlink") route.OnLink = true;
        routes.push_back(route);
    }
    return true;
}

std::vector<THostCommand> RestorePlan(const TIPv4State& state, const std::string& name,
                                      const std::string& ip) {
    std::vector<THostCommand> plan{{ip, "-4", "addr", "flush", "dev", name},
                                   {ip, "-4", "route", "flush", "table", "main", "dev", name}};
    for (const TIPv4Address& a : state.Addresses) {
        THostCommand add{ip, "-4", "addr", "add", a.Local + "/" + std::to_string(a.PrefixLength)};
        if (!a.Broadcast.empty()) add.insert(add.end(), {"broadcast", a.Broadcast});
        add.insert(add.end(), {"dev", name});
        if (a.Dynamic) {
            // At least a second: a lifetime of 0 would drop the address at once.
            const long long valid = std::max(1LL, a.ValidLifetime);
            const long long preferred =
                a.PreferredLifetime < 0 ? valid : std::min(valid, a.PreferredLifetime);
            add.insert(add.end(), {"valid_lft", std::to_string(valid), "preferred_lft",
                                   std::to_string(preferred)});
        }
        plan.push_back(add);
    }
    for (const TIPv4Route& r : state.Routes) {
        if (r.Protocol == "kernel") continue; // comes back with its address
        THostCommand add{ip, "-4", "route", "append", r.Destination};
        if (!r.Gateway.empty()) add.insert(add.end(), {"via", r.Gateway});
        add.insert(add.end(), {"dev", name});
        if (!r.Protocol.empty()) add.insert(add.end(), {"proto", r.Protocol});
        if (!r.Scope.empty()) add.insert(add.end(), {"scope", r.Scope});
        if (!r.Source.empty()) add.insert(add.end(), {"src", r.Source});
        if (r.Metric >= 0) add.insert(add.end(), {"metric", std::to_string(r.Metric)});
        if (r.OnLink) add.push_back("onlink");
        plan.push_back(add);
    }
    return plan;
}

std::string AddressesText(const std::vector<TIPv4Address>& addresses) {
    if (addresses.empty()) return "no IPv4 address";
    std::string text;
    for (const TIPv4Address& a : addresses)
        text += (text.empty() ? "" : ", ") + a.Local + "/" + std::to_string(a.PrefixLength);
    return text;
}

std::vector<std::string> DefaultGateways(const std::vector<TIPv4Route>& routes) {
    std::vector<std::string> gateways;
    for (const TIPv4Route& r : routes)
        if (r.Destination == "default") gateways.push_back(r.Gateway);
    return gateways;
}
