#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace teelink {

// What the tool takes from the device's 32-byte identity record.
struct DeviceIdentity {
    std::wstring model;             // "R7", "R8" or "KS2"
    std::array<char, 4> modelId{};  // record bytes 3..5 and a NUL
    std::wstring modelCode;         // 0 to 3 characters
    std::wstring systemVersion;     // 0 to 5 characters
};

// nullopt when the record lacks the "TL" mark or names no known model.
std::optional<DeviceIdentity> ParseIdentityRecord(const uint8_t record[32]);

// The six-digit course data date of the block at the course data header's
// address; nullopt when the header is missing or the date is malformed.
std::optional<std::wstring> ParseCourseDataDate(const uint8_t block[4096]);

// The date a device without a valid course data header is taken to have.
inline constexpr const wchar_t* NO_COURSE_DATE = L"161101";

}  // namespace teelink
