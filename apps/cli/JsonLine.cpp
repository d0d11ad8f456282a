#include "cli/JsonLine.h"

#include <cstdio>
#include <optional>

#include "common/Text.h"

namespace teelink {

namespace {

void AppendUnicodeEscape(std::string& out, char32_t cp) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(cp));
    out += escape;
}

// One decoded character as JSON carries it: the short escapes, \u for the other
// controls (C1 and DEL too, which a terminal showing the line would obey),
// the character's own bytes otherwise.
void AppendJsonChar(std::string& out, char32_t cp, std::string_view bytes) {
    switch (cp) {
        case '"':
            out += "\\\"";
            return;
        case '\\':
            out += "\\\\";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\t':
            out += "\\t";
            return;
        default:
            break;
    }
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
        AppendUnicodeEscape(out, cp);
    } else {
        out += bytes;
    }
}

}  // namespace

std::string JsonQuoted(std::string_view text, bool* replaced) {
    std::string out = "\"";
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char* start = p;
        if (const std::optional<char32_t> cp = DecodeUtf8(p, end)) {
            AppendJsonChar(out, *cp,
                           std::string_view(reinterpret_cast<const char*>(start),
                                            static_cast<size_t>(p - start)));
        } else {
            // JSON is UTF-8: a byte that is not becomes U+FFFD, and the line says so.
            AppendUtf8(out, kReplacementChar);
            if (replaced != nullptr) {
                *replaced = true;
            }
        }
    }
    return out + "\"";
}

void CJsonLine::Key(std::string_view key) {
    if (m_text.size() > 1) {
        m_text += ',';
    }
    m_text += JsonQuoted(key, &m_replaced);
    m_text += ':';
}

CJsonLine& CJsonLine::Add(std::string_view key, std::string_view value) {
    Key(key);
    m_text += JsonQuoted(value, &m_replaced);
    return *this;
}

std::string CJsonLine::Text() const {
    if (m_replaced) {
        return m_text + (m_text.size() > 1 ? "," : "") + "\"invalid_utf8_replaced\":true}";
    }
    return m_text + "}";
}

CJsonLine& CJsonLine::AddNumber(std::string_view key, int64_t value) {
    Key(key);
    m_text += std::to_string(value);
    return *this;
}

CJsonLine& CJsonLine::AddBool(std::string_view key, bool value) {
    Key(key);
    m_text += value ? "true" : "false";
    return *this;
}

CJsonLine& CJsonLine::AddNull(std::string_view key) {
    Key(key);
    m_text += "null";
    return *this;
}

}  // namespace teelink
