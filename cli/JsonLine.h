#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace teelink {

// One flat JSON object on one line, as the --json output prints them. Texts
// are UTF-8; anything JSON cannot carry raw is escaped.
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
    std::string Text() const { return m_text + "}"; }

private:
    void Key(std::string_view key);
    std::string m_text = "{";
};

// `text` as a JSON string literal, quotes included.
std::string JsonQuoted(std::string_view text);

}  // namespace teelink
