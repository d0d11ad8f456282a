#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "catalogue/Catalogue.h"
#include "testsupport/ServerTestSupport.h"
#include "updateclient/RequestForms.h"

namespace teelink {

namespace {

std::string Item(unsigned id, unsigned sub, unsigned number, unsigned flags,
                 const std::string& name, unsigned reserved = 0) {
    return Le16(id) + std::string(1, static_cast<char>(sub)) + Le16(number) + Le16(flags) +
           Le16(reserved) + std::string(1, static_cast<char>(name.size())) + name;
}

// A list answer whose body is N and the records, with L set to fit exactly.
std::string ListAnswer(const std::string& records, int count, size_t spare = 0) {
    const std::string body =
        std::string(1, static_cast<char>(count)) + records + std::string(spare, '\x7F');
    return Framed(Le16(body.size() - 1) + body);
}

// What a job's end shows of a failure: its texts, unless its owner stopped it.
Status Shown(CRecordingNotifier& notifier, Status status) {
    if (!status && status.Failure().IsError()) {
        for (const std::string& text : status.Failure().Texts()) {
            notifier.ShowPlain(text);
        }
    }
    return status;
}

class ItemList : public ::testing::Test, protected CServerFixture {
protected:
    void SetUp() override { doc.m_itemList.push_back(CItemList{}); }  // a stale entry
};

TEST_F(ItemList, RecordsAreReadWithTheirKeysFlagsAndNames) {
    const std::string records =
        Item(0x1234, 7, 0x0BCD, 1, "富士カントリー") + Item(2, 0, 0, 0, "Seoul");
    server.Answer(ListAnswer(records, 2));
    ASSERT_TRUE(Shown(notifier, DownloadItemList(doc, L"&md=6")));
    ASSERT_EQ(doc.m_itemList.size(), 2u);
    EXPECT_EQ(doc.m_itemList[0].id, 0x1234);
    EXPECT_EQ(doc.m_itemList[0].sub, 7);
    EXPECT_EQ(doc.m_itemList[0].number, 0x0BCD);
    EXPECT_EQ(doc.m_itemList[0].flags & FLAG_HOLEVIEW, FLAG_HOLEVIEW);
    EXPECT_EQ(doc.m_itemList[0].name, L"富士カントリー");
    EXPECT_EQ(doc.m_itemList[1].name, L"Seoul");
    EXPECT_EQ(server.Queries(), std::vector<std::string>{"l=0&md=6"});
    EXPECT_TRUE(notifier.Texts().empty());
}

TEST_F(ItemList, NoRecordsIsAnEmptyListAndSuccess) {
    server.Answer(Framed(Le16(0) + std::string(1, '\0')));
    EXPECT_TRUE(Shown(notifier, DownloadItemList(doc, L"&md=6")));
    EXPECT_TRUE(doc.m_itemList.empty());
}

TEST_F(ItemList, ABodyOneByteShortOrLongIsARefusedSize) {
    const std::string good = ListAnswer(Item(1, 0, 0, 0, "a"), 1);
    for (const std::string& answer : {good.substr(0, good.size() - 1), good + "x"}) {
        notifier.Clear();
        server.Answer(answer);
        EXPECT_FALSE(Shown(notifier, DownloadItemList(doc, L"&md=6")));
        EXPECT_TRUE(doc.m_itemList.empty());
        EXPECT_EQ(notifier.Texts(), std::vector<std::string>{"Error: Read size pref"});
    }
}

TEST_F(ItemList, ABodyOfExactly1024BytesIsAccepted) {
    // One record with a 255-byte name is 265 bytes; three of them and spare bytes
    // make a body of 1024 bytes, which ends with a read of 0 bytes.
    const std::string records = Item(1, 0, 0, 0, std::string(255, 'a')) +
                                Item(2, 0, 0, 0, std::string(255, 'b')) +
                                Item(3, 0, 0, 0, std::string(255, 'c'));
    const size_t spare = 1024 - 1 - records.size();
    server.Answer(ListAnswer(records, 3, spare));
    ASSERT_TRUE(Shown(notifier, DownloadItemList(doc, L"&md=6")));
    EXPECT_EQ(doc.m_itemList.size(), 3u);
}

// A level is shown whole or not at all.
TEST_F(ItemList, ARecordOneBytePastTheBodyFailsAndLeavesNoHalfList) {
    const std::string records = Item(1, 0, 0, 0, "first") + Item(2, 0, 0, 0, "second");
    const std::string body = std::string(1, '\x02') + records;
    // L + 1 is one byte short of the second record's end.
    server.Answer(Framed(Le16(body.size() - 2) + body.substr(0, body.size() - 1)));
    doc.m_itemList.push_back(CItemList{});  // the level before
    EXPECT_FALSE(Shown(notifier, DownloadItemList(doc, L"&md=6")));
    EXPECT_TRUE(doc.m_itemList.empty());
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>{"Error: Read data pref"});
}

TEST_F(ItemList, SpareBytesAfterTheLastRecordAreIgnored) {
    server.Answer(ListAnswer(Item(9, 0, 0, 0, "x"), 1, 40));
    ASSERT_TRUE(Shown(notifier, DownloadItemList(doc, L"&md=6")));
    EXPECT_EQ(doc.m_itemList.size(), 1u);
}

TEST_F(ItemList, NamesEndAtAZeroByteAndOnlyBitZeroMeansHoleview) {
    server.Answer(
        ListAnswer(Item(1, 0, 0, 2, std::string("ab\0cd", 5), 0xFFFF) + Item(2, 0, 0, 0, ""), 2));
    ASSERT_TRUE(Shown(notifier, DownloadItemList(doc, L"&md=6")));
    ASSERT_EQ(doc.m_itemList.size(), 2u);
    EXPECT_EQ(doc.m_itemList[0].name, L"ab");
    EXPECT_EQ(doc.m_itemList[0].flags & FLAG_HOLEVIEW, 0u);
    EXPECT_EQ(doc.m_itemList[1].name, L"");
}

TEST_F(ItemList, BrokenFramingOrServerFailsWithItsText) {
    server.Answer("TL");
    EXPECT_FALSE(Shown(notifier, DownloadItemList(doc, L"&md=6")));
    doc.m_strScriptUrl = RefusedScriptUrl();
    EXPECT_FALSE(Shown(notifier, DownloadItemList(doc, L"&md=6")));
    EXPECT_EQ(notifier.Texts(),
              (std::vector<std::string>{"Error: Download data pref", "Error: Connect server"}));
}

TEST_F(ItemList, NoPieceIsAskedForAfterTheOneThatPassesTheDeclaredLength) {
    // L + 1 is 1024: the second piece carries byte L + 2, and the server then holds
    // the rest back. A reader that asked for a third piece would wait for it.
    const std::string answer =
        ListAnswer(Item(1, 0, 0, 0, "a"), 1, 1024 - 12) + std::string(4096, 'x');
    server.Answer(answer);
    server.HoldAnswersAfter(5 + 2048);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Shown(notifier, DownloadItemList(doc, L"&md=6")));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>{"Error: Read size pref"});
}

