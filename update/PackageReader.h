#pragma once

#include <cstdint>
#include <vector>

typedef struct zip zip_t;

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
    // Extracts entry `index` (exactly `size` bytes) into the start of `dest`.
    bool Extract(uint64_t index, uint64_t size, uint8_t* dest) const;

private:
    zip_t* m_archive = nullptr;
};

}  // namespace teelink
