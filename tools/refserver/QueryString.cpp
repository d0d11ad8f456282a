#include "refserver/QueryString.h"

#include "common/Text.h"

namespace teelink {

namespace {

// '+' stays a plus: the tool encodes a blank as %20 and never sends '+' for one.
std::optional<std::string> PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        const auto byte = teelink::ParseNumber<uint8_t>(text.substr(i + 1, 2), 0, 0xFF, 16);
        if (!byte) {
            return std::nullopt;
        }
        out.push_back(static_cast<char>(*byte));
        i += 2;
    }
    return out;
}

}  // namespace

std::optional<std::map<std::string, std::string>> ParseQuery(std::string_view query) {
    std::map<std::string, std::string> pairs;
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const size_t eq = pair.find('=');
        if (eq == std::string_view::npos || eq == 0) {
            return std::nullopt;
        }
        auto key = PercentDecode(pair.substr(0, eq));
        auto value = PercentDecode(pair.substr(eq + 1));
        if (!key || !value || key->empty() || !pairs.emplace(*key, *value).second) {
            return std::nullopt;
        }
        if (amp != std::string_view::npos && query.empty()) {
            return std::nullopt;  // a trailing '&'
        }
    }
    return pairs;
}

std::optional<int64_t> ParseDecimal(std::string_view text, int64_t min, int64_t max,
                                    bool allowSign) {
    const std::string_view digits = allowSign && text.starts_with('-') ? text.substr(1) : text;
    if (digits.size() > 10 || digits.starts_with('-')) {
        return std::nullopt;
    }
    return teelink::ParseNumber<int64_t>(text, min, max);
}

}  // namespace teelink
