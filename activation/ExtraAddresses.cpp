#include "activation/ExtraAddresses.h"

#include "activation/Activation.h"
#include "base/AddressText.h"
#include "base/SysUtils.h"

bool ParseExtraAddresses(const std::string& text, std::vector<TAddressPair>& pairs) {
    pairs.clear();
    if (Trim(text).empty()) return true;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(';', start);
        const std::string item =
            Trim(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        const size_t slash = item.find('/');
        if (slash == std::string::npos) return false;
        TAddressPair pair{Trim(item.substr(0, slash)), Trim(item.substr(slash + 1))};
        if (!IsDottedQuad(pair.first) || !IsDottedQuad(pair.second)) return false;
        pairs.push_back(std::move(pair));
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

std::string ExtraAddressesText(const std::vector<TAddressPair>& pairs) {
    std::string text;
    for (const TAddressPair& pair : pairs)
        text += (text.empty() ? "" : ";") + PairText(pair);
    return text;
}

std::string PairText(const TAddressPair& pair) {
    return pair.first + "/" + pair.second;
}

std::string ExtraAddressProblem(const TAddressPair& pair, const std::string& mainAddress,
                                const std::vector<TAddressPair>& others) {
    // The main address's rules, asked of a set holding only this pair.
    TIPSetValues alone;
    alone.Address = pair.first;
    alone.Mask = pair.second;
    std::string field;
    std::string problem = SetAddressRefusal(alone, &field);
    if (!problem.empty()) {
        // "The IP address 10.0.0.0 is ..." becomes "The extra address 10.0.0.0 is ...".
        for (const char* from : {"IP address", "subnet mask"})
            if (const size_t at = problem.find(from); at != std::string::npos) {
                problem.replace(at, std::string(from).size(),
                                field == "subnet mask" ? "extra address's subnet mask"
                                                       : "extra address");
                break;
            }
        return problem;
    }
    const uint32_t value = AddressValue(ParseIPText(pair.first));
    const std::string shown = NormalizedAddress(pair.first);
    if (IsDottedQuad(mainAddress) && AddressValue(ParseIPText(mainAddress)) == value)
        return Format("The extra address %s is the set's IP address itself.", shown.c_str());
    for (const TAddressPair& other : others)
        if (IsDottedQuad(other.first) && AddressValue(ParseIPText(other.first)) == value)
            return Format("The extra address %s is in the list already.", shown.c_str());
    return "";
}

std::string ExtraAddressesRefusal(const TIPSetValues& set) {
    if (set.Dhcp) return "";
    std::vector<TAddressPair> pairs;
    if (!ParseExtraAddresses(set.ExtraAddresses, pairs))
        return Format("The extra addresses \"%s\" are not a list of address/mask pairs.",
                      set.ExtraAddresses.c_str());
    if (pairs.size() > MaxExtraAddresses)
        return Format("The set has %u extra addresses; at most %u are allowed.",
                      static_cast<unsigned>(pairs.size()),
                      static_cast<unsigned>(MaxExtraAddresses));
    for (size_t i = 0; i < pairs.size(); ++i) {
        const std::vector<TAddressPair> before(pairs.begin(), pairs.begin() + i);
        if (std::string problem = ExtraAddressProblem(pairs[i], set.Address, before);
            !problem.empty())
            return problem;
    }
    return "";
}
