#include "updateclient/TextConvert.h"

#include <cstdint>
#include <cstring>

#include "common/Text.h"

namespace teelink {

namespace {

constexpr size_t kMaxWideUnits = 1023;  // including the terminator

}  // namespace

std::wstring Utf8ToWide(const char* text) {
    if (text == nullptr) {
        return {};
    }
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = p + std::strlen(text);
    std::wstring out;
    size_t units = 1;  // the terminator counts, as in the platform's measure
    while (p < end) {
        const char32_t cp = teelink::DecodeUtf8(p, end).value_or(teelink::kReplacementChar);
        units += cp >= 0x10000 ? 2 : 1;
        if (units > kMaxWideUnits) {
            return {};
        }
        if constexpr (sizeof(wchar_t) == 2) {
            if (cp >= 0x10000) {
                const char32_t v = cp - 0x10000;
                out.push_back(static_cast<wchar_t>(0xD800 + (v >> 10)));
                out.push_back(static_cast<wchar_t>(0xDC00 + (v & 0x3FF)));
                continue;
            }
        }
        out.push_back(static_cast<wchar_t>(cp));
    }
    return out;
}

std::string WideToUtf8(std::wstring_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = static_cast<char32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
                const char32_t low = static_cast<char32_t>(text[i + 1]);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
        }
        teelink::AppendUtf8(out, cp);
    }
    return out;
}

std::wstring WidenBytes(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    }
    return out;
}

}  // namespace teelink
