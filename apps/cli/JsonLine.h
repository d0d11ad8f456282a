#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace teelink {

// One flat JSON object on one line, as the --json output prints them. Texts
// are UTF-8; anything JSON cannot carry raw is escaped. Bytes that are not
// UTF-8 (a file name, a device's text) become U+FFFD, and the object then ends
// with "invalid_utf8_replaced": true, so the output is always valid JSON.
class CJsonLine {
public:
    CJsonLine& Add(std::string_view key, std::string_view value);
    CJsonLine& Add(std::string_view key, const char* value) {
        return Add(key, std::string_view(value));
    }
    CJsonLine& AddNumber(std::string_view key, int64_t value);
    CJsonLine& AddBool(std::string_view key, bool value);
    CJsonLine& AddNull(std::string_view key);

    // The object with its closing brace, without a line end.
    std::string Text() const;

private:
    void Key(std::string_view key);
    std::string m_text = "{";
    bool m_replaced = false;  // some text was not UTF-8
};

// `text` as a JSON string literal, quotes included; sets `*replaced` when a
// byte that is not UTF-8 was replaced.
std::string JsonQuoted(std::string_view text, bool* replaced = nullptr);

}  // namespace teelink
