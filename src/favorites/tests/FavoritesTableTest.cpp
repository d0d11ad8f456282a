#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "common/ByteOrder.h"
#include "core/MessageTable.h"
#include "core/TeelinkDoc.h"
#include "device/Protocol.h"
#include "favorites/FavoritesJobs.h"
#include "favorites/FavoritesTable.h"
#include "testsupport/DeviceTestSupport.h"
#include "testsupport/OwnerThread.h"

namespace teelink {

namespace {

using Table = std::array<uint8_t, FAVORITES_TABLE_SIZE>;

void PutEntry(Table& table, size_t k, uint16_t n, uint8_t s, uint16_t g, const char (&date)[11]) {
    uint8_t* entry = table.data() + k * FAVORITE_ENTRY_SIZE;
    teelink::StoreLe16(entry, n);
    entry[2] = s;
    teelink::StoreLe16(entry + 3, g);
    std::memcpy(entry + 5, date, 10);
}

std::string Date(const FavoriteSlot& slot) {
    return std::string(slot.deviceDate.data(), 10);
}

TEST(FavoritesTable, EntriesDecodeLittleEndianWithTheDateCopiedUnchanged) {
    Table table{};
    PutEntry(table, 0, 0x0102, 0x03, 0x0405, "1703151200");
    PutEntry(table, 9, 0xFEDC, 0xBA, 0x9876, "\xFF\x01 ab\x7F:9zZ");
    PutEntry(table, 15, 1, 0, 0xFFFF, "0001010000");
    std::array<FavoriteSlot, FAVORITE_SLOT_COUNT> slots{};
    slots[9].name = L"stale";
    std::copy_n("1111111111", 10, slots[9].serverDate.begin());

    DecodeFavoritesTable(table, slots);

    EXPECT_EQ(slots[0].n, 0x0102);
    EXPECT_EQ(slots[0].s, 0x03);
    EXPECT_EQ(slots[0].g, 0x0405);
    EXPECT_EQ(Date(slots[0]), "1703151200");
    EXPECT_EQ(slots[9].n, 0xFEDC);
    EXPECT_EQ(slots[9].s, 0xBA);
    EXPECT_EQ(slots[9].g, 0x9876);
    EXPECT_EQ(Date(slots[9]), std::string("\xFF\x01 ab\x7F:9zZ"));
    EXPECT_EQ(slots[9].deviceDate[10], '\0');
    // The server's side is not known until the course check.
    EXPECT_EQ(slots[9].name, L"");
    EXPECT_EQ(slots[9].serverDate[0], '\0');
    EXPECT_EQ(slots[15].g, 0xFFFF);
    EXPECT_EQ(slots[8].n, 0);
    EXPECT_EQ(Date(slots[8]), std::string(10, '\0'));
}

class FavoritesRead : public DeviceTest {
protected:
    void SetUp() override {
        for (FavoriteSlot& slot : doc.m_favourites) {
            slot.n = 99;  // left from an earlier visit
            slot.name = L"old";
        }
    }
    // The read as the favourites page runs it: through a job runner, its
    // result into the document. False when it failed.
    bool Read(const CDevice& device) {
        auto read =
            RunThroughRunner<FavoriteSlots>(m_notifier, CJobPlace{device, {}}, FavoritesReadJob);
        EXPECT_TRUE(read.has_value());
        ApplyFavoritesRead(doc, *read);
        return read->Ok();
    }
    CMessageTable messages;
    CTeelinkDoc doc{messages};
};

TEST_F(FavoritesRead, TheJobReadsTheDevicesTableIntoAllSixteenRecords) {
    CEmulatorConfig config = Config();
    Table table{};
    PutEntry(table, 0, 12, 3, 45, "1612011000");
    PutEntry(table, 4, 0x0201, 7, 0x0403, "1703151200");
    std::copy(table.begin(), table.end(), config.favorites.begin());
    StartDevice(config);
    const CDevice device = TheDevice();

    EXPECT_TRUE(Read(device));
    EXPECT_EQ(doc.m_favourites[0].n, 12);
    EXPECT_EQ(doc.m_favourites[0].g, 45);
    EXPECT_EQ(doc.m_favourites[4].n, 0x0201);
    EXPECT_EQ(Date(doc.m_favourites[4]), "1703151200");
    for (size_t k : {1u, 2u, 3u, 5u, 15u}) {
        EXPECT_EQ(doc.m_favourites[k].n, 0) << k;
        EXPECT_EQ(doc.m_favourites[k].name, L"") << k;
    }
    EXPECT_TRUE(m_notifier.Texts().empty());
}

TEST_F(FavoritesRead, ARefusedReadShowsTheDevicesTextThenFails) {
    CEmulatorConfig config = Config();
    config.faults.refuseAckFor = CMD_READ_FAVORITES;
    StartDevice(config);
    const CDevice device = TheDevice();

    EXPECT_FALSE(Read(device));
    EXPECT_EQ(m_notifier.Texts(), std::vector<std::string>{DeviceErrorText(ERR_ACK)});
    // Nothing of the earlier visit survives a failed read.
    EXPECT_EQ(doc.m_favourites[3].n, 0);
    EXPECT_EQ(doc.m_favourites[3].name, L"");
}

TEST_F(FavoritesRead, WithoutADeviceTheOpenErrorIsShownAndTheJobFails) {
    ASSERT_EQ(m_list.Enumerate(), 0);
    EXPECT_FALSE(Read(CDevice()));
    EXPECT_EQ(m_notifier.Texts(), std::vector<std::string>{"USB Open Error"});
}

TEST_F(FavoritesRead, AStoppedJobReadsNothing) {
    const CDeviceEmulator& emulated = StartDevice();
    const CDevice device = TheDevice();
    m_stop.Request(StopReason::Owner);
    const Result<FavoriteSlots> read = FavoritesReadJob(Context(device));
    ASSERT_FALSE(read);
    EXPECT_EQ(read.Failure().Kind(), FailureKind::Stopped);
    EXPECT_TRUE(emulated.CommandLog().empty());
}

}  // namespace

}  // namespace teelink
