#include <gtest/gtest.h>

#include "emulator/DeviceMemory.h"

namespace teelink {

namespace {

TEST(EmulatorMemory, UnwrittenBytesReadErasedAndWritesWrapAt4GiB) {
    CDeviceMemory memory;
    EXPECT_EQ(memory.Read(0x1234, 3), std::vector<uint8_t>(3, 0xFF));

    memory.Write(0xFFFFFFFE, std::vector<uint8_t>{1, 2, 3, 4});
    EXPECT_EQ(memory.Read(0xFFFFFFFE, 4), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(memory.Read(0, 2), (std::vector<uint8_t>{3, 4}));

    const auto runs = memory.WrittenRuns();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].address, 0u);
    EXPECT_EQ(runs[1].address, 0xFFFFF000u);
    EXPECT_EQ(runs[1].bytes.size(), 4096u);
}

TEST(EmulatorMemory, AdjacentPagesFormOneRun) {
    CDeviceMemory memory;
    memory.Fill(0x23000, 0x10000, 0x00);
    memory.Write(0x40000, std::vector<uint8_t>{9});
    const auto runs = memory.WrittenRuns();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].address, 0x23000u);
    EXPECT_EQ(runs[0].bytes, std::vector<uint8_t>(0x10000, 0x00));
    EXPECT_EQ(runs[1].bytes[0], 9);
    EXPECT_EQ(runs[1].bytes[1], 0xFF);
}

}  // namespace

}  // namespace teelink
