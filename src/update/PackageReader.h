#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

typedef struct zip zip_t;
typedef struct zip_file zip_file_t;

namespace teelink {

struct zip;

// A zip archive held in memory: entries by index in central-directory order,
// each extracted whole with its CRC-32 checked. Only stored and deflate
// entries without encryption are taken.
class CPackageReader {
public:
    CPackageReader() = default;
    ~CPackageReader();
    CPackageReader(const CPackageReader&) = delete;
    CPackageReader& operator=(const CPackageReader&) = delete;

    // False when the bytes hold no valid archive (an empty buffer included).
    bool Open(const uint8_t* data, uint64_t size);
    void Close();
    bool IsOpen() const { return m_archive != nullptr; }

    uint64_t EntryCount() const;
    // The uncompressed size the directory records for entry `index`.
    bool EntrySize(uint64_t index, uint64_t& size) const;
    // The size the directory records for the entry's stored bytes.
    bool CompressedSize(uint64_t index, uint64_t& size) const;
    // Extracts entry `index` (exactly `size` bytes) into the start of `dest`.
    bool Extract(uint64_t index, uint64_t size, uint8_t* dest) const;

    enum class StreamEnd { Complete, Failed, Interrupted };
    // Reads entry `index` (exactly `size` bytes) through `buffer` piece by
    // piece, handing each piece to `sink`, which returns false to stop the
    // read. The CRC-32 is checked at the end as for Extract; the memory used is
    // the buffer's, whatever the entry's size.
    StreamEnd Stream(uint64_t index, uint64_t size, std::span<uint8_t> buffer,
                     const std::function<bool(std::span<const uint8_t>)>& sink) const;

private:
    // The entry opened for reading; null for a method or encryption the
    // package format does not allow.
    zip_file_t* OpenEntry(uint64_t index) const;

    zip_t* m_archive = nullptr;
};

}  // namespace teelink
