#include "update/PackageReader.h"

#include <zip.h>

namespace teelink {

CPackageReader::~CPackageReader() {
    Close();
}

bool CPackageReader::Open(const uint8_t* data, uint64_t size) {
    Close();
    // libzip takes an empty buffer for an empty archive; no package is empty.
    if (data == nullptr || size == 0) {
        return false;
    }
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
    if (source == nullptr) {
        zip_error_fini(&error);
        return false;
    }
    m_archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (m_archive == nullptr) {
        zip_source_free(source);
    }
    zip_error_fini(&error);
    return m_archive != nullptr;
}

void CPackageReader::Close() {
    if (m_archive != nullptr) {
        zip_discard(m_archive);
        m_archive = nullptr;
    }
}

uint64_t CPackageReader::EntryCount() const {
    const zip_int64_t n = zip_get_num_entries(m_archive, 0);
    return n < 0 ? 0 : static_cast<uint64_t>(n);
}

bool CPackageReader::EntrySize(uint64_t index, uint64_t& size) const {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(m_archive, index, 0, &st) != 0 || (st.valid & ZIP_STAT_SIZE) == 0) {
        return false;
    }
    size = st.size;
    return true;
}

bool CPackageReader::CompressedSize(uint64_t index, uint64_t& size) const {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(m_archive, index, 0, &st) != 0 || (st.valid & ZIP_STAT_COMP_SIZE) == 0) {
        return false;
    }
    size = st.comp_size;
    return true;
}

zip_file_t* CPackageReader::OpenEntry(uint64_t index) const {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(m_archive, index, 0, &st) != 0) {
        return nullptr;
    }
    // libzip would inflate bzip2 and others, and decrypt; the package format
    // allows stored and deflate only.
    if ((st.valid & ZIP_STAT_COMP_METHOD) == 0 ||
        (st.comp_method != ZIP_CM_STORE && st.comp_method != ZIP_CM_DEFLATE)) {
        return nullptr;
    }
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && st.encryption_method != ZIP_EM_NONE) {
        return nullptr;
    }
    return zip_fopen_index(m_archive, index, 0);
}

bool CPackageReader::Extract(uint64_t index, uint64_t size, uint8_t* dest) const {
    zip_file_t* file = OpenEntry(index);
    if (file == nullptr) {
        return false;
    }
    uint64_t got = 0;
    bool ok = true;
    while (got < size) {
        const zip_int64_t n = zip_fread(file, dest + got, size - got);
        if (n <= 0) {
            ok = n == 0 && got == size;
            break;
        }
        got += static_cast<uint64_t>(n);
    }
    if (ok) {
        // The CRC of the entry is checked on the read that finds its end: read
        // until it, and refuse an entry longer than its directory record says.
        uint8_t extra = 0;
        ok = zip_fread(file, &extra, 1) == 0;
    }
    if (zip_fclose(file) != 0) {
        ok = false;
    }
    return ok && got == size;
}

CPackageReader::StreamEnd CPackageReader::Stream(
    uint64_t index, uint64_t size, std::span<uint8_t> buffer,
    const std::function<bool(std::span<const uint8_t>)>& sink) const {
    zip_file_t* file = OpenEntry(index);
    if (file == nullptr || buffer.empty()) {
        if (file != nullptr) {
            zip_fclose(file);
        }
        return StreamEnd::Failed;
    }
    uint64_t got = 0;
    StreamEnd end = StreamEnd::Failed;
    for (;;) {
        // Reading on past the recorded size finds an entry that is longer than
        // its record, and the read that returns 0 is the one that checks the CRC.
        const zip_int64_t n = zip_fread(file, buffer.data(), buffer.size());
        if (n <= 0) {
            end = n == 0 && got == size ? StreamEnd::Complete : StreamEnd::Failed;
            break;
        }
        got += static_cast<uint64_t>(n);
        if (got > size) {
            break;
        }
        if (!sink(buffer.first(static_cast<size_t>(n)))) {
            end = StreamEnd::Interrupted;
            break;
        }
    }
    if (zip_fclose(file) != 0 && end == StreamEnd::Complete) {
        end = StreamEnd::Failed;
    }
    return end;
}

}  // namespace teelink
