#include "updateclient/Answers.h"

#include <algorithm>
#include <cstring>

#include "common/ByteOrder.h"
#include "updateclient/CatalogueRecords.h"
#include "updateclient/TextConvert.h"

namespace teelink {

namespace {

std::wstring TextOf(const uint8_t* bytes, size_t length) {
    // A zero-terminated copy: the text ends at its first zero byte, if any.
    // (Callers pass data() + offset: an empty text may start one past the end.)
    std::string copy(reinterpret_cast<const char*>(bytes), length);
    return Utf8ToWide(copy.c_str());
}

}  // namespace

bool HasAnswerFraming(std::span<const uint8_t> bytes) {
    return bytes.size() >= 3 && bytes[0] == 'T' && bytes[1] == 'L' && bytes[2] == 0;
}

std::optional<std::array<std::string, 4>> ParseLatestVersions(std::span<const uint8_t> buffer) {
    if (!HasAnswerFraming(buffer)) {
        return std::nullopt;
    }
    std::array<std::string, 4> fields;
    size_t start = 3;
    for (std::string& field : fields) {
        // A field ends at a ':' within its first 20 bytes; without one it is empty
        // and the next field starts at the same place.
        for (size_t i = 0; i < 20 && start + i < buffer.size(); ++i) {
            if (buffer[start + i] == ':') {
                field.assign(reinterpret_cast<const char*>(buffer.data() + start), i);
                start += i + 1;
                break;
            }
        }
    }
    return fields;
}

int ParseAreaList(std::span<const uint8_t> buffer, std::vector<CAreaList>& out) {
    if (buffer.size() < 6 || !HasAnswerFraming(buffer)) {
        return -2;
    }
    const size_t declaredEnd = static_cast<size_t>(teelink::LoadLe16(buffer.data() + 3)) + 5;
    const size_t count = buffer[5];
    size_t p = 6;
    for (size_t r = 0; r < count; ++r) {
        if (p >= buffer.size()) {
            return -3;
        }
        const size_t codeLength = buffer[p];
        const size_t nameLengthAt = p + 1 + codeLength;
        if (nameLengthAt >= buffer.size()) {
            return -3;
        }
        const size_t nameLength = buffer[nameLengthAt];
        const size_t end = nameLengthAt + 1 + nameLength;
        if (end > declaredEnd || end > buffer.size()) {
            return -3;
        }
        out.push_back({TextOf(buffer.data() + p + 1, codeLength),
                       TextOf(buffer.data() + nameLengthAt + 1, nameLength)});
        p = end;
    }
    return 0;
}

std::optional<uint16_t> ParseListHeader(std::span<const uint8_t> header) {
    if (header.size() < 5 || !HasAnswerFraming(header)) {
        return std::nullopt;
    }
    return teelink::LoadLe16(header.data() + 3);
}

bool ParseListBody(std::span<const uint8_t> body, std::vector<CItemList>& out) {
    if (body.empty()) {
        return false;
    }
    const size_t count = body[0];
    size_t p = 1;
    for (size_t r = 0; r < count; ++r) {
        if (p + 10 > body.size()) {
            return false;
        }
        const size_t nameLength = body[p + 9];
        if (p + 10 + nameLength > body.size()) {
            return false;
        }
        CItemList item;
        const uint8_t* record = body.data() + p;
        item.id = teelink::LoadLe16(record);
        item.sub = record[2];
        item.number = teelink::LoadLe16(record + 3);
        item.flags = teelink::LoadLe16(record + 5);
        item.name = TextOf(record + 10, nameLength);
        out.push_back(std::move(item));
        p += 10 + nameLength;
    }
    return true;
}

std::optional<uint8_t> ParseCourseInfoHeader(std::span<const uint8_t> header) {
    // Only the framing decides: the header is read into a zero-filled buffer, so
    // an answer that ends after the framing counts nothing that follows.
    if (!HasAnswerFraming(header)) {
        return std::nullopt;
    }
    return header.size() > 3 ? header[3] : uint8_t{0};
}

void ApplyCourseInfo(std::span<const uint8_t> info, FavoriteSlot& slot) {
    std::array<uint8_t, 10> date{};
    std::copy_n(info.begin(), std::min<size_t>(info.size(), date.size()), date.begin());
    std::memcpy(slot.serverDate.data(), date.data(), date.size());
    slot.serverDate[10] = '\0';
    slot.name = info.size() > 10 ? TextOf(info.data() + 10, info.size() - 10) : std::wstring();
}

std::optional<uint32_t> ParsePackageHeader(std::span<const uint8_t> header) {
    if (header.size() < PACKAGE_HEADER_SIZE || !HasAnswerFraming(header)) {
        return std::nullopt;
    }
    return teelink::LoadLe32(header.data() + 3);
}

}  // namespace teelink
