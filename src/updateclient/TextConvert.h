#pragma once

#include <string>
#include <string_view>

namespace teelink {

// The wide string of a zero-terminated UTF-8 text. Texts that need more than 1022
// UTF-16 units come out empty, not cut. Invalid sequences become U+FFFD.
std::wstring Utf8ToWide(const char* text);

// UTF-8 of a wide string (for building request URLs and for logs).
std::string WideToUtf8(std::wstring_view text);

// 8-bit text widened byte by byte (the version fields are plain ASCII; other bytes
// are taken as Latin-1 so that no input is lost or rejected).
std::wstring WidenBytes(std::string_view bytes);

}  // namespace teelink
