#include <gtest/gtest.h>

#include <array>

#include "device/DeviceChannel.h"
#include "device/IdentityRecord.h"
#include "emulator/DeviceEmulator.h"

namespace teelink {

namespace {

std::array<uint8_t, 32> Record(std::initializer_list<std::pair<size_t, uint8_t>> bytes) {
    std::array<uint8_t, 32> record = MakeIdentityRecord("R7", "A01", "1.05");
    for (const auto& [offset, value] : bytes) {
        record[offset] = value;
    }
    return record;
}

TEST(IdentityRecord, ModelIsDecidedByAllThreeBytes) {
    struct Case {
        std::array<uint8_t, 3> bytes;
        const wchar_t* model;  // nullptr: rejected
    };
    const Case cases[] = {
        {{'R', '7', ' '}, L"R7"},    {{'R', '8', ' '}, L"R8"},   {{'K', 'S', '2'}, L"KS2"},
        {{'R', '7', 0x00}, nullptr}, {{'R', '9', ' '}, nullptr}, {{'K', 'S', ' '}, nullptr},
        {{'K', 'T', '2'}, nullptr},  {{'r', '7', ' '}, nullptr}, {{'X', '7', ' '}, nullptr},
    };
    for (const Case& c : cases) {
        const auto record = Record({{3, c.bytes[0]}, {4, c.bytes[1]}, {5, c.bytes[2]}});
        const auto identity = ParseIdentityRecord(record.data());
        if (c.model == nullptr) {
            EXPECT_FALSE(identity) << c.bytes[0] << c.bytes[1] << int(c.bytes[2]);
            continue;
        }
        ASSERT_TRUE(identity);
        EXPECT_EQ(identity->model, c.model);
        const std::array<char, 4> id = {char(c.bytes[0]), char(c.bytes[1]), char(c.bytes[2]), 0};
        EXPECT_EQ(identity->modelId, id);
    }
}

TEST(IdentityRecord, WithoutTheMarkNothingIsTaken) {
    EXPECT_FALSE(ParseIdentityRecord(Record({{0, 'T'}, {1, 'K'}}).data()));
    EXPECT_FALSE(ParseIdentityRecord(Record({{0, 0}}).data()));
}

TEST(IdentityRecord, HardwareCodeEndsAtTheFirstByteOutsideItsRange) {
    const std::pair<std::array<uint8_t, 3>, std::wstring> cases[] = {
        {{'1', 'A', 0x00}, L"1A"}, {{' ', 'A', 'B'}, L""}, {{'a', '{', 'b'}, L"a"},
        {{'.', 'z', '9'}, L".z9"}, {{'-', 'A', 'B'}, L""}, {{'A', '0', '1'}, L"A01"},
    };
    for (const auto& [bytes, expected] : cases) {
        const auto identity =
            ParseIdentityRecord(Record({{7, bytes[0]}, {8, bytes[1]}, {9, bytes[2]}}).data());
        ASSERT_TRUE(identity);
        EXPECT_EQ(identity->modelCode, expected);
    }
}

TEST(IdentityRecord, VersionTakesDotsSlashesAndDigitsOnly) {
    const std::pair<std::array<uint8_t, 5>, std::wstring> cases[] = {
        {{'1', '.', '0', '5', 0x00}, L"1.05"}, {{'1', '.', '0', '5', 'a'}, L"1.05"},
        {{'1', '0', '.', '2', '0'}, L"10.20"}, {{' ', '1', '.', '0', '0'}, L""},
        {{'1', '/', '2', ':', '3'}, L"1/2"},
    };
    for (const auto& [bytes, expected] : cases) {
        const auto identity = ParseIdentityRecord(
            Record({{11, bytes[0]}, {12, bytes[1]}, {13, bytes[2]}, {14, bytes[3]}, {15, bytes[4]}})
                .data());
        ASSERT_TRUE(identity);
        EXPECT_EQ(identity->systemVersion, expected);
    }
}

TEST(CourseDataHeader, DateNeedsTheMarkAndSixDigits) {
    std::vector<uint8_t> block(BLOCK_SIZE, 0);
    block[0] = 'T';
    block[1] = 'L';
    const std::string digits = "170315";
    std::copy(digits.begin(), digits.end(), block.begin() + 13);
    EXPECT_EQ(ParseCourseDataDate(block.data()), std::wstring(L"170315"));

    block[16] = 'x';
    EXPECT_FALSE(ParseCourseDataDate(block.data()));
    block[16] = '3';
    block[18] = '/';  // just below '0'
    EXPECT_FALSE(ParseCourseDataDate(block.data()));
    block[18] = '5';
    block[1] = 'l';
    EXPECT_FALSE(ParseCourseDataDate(block.data()));
}

}  // namespace

}  // namespace teelink
