// The package reader over arbitrary bytes: open, count, size and extract every
// entry as the write worker does, with the extraction buffer sized from the
// directory record.
#include <cstdlib>
#include <vector>

#include "update/PackageReader.h"

namespace teelink {

namespace {

// Entries the directory claims to be larger are skipped: the write worker
// refuses sizes beyond its own limit before it allocates, and the fuzzer's
// memory is small.
constexpr uint64_t kMaxEntry = 4u << 20;
constexpr uint64_t kMaxEntries = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CPackageReader reader;
    if (!reader.Open(data, size)) {
        return 0;
    }
    const uint64_t count = reader.EntryCount();
    for (uint64_t i = 0; i < count && i < kMaxEntries; ++i) {
        uint64_t entrySize = 0;
        if (!reader.EntrySize(i, entrySize) || entrySize > kMaxEntry) {
            continue;
        }
        // The worker's buffer: the entry, then room for its last block.
        std::vector<uint8_t> buffer(entrySize + 4096, 0);
        if (reader.Extract(i, entrySize, buffer.data())) {
            // Nothing is written past the entry.
            for (size_t k = entrySize; k < buffer.size(); ++k) {
                if (buffer[k] != 0) {
                    std::abort();
                }
            }
        }
    }
    return 0;
}

}  // namespace teelink
