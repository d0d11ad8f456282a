#pragma once

// Builds update packages: zip archives whose entries are "TL", a 32-bit
// little-endian device address and the payload written from that address.

#include <cstdint>
#include <string>
#include <vector>

#include "refserver/AnswerWriter.h"  // PackageAnswer: the package as the server sends it

namespace teelink {

struct CPackageEntry {
    std::string name;
    std::vector<uint8_t> content;  // the whole entry, usually MakeEntry(...)
    bool deflate = true;
};

// "TL", the address, then the payload.
std::vector<uint8_t> MakeEntry(uint32_t address, const std::vector<uint8_t>& payload);

// The zip archive of the entries, in order. Empty on failure.
std::vector<uint8_t> BuildPackage(const std::vector<CPackageEntry>& entries);

// A course data header block: "TL", eleven bytes, the six-digit date, then zeros
// up to `size` bytes.
std::vector<uint8_t> CourseDataHeader(const std::string& date, size_t size = 4096);

}  // namespace teelink
