#include "refserver/PackageBuilder.h"

#include <zip.h>

#include <algorithm>
#include <cstring>

#include "common/ByteOrder.h"
#include "refserver/AnswerWriter.h"

namespace teelink {

namespace {

// 1 December 2017, 00:00, in the zip format's MS-DOS form.
constexpr zip_uint16_t kEntryDosDate = ((2017 - 1980) << 9) | (12 << 5) | 1;
constexpr zip_uint16_t kEntryDosTime = 0;

}  // namespace

std::vector<uint8_t> MakeEntry(uint32_t address, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> entry(6 + payload.size());
    entry[0] = 'T';
    entry[1] = 'L';
    teelink::StoreLe32(entry.data() + 2, address);
    std::copy(payload.begin(), payload.end(), entry.begin() + 6);
    return entry;
}

std::vector<uint8_t> BuildPackage(const std::vector<CPackageEntry>& entries) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (target == nullptr) {
        return {};
    }
    zip_source_keep(target);
    zip_t* archive = zip_open_from_source(target, ZIP_TRUNCATE, &error);
    if (archive == nullptr) {
        zip_source_free(target);
        zip_source_free(target);
        return {};
    }
    bool ok = true;
    for (const CPackageEntry& e : entries) {
        zip_source_t* source = zip_source_buffer(archive, e.content.data(), e.content.size(), 0);
        const zip_int64_t index =
            source == nullptr ? -1
                              : zip_file_add(archive, e.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            ok = false;
            break;
        }
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                                 e.deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
        // A fixed time stamp: the same entries make the same archive, whenever built.
        zip_file_set_dostime(archive, static_cast<zip_uint64_t>(index), kEntryDosTime,
                             kEntryDosDate, 0);
    }
    if (!ok || zip_close(archive) != 0) {
        if (ok) {
            zip_discard(archive);
        }
        zip_source_free(target);
        return {};
    }
    std::vector<uint8_t> bytes;
    zip_stat_t st;
    if (zip_source_stat(target, &st) == 0 && zip_source_open(target) == 0) {
        bytes.resize(st.size);
        const zip_int64_t n = zip_source_read(target, bytes.data(), bytes.size());
        if (n < 0 || static_cast<zip_uint64_t>(n) != st.size) {
            bytes.clear();
        }
        zip_source_close(target);
    }
    zip_source_free(target);
    return bytes;
}

std::vector<uint8_t> CourseDataHeader(const std::string& date, size_t size) {
    std::vector<uint8_t> block(size, 0);
    block[0] = 'T';
    block[1] = 'L';
    std::memcpy(&block[13], date.data(), std::min<size_t>(date.size(), 6));
    return block;
}

}  // namespace teelink
