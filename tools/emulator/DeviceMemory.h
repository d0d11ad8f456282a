#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace teelink {

// The emulated device's flash: a sparse 32-bit address space in 4096-byte
// pages. Bytes never written read as 0xFF, as erased flash does; addresses wrap
// at 4 GiB. Not thread-safe: the emulator guards it.
class CDeviceMemory {
public:
    static constexpr uint8_t kErased = 0xFF;
    static constexpr size_t kPageSize = 4096;

    void Write(uint32_t address, std::span<const uint8_t> bytes);
    void Read(uint32_t address, std::span<uint8_t> dest) const;
    std::vector<uint8_t> Read(uint32_t address, size_t length) const;
    void Fill(uint32_t address, size_t length, uint8_t value);

    // Runs of written pages: address and bytes, in address order.
    struct Run {
        uint32_t address = 0;
        std::vector<uint8_t> bytes;
    };
    std::vector<Run> WrittenRuns() const;

    // Dump file: for each run, its address and length as little-endian 32-bit
    // numbers, then its bytes.
    bool Dump(const std::string& path) const;

private:
    using Page = std::array<uint8_t, kPageSize>;
    Page& PageFor(uint32_t address);

    std::map<uint32_t, std::unique_ptr<Page>> m_pages;  // by page number
};

}  // namespace teelink
