#include "cli/JsonLine.h"

#include <cstdio>

namespace teelink {

std::string JsonQuoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                    out += escape;
                } else {
                    out += c;  // UTF-8 bytes go through as they are
                }
        }
    }
    return out + "\"";
}

void CJsonLine::Key(std::string_view key) {
    if (m_text.size() > 1) {
        m_text += ',';
    }
    m_text += JsonQuoted(key);
    m_text += ':';
}

CJsonLine& CJsonLine::Add(std::string_view key, std::string_view value) {
    Key(key);
    m_text += JsonQuoted(value);
    return *this;
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