TEST_F(ItemList, AStopInTheMiddleOfTheBodyEndsTheRequestAtOnceAndSilently) {
    const std::string records = Item(1, 0, 0, 0, std::string(200, 'a')) + Item(2, 0, 0, 0, "b");
    server.Answer(ListAnswer(records, 2));
    server.HoldAnswersAfter(100);
    std::atomic<bool> stop{false};
    std::atomic<bool> result{true};
    // On a job's thread, with what the request needs copied from the document.
    std::thread worker([&, order = CatalogueOrderOf(doc)] {
        auto list = FetchItemList(order, L"&md=6", &stop);
        result = list.Ok();
        if (!list) {
            EXPECT_EQ(list.Failure().Kind(), FailureKind::Stopped);
        }
    });
    while (server.Queries().empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto asked = std::chrono::steady_clock::now();
    stop = true;
    worker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(2));
    EXPECT_FALSE(result.load());
    EXPECT_TRUE(notifier.Texts().empty());
}

TEST(LevelQueryTest, EachLevelCarriesItsKeys) {
    CMessageTable messages;
    CTeelinkDoc doc{messages};
    doc.m_nAreaIndex = -1;
    doc.m_nSelN = 65535;
    doc.m_nSelR = 200;
    doc.m_nSelS = 3;
    doc.m_nSelIl = 4;
    doc.m_nSelI = 5;
    EXPECT_EQ(LevelQuery(1, doc), L"&md=6");
    EXPECT_EQ(LevelQuery(2, doc), L"&md=7&a=-1");
    EXPECT_EQ(LevelQuery(3, doc), L"&md=8&n=65535");
    EXPECT_EQ(LevelQuery(4, doc), L"&md=9&n=65535&r=200");
    EXPECT_EQ(LevelQuery(5, doc), L"&md=10&n=65535");
    EXPECT_EQ(LevelQuery(6, doc), L"&md=11&n=65535&il=4");
    EXPECT_EQ(LevelQuery(7, doc), L"&md=12&n=65535&s=3&i=5");
}

