#include "refserver/QueryString.h"

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

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
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out.push_back(static_cast<char>(high * 16 + low));
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

std::optional<int64_t> ParseNumber(std::string_view text, int64_t min, int64_t max,
                                   bool allowSign) {
    bool negative = false;
    if (allowSign && !text.empty() && text[0] == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (negative) {
        value = -value;
    }
    if (value < min || value > max) {
        return std::nullopt;
    }
    return value;
}
