// The package reader over arbitrary bytes: open, count, size and extract every
// entry as the write worker does, with the extraction buffer sized from the
// directory record, and read it again in pieces as the check before the write
// does.
#include <cstdlib>
#include <vector>

#include "update/PackageReader.h"

namespace teelink {

namespace {

// Entries the directory claims to be larger are skipped: the write worker
// refuses sizes beyond its own limit before it allocates. Several MiB let
// deflate's long runs through (a few hundred input bytes inflate to that)
// while each run stays within the fuzzer's memory.
constexpr uint64_t kMaxEntry = 8u << 20;
constexpr uint64_t kMaxEntries = 64;

void ExtractWhole(const CPackageReader& reader, uint64_t index, uint64_t size) {
    // The worker's buffer: the entry, then room for its last block.
    std::vector<uint8_t> buffer(size + 4096, 0);
    if (reader.Extract(index, size, buffer.data())) {
        // Nothing is written past the entry.
        for (size_t k = size; k < buffer.size(); ++k) {
            if (buffer[k] != 0) {
                std::abort();
            }
        }
    }
}

// The streamed read hands over exactly the recorded size when it completes.
void ReadInPieces(const CPackageReader& reader, uint64_t index, uint64_t size) {
    std::vector<uint8_t> piece(4096);
    uint64_t seen = 0;
    const auto end = reader.Stream(index, size, piece, [&](std::span<const uint8_t> bytes) {
        if (bytes.empty() || bytes.size() > piece.size()) {
            std::abort();
        }
        seen += bytes.size();
        return true;
    });
    if ((end == CPackageReader::StreamEnd::Complete && seen != size) || seen > size) {
        std::abort();
    }
}

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
        ExtractWhole(reader, i, entrySize);
        ReadInPieces(reader, i, entrySize);
    }
    return 0;
}

}  // namespace teelink