class CourseInfo : public ::testing::Test, protected CServerFixture {
protected:
    FavoriteSlot& Slot() { return doc.m_favourites[4]; }
    void SetUp() override {
        Slot().n = 12;
        Slot().s = 3;
        Slot().g = 400;
        std::copy_n("2016110100", 10, Slot().deviceDate.begin());
    }
};

TEST_F(CourseInfo, TheServerDateAndNameAreStored) {
    const std::string info = std::string("2017031500") + "Ocean Links";
    server.Answer(Framed(std::string(1, static_cast<char>(info.size())) + info));
    ASSERT_TRUE(Shown(notifier, DownloadCourseInfo(doc, 4)));
    EXPECT_STREQ(Slot().serverDate.data(), "2017031500");
    EXPECT_EQ(Slot().name, L"Ocean Links");
    EXPECT_STREQ(Slot().deviceDate.data(), "2016110100");
    EXPECT_EQ(server.Queries(), std::vector<std::string>{"md=5&l=0&n=12&s=3&g=400"});
}

TEST_F(CourseInfo, TenBytesGiveTheDateAndAnEmptyName) {
    Slot().name = L"old";
    server.Answer(Framed(std::string(1, '\x0A') + "2017031500"));
    ASSERT_TRUE(Shown(notifier, DownloadCourseInfo(doc, 4)));
    EXPECT_STREQ(Slot().serverDate.data(), "2017031500");
    EXPECT_EQ(Slot().name, L"");
}

TEST_F(CourseInfo, FewerThanTenBytesLeaveTheMissingDateCharactersZero) {
    server.Answer(Framed(std::string(1, '\x04') + "2017"));
    ASSERT_TRUE(Shown(notifier, DownloadCourseInfo(doc, 4)));
    EXPECT_STREQ(Slot().serverDate.data(), "2017");
    EXPECT_EQ(Slot().name, L"");
}

TEST_F(CourseInfo, AnAnswerOfOnlyTheFramingGivesAZeroDateAndNoName) {
    std::copy_n("2017031500", 11, Slot().serverDate.begin());
    Slot().name = L"old";
    server.Answer(std::string("TL\0", 3));
    ASSERT_TRUE(Shown(notifier, DownloadCourseInfo(doc, 4)));
    EXPECT_TRUE(std::all_of(Slot().serverDate.begin(), Slot().serverDate.end(),
                            [](char c) { return c == 0; }));
    EXPECT_EQ(Slot().name, L"");
    EXPECT_TRUE(notifier.Texts().empty());
}

TEST_F(CourseInfo, AnAnswerShorterThanTheFramingIsMalformed) {
    for (const std::string& answer : {std::string("TL"), std::string()}) {
        notifier.Clear();
        server.Answer(answer);
        EXPECT_FALSE(Shown(notifier, DownloadCourseInfo(doc, 4)));
        EXPECT_EQ(notifier.Texts(), std::vector<std::string>{"Error: Download data"});
    }
}

TEST_F(CourseInfo, ANonZeroThirdByteIsMalformed) {
    server.Answer(
        "TL\x01\x0A"
        "2017031500");
    EXPECT_FALSE(Shown(notifier, DownloadCourseInfo(doc, 4)));
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>{"Error: Download data"});
}

TEST_F(CourseInfo, AnEmptySlotIsNotAskedAbout) {
    Slot().n = 0;
    Slot().g = 7;
    EXPECT_TRUE(Shown(notifier, DownloadCourseInfo(doc, 4)));
    EXPECT_TRUE(server.Queries().empty());
}

}  // namespace

}  // namespace teelink
