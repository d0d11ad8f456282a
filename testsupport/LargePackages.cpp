#include "testsupport/LargePackages.h"

#include <string>

#include "common/ByteOrder.h"
#include "refserver/PackageBuilder.h"

namespace teelink {

// An archive of `copies` copies of the one entry of `single` (names differ),
// each holding the same stored bytes: a package of many large entries without
// compressing each of them again.
std::vector<uint8_t> ReplicatedEntries(const std::vector<uint8_t>& single, uint32_t copies) {
    const uint32_t stored = teelink::LoadLe32(&single[18]);
    const size_t nameLength = teelink::LoadLe16(&single[26]);
    const size_t dataAt = 30 + nameLength + teelink::LoadLe16(&single[28]);
    std::vector<uint8_t> out;
    std::vector<uint8_t> directory;
    for (uint32_t i = 0; i < copies; ++i) {
        // (Not "e" + to_string: GCC 12 at -O3 warns of an overlap there that is none.)
        std::string name = std::to_string(1000 + i);
        name.insert(name.begin(), 'e');
        std::vector<uint8_t> local(single.begin(), single.begin() + 30);
        teelink::StoreLe16(&local[26], static_cast<uint16_t>(name.size()));
        teelink::StoreLe16(&local[28], 0);
        std::vector<uint8_t> central(46, 0);
        teelink::StoreLe32(&central[0], 0x02014b50);
        std::copy(local.begin() + 4, local.begin() + 30, central.begin() + 6);
        teelink::StoreLe32(&central[42], static_cast<uint32_t>(out.size()));
        central.insert(central.end(), name.begin(), name.end());
        directory.insert(directory.end(), central.begin(), central.end());
        out.insert(out.end(), local.begin(), local.end());
        out.insert(out.end(), name.begin(), name.end());
        out.insert(out.end(), single.begin() + static_cast<std::ptrdiff_t>(dataAt),
                   single.begin() + static_cast<std::ptrdiff_t>(dataAt + stored));
    }
    std::vector<uint8_t> end(22, 0);
    teelink::StoreLe32(&end[0], 0x06054b50);
    teelink::StoreLe16(&end[8], static_cast<uint16_t>(copies));
    teelink::StoreLe16(&end[10], static_cast<uint16_t>(copies));
    teelink::StoreLe32(&end[12], static_cast<uint32_t>(directory.size()));
    teelink::StoreLe32(&end[16], static_cast<uint32_t>(out.size()));
    out.insert(out.end(), directory.begin(), directory.end());
    out.insert(out.end(), end.begin(), end.end());
    return out;
}

// Entries of "TL", an address and 64 MiB of zeros: each inflates for a while
// from about 64 KiB of stored bytes.
std::vector<uint8_t> ZeroFilledEntries(uint32_t copies) {
    static const std::vector<uint8_t> single =
        BuildPackage({{"z", MakeEntry(0x1000, std::vector<uint8_t>(64u << 20, 0)), true}});
    return ReplicatedEntries(single, copies);
}

}  // namespace teelink
