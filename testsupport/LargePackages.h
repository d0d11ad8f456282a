#pragma once

// Packages that take long to inflate but little to store or send: what a
// hostile server can make the check before the write chew on.

#include <cstdint>
#include <vector>

namespace teelink {

// An archive of `copies` copies of the one entry of the archive `single`
// (names differ), each holding the same stored bytes.
std::vector<uint8_t> ReplicatedEntries(const std::vector<uint8_t>& single, uint32_t copies);

// `copies` entries of "TL", address 0x1000 and 64 MiB of zeros, about 64 KiB
// stored each.
std::vector<uint8_t> ZeroFilledEntries(uint32_t copies);

}  // namespace teelink
