#include "favorites/FavoritesTable.h"

#include <algorithm>

#include "common/ByteOrder.h"
#include "device/DeviceChannel.h"
#include "device/Protocol.h"

namespace teelink {

void DecodeFavoritesTable(std::span<const uint8_t> table, std::span<FavoriteSlot> slots) {
    const size_t count = std::min(slots.size(), table.size() / FAVORITE_ENTRY_SIZE);
    for (size_t k = 0; k < count; ++k) {
        const uint8_t* entry = table.data() + k * FAVORITE_ENTRY_SIZE;
        FavoriteSlot& slot = slots[k];
        slot.Reset();
        slot.n = teelink::LoadLe16(entry);
        slot.s = entry[2];
        slot.g = teelink::LoadLe16(entry + 3);
        // Copied byte for byte: the date is compared with the server's as
        // characters, never interpreted.
        std::copy_n(entry + 5, 10, slot.deviceDate.begin());
    }
}

Result<std::array<FavoriteSlot, FAVORITE_SLOT_COUNT>> ReadFavoriteSlots(const CDevice& device) {
    CDeviceChannel channel;
    if (Status open = OpenChannel(device, channel); !open) {
        return open.TakeFailure();
    }
    Status read = ReadFavoritesTable(channel);
    CloseChannel(channel);
    if (!read) {
        return read.TakeFailure();
    }
    std::array<FavoriteSlot, FAVORITE_SLOT_COUNT> slots{};
    DecodeFavoritesTable(std::span(channel.data.data(), FAVORITES_TABLE_SIZE), slots);
    return slots;
}

}  // namespace teelink
