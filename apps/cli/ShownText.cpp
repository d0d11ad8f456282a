#include "cli/ShownText.h"

#include <cstdio>
#include <optional>

#include "common/Text.h"

namespace teelink {

namespace {

bool IsDirectionControl(char32_t cp) {
    return cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069);
}

void AppendEscape(std::string& out, const char* format, unsigned value) {
    char escape[8];
    std::snprintf(escape, sizeof escape, format, value);
    out += escape;
}

std::string Escaped(std::string_view text, bool keepLineBreaks) {
    std::string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char* start = p;
        const std::optional<char32_t> cp = DecodeUtf8(p, end);
        if (!cp) {
            AppendEscape(out, "\\x%02X", *start);
        } else if (keepLineBreaks && (*cp == '\n' || *cp == '\t')) {
            out += static_cast<char>(*cp);
        } else if (*cp < 0x20 || *cp == 0x7F) {
            AppendEscape(out, "\\x%02X", static_cast<unsigned>(*cp));
        } else if ((*cp >= 0x80 && *cp <= 0x9F) || IsDirectionControl(*cp)) {
            AppendEscape(out, "\\u%04X", static_cast<unsigned>(*cp));
        } else {
            out.append(reinterpret_cast<const char*>(start), static_cast<size_t>(p - start));
        }
    }
    return out;
}

}  // namespace

std::string Shown(std::string_view text) {
    return Escaped(text, false);
}

std::string ShownLine(std::string_view line) {
    return Escaped(line, true);
}

}  // namespace teelink
