#include <gtest/gtest.h>

#include "core/MessageTable.h"
#include "core/TeelinkDoc.h"
#include "device/DeviceList.h"
#include "testsupport/Recorders.h"

namespace teelink {

namespace {

// On Windows the version comes from the executable's version resource, which
// this test program carries as the tool does.
TEST(Document, StartsEmptyWithTheBuildsToolVersion) {
    CRecordingNotifier notifier;
    CMessageTable messages;
    CDeviceList devices;
    CTeelinkDoc doc(messages);
    EXPECT_EQ(doc.m_strToolVersion, L"1.0.0.3");
    EXPECT_TRUE(doc.m_strModel.empty());
    EXPECT_TRUE(doc.m_areaList.empty());
    EXPECT_EQ(doc.m_nUpdateMode, 0);
    EXPECT_EQ(doc.m_nAreaIndex, 0);
    for (const FavoriteSlot& slot : doc.m_favourites) {
        EXPECT_EQ(slot.n, 0);
        EXPECT_EQ(slot.serverDate[0], '\0');
        EXPECT_TRUE(slot.name.empty());
    }
}

TEST(Document, AnEmptyToolVersionRemainsPossible) {
    CRecordingNotifier notifier;
    CMessageTable messages;
    CDeviceList devices;
    CTeelinkDoc doc(messages, L"");
    EXPECT_TRUE(doc.m_strToolVersion.empty());
}

TEST(Document, FavoriteSlotResetClearsEverything) {
    FavoriteSlot slot;
    slot.n = 7;
    slot.s = 2;
    slot.g = 9;
    slot.deviceDate[0] = '2';
    slot.serverDate[3] = '1';
    slot.name = L"x";
    slot.Reset();
    EXPECT_EQ(slot.n, 0);
    EXPECT_EQ(slot.s, 0);
    EXPECT_EQ(slot.g, 0);
    EXPECT_EQ(slot.deviceDate, (std::array<char, 11>{}));
    EXPECT_EQ(slot.serverDate, (std::array<char, 11>{}));
    EXPECT_TRUE(slot.name.empty());
}

}  // namespace

}  // namespace teelink
