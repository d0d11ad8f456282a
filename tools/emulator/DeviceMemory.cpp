#include "emulator/DeviceMemory.h"

#include <algorithm>
#include <array>
#include <fstream>

#include "common/ByteOrder.h"

namespace teelink {

CDeviceMemory::Page& CDeviceMemory::PageFor(uint32_t address) {
    auto& page = m_pages[address / kPageSize];
    if (!page) {
        page = std::make_unique<Page>();
        page->fill(kErased);
    }
    return *page;
}

void CDeviceMemory::Write(uint32_t address, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const uint32_t at = address + static_cast<uint32_t>(done);
        const size_t offset = at % kPageSize;
        const size_t count = std::min(kPageSize - offset, bytes.size() - done);
        std::copy_n(bytes.begin() + static_cast<ptrdiff_t>(done), count,
                    PageFor(at).begin() + static_cast<ptrdiff_t>(offset));
        done += count;
    }
}

void CDeviceMemory::Read(uint32_t address, std::span<uint8_t> dest) const {
    size_t done = 0;
    while (done < dest.size()) {
        const uint32_t at = address + static_cast<uint32_t>(done);
        const size_t offset = at % kPageSize;
        const size_t count = std::min(kPageSize - offset, dest.size() - done);
        const auto page = m_pages.find(at / kPageSize);
        const auto out = dest.begin() + static_cast<ptrdiff_t>(done);
        if (page == m_pages.end()) {
            std::fill_n(out, count, kErased);
        } else {
            std::copy_n(page->second->begin() + static_cast<ptrdiff_t>(offset), count, out);
        }
        done += count;
    }
}

std::vector<uint8_t> CDeviceMemory::Read(uint32_t address, size_t length) const {
    std::vector<uint8_t> bytes(length);
    Read(address, bytes);
    return bytes;
}

void CDeviceMemory::Fill(uint32_t address, size_t length, uint8_t value) {
    const std::vector<uint8_t> bytes(length, value);
    Write(address, bytes);
}

std::vector<CDeviceMemory::Run> CDeviceMemory::WrittenRuns() const {
    std::vector<Run> runs;
    uint32_t nextPage = 0;
    for (const auto& [number, page] : m_pages) {
        if (runs.empty() || number != nextPage) {
            runs.push_back(Run{static_cast<uint32_t>(number * kPageSize), {}});
        }
        runs.back().bytes.insert(runs.back().bytes.end(), page->begin(), page->end());
        nextPage = number + 1;
    }
    return runs;
}

bool CDeviceMemory::Dump(const std::string& path) const {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    for (const Run& run : WrittenRuns()) {
        std::array<uint8_t, 8> head{};
        teelink::StoreLe32(head.data(), run.address);
        teelink::StoreLe32(head.data() + 4, static_cast<uint32_t>(run.bytes.size()));
        file.write(reinterpret_cast<const char*>(head.data()), head.size());
        file.write(reinterpret_cast<const char*>(run.bytes.data()),
                   static_cast<std::streamsize>(run.bytes.size()));
    }
    file.close();
    return !file.fail();
}

}  // namespace teelink
