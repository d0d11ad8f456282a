#pragma once

// Small text jobs that the tool, the emulator and the reference server share:
// numbers parsed with std::from_chars, plain names, UTF-8 decoding.

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace teelink {

// The whole of `text` as a number in `base`, within [min, max]; nothing else
// (no sign unless T is signed, no blanks, no prefix).
template <typename T>
std::optional<T> ParseNumber(std::string_view text, T min, T max, int base = 10) {
    static_assert(std::is_integral_v<T>);
    T value{};
    const char* end = text.data() + text.size();
    if (text.empty() || (text[0] == '+')) {
        return std::nullopt;
    }
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (ec != std::errc{} || ptr != end || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

// A name used in file paths and queries: 1 to `maxLength` letters, digits,
// '-' and '_'.
inline bool IsPlainName(std::string_view text, size_t maxLength = 32) {
    if (text.empty() || text.size() > maxLength) {
        return false;
    }
    for (char c : text) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!ok) {
            return false;
        }
    }
    return true;
}

inline constexpr char32_t kReplacementChar = 0xFFFD;

// Decodes one code point at `p` and advances past it. An invalid or truncated
// sequence (overlong, surrogate, beyond U+10FFFF) yields nothing and advances
// one byte.
std::optional<char32_t> DecodeUtf8(const unsigned char*& p, const unsigned char* end);

bool IsValidUtf8(std::string_view text);

void AppendUtf8(std::string& out, char32_t cp);

}  // namespace teelink
