#include "device/IdentityRecord.h"

namespace teelink {

namespace {

bool HasMark(const uint8_t* bytes) {
    return bytes[0] == 'T' && bytes[1] == 'L';
}

std::optional<std::wstring> ModelName(uint8_t b3, uint8_t b4, uint8_t b5) {
    if (b3 == 'R' && b5 == ' ') {
        if (b4 == '7') {
            return L"R7";
        }
        if (b4 == '8') {
            return L"R8";
        }
    }
    if (b3 == 'K' && b4 == 'S' && b5 == '2') {
        return L"KS2";
    }
    return std::nullopt;
}

// Bytes from first on up to count of them, ending before the first byte outside
// low..high.
std::wstring TakeWhileInRange(const uint8_t* first, int count, uint8_t low, uint8_t high) {
    std::wstring text;
    for (int i = 0; i < count && first[i] >= low && first[i] <= high; ++i) {
        text.push_back(static_cast<wchar_t>(first[i]));
    }
    return text;
}

}  // namespace

std::optional<DeviceIdentity> ParseIdentityRecord(const uint8_t record[32]) {
    if (!HasMark(record)) {
        return std::nullopt;
    }
    auto model = ModelName(record[3], record[4], record[5]);
    if (!model) {
        return std::nullopt;
    }
    DeviceIdentity identity;
    identity.model = std::move(*model);
    identity.modelId = {static_cast<char>(record[3]), static_cast<char>(record[4]),
                        static_cast<char>(record[5]), '\0'};
    identity.modelCode = TakeWhileInRange(record + 7, 3, 0x2E, 0x7A);
    identity.systemVersion = TakeWhileInRange(record + 11, 5, 0x2E, 0x39);
    return identity;
}

std::optional<std::wstring> ParseCourseDataDate(const uint8_t block[4096]) {
    if (!HasMark(block)) {
        return std::nullopt;
    }
    std::wstring date = TakeWhileInRange(block + 13, 6, '0', '9');
    if (date.size() != 6) {
        return std::nullopt;
    }
    return date;
}

}  // namespace teelink
