#pragma once

// The device's table of favourite courses, read into the document's sixteen
// favourite records. Record 0 is read like the others; only slots 1 to 15 are
// shown and sent.

#include <array>
#include <cstdint>
#include <span>

#include "common/Result.h"
#include "updateclient/CatalogueRecords.h"

namespace teelink {

class CDevice;

inline constexpr size_t FAVORITE_ENTRY_SIZE = 15;

// Entry k of the table (16 entries of 15 bytes) into `slots[k]`: n, s and g
// little-endian, the ten date characters as they are. The server's fields are
// reset; they come from the course check later.
void DecodeFavoritesTable(std::span<const uint8_t> table, std::span<FavoriteSlot> slots);

// The sixteen records of `device`'s table; the failure when the channel could
// not be opened or the device refused the read.
Result<std::array<FavoriteSlot, FAVORITE_SLOT_COUNT>> ReadFavoriteSlots(const CDevice& device);

}  // namespace teelink
