#include <gtest/gtest.h>

#include "catalogue/Catalogue.h"
#include "startup/StartupRequests.h"
#include "testsupport/ServerTestSupport.h"
#include "updateclient/RequestForms.h"
#include "updateclient/TextConvert.h"

namespace teelink {

namespace {

class LatestVersions : public ::testing::Test, protected CServerFixture {
protected:
    void Preset() {
        doc.m_strLatestTool = L"old";
        doc.m_strLatestR7 = L"old7";
    }
};

TEST_F(LatestVersions, FourFieldsEachEndedByAColon) {
    server.Answer(Framed("a:b:c:d:"));
    ASSERT_EQ(QueryLatestVersions(doc).Code(), 0);
    EXPECT_EQ(doc.m_strLatestTool, L"a");
    EXPECT_EQ(doc.m_strLatestR7, L"b");
    EXPECT_EQ(doc.m_strLatestR8, L"c");
    EXPECT_EQ(doc.m_strLatestKS2, L"d");
    EXPECT_EQ(server.Queries(), std::vector<std::string>{"md=1"});
}

TEST_F(LatestVersions, AFirstFieldOfTwentyCharactersWithoutColonEmptiesAllFour) {
    server.Answer(Framed(std::string(20, 'x') + ":1.0:2.0:3.0:"));
    ASSERT_EQ(QueryLatestVersions(doc).Code(), 0);
    EXPECT_EQ(doc.m_strLatestTool, L"");
    EXPECT_EQ(doc.m_strLatestR7, L"");
    EXPECT_EQ(doc.m_strLatestR8, L"");
    EXPECT_EQ(doc.m_strLatestKS2, L"");
}

TEST_F(LatestVersions, AFieldOfNineteenCharactersIsTakenWhole) {
    const std::string nineteen = "1.2.3.4.5.6.7.8.9.0";
    ASSERT_EQ(nineteen.size(), 19u);
    server.Answer(Framed(nineteen + ":r7:r8:ks:"));
    ASSERT_EQ(QueryLatestVersions(doc).Code(), 0);
    EXPECT_EQ(WideToUtf8(doc.m_strLatestTool), nineteen);
    EXPECT_EQ(doc.m_strLatestKS2, L"ks");
}

TEST_F(LatestVersions, AMissingFinalColonLeavesOnlyTheLastFieldEmpty) {
    server.Answer(Framed("1.0.0.3:1.05:2.10:3.00"));
    ASSERT_EQ(QueryLatestVersions(doc).Code(), 0);
    EXPECT_EQ(doc.m_strLatestTool, L"1.0.0.3");
    EXPECT_EQ(doc.m_strLatestR8, L"2.10");
    EXPECT_EQ(doc.m_strLatestKS2, L"");
}

TEST_F(LatestVersions, AnHtmlErrorPageIsMalformedAndChangesNothing) {
    Preset();
    server.Answer("<html><body>500 Internal Server Error</body></html>");
    EXPECT_EQ(QueryLatestVersions(doc).Code(), -2);
    EXPECT_EQ(doc.m_strLatestTool, L"old");
    EXPECT_EQ(doc.m_strLatestR7, L"old7");
}

TEST_F(LatestVersions, AnEmptyBodyIsMalformed) {
    server.Answer("");
    EXPECT_EQ(QueryLatestVersions(doc).Code(), -2);
}

TEST_F(LatestVersions, ABodyLongerThan1024BytesIsCut) {
    server.Answer(Framed("9.9:1:2:3:") + std::string(5000, 'z'));
    ASSERT_EQ(QueryLatestVersions(doc).Code(), 0);
    EXPECT_EQ(doc.m_strLatestTool, L"9.9");
}

TEST(LatestVersionsOpen, ARefusedConnectionIsAnOpenFailure) {
    CDeviceList devices{CDeviceBusConfig{"", false, 100}};
    CRecordingNotifier notifier;
    CMessageTable messages;
    CTeelinkDoc doc{messages};
    doc.m_strScriptUrl = RefusedScriptUrl();
    EXPECT_EQ(QueryLatestVersions(doc).Code(), -1);
    EXPECT_EQ(DownloadAreaList(doc, 0).Code(), -1);
}

TEST_F(LatestVersions, LatestVersionForModelPicksTheConnectedModel) {
    server.Answer(Framed("1.0:7.7:8.8:2.2:"));
    ASSERT_EQ(QueryLatestVersions(doc).Code(), 0);
    EXPECT_EQ(LatestVersionForModel(doc), L"---");  // no device yet
    doc.m_strModel = L"R7";
    EXPECT_EQ(LatestVersionForModel(doc), L"7.7");
    doc.m_strModel = L"R8";
    EXPECT_EQ(LatestVersionForModel(doc), L"8.8");
    doc.m_strModel = L"KS2";
    EXPECT_EQ(LatestVersionForModel(doc), L"2.2");
    doc.m_strModel = L"ks2";
    EXPECT_EQ(LatestVersionForModel(doc), L"---");
}

class AreaList : public ::testing::Test, protected CServerFixture {};

std::string Record(const std::string& code, const std::string& name) {
    return std::string(1, static_cast<char>(code.size())) + code +
           std::string(1, static_cast<char>(name.size())) + name;
}

TEST_F(AreaList, RecordsAreListedInOrderWithTheirUtf8Names) {
    const std::string records = Record("JP", "日本") + Record("KR", "한국");
    server.Answer(Framed(Le16(1 + records.size()) + "\x02" + records));
    ASSERT_EQ(DownloadAreaList(doc, LANGUAGE_KOREAN).Code(), 0);
    ASSERT_EQ(doc.m_areaList.size(), 2u);
    EXPECT_EQ(doc.m_areaList[0].code, L"JP");
    EXPECT_EQ(doc.m_areaList[0].name, L"日本");
    EXPECT_EQ(doc.m_areaList[1].name, L"한국");
    EXPECT_EQ(server.Queries(), std::vector<std::string>{"md=14&l=2"});
}

TEST_F(AreaList, NoRecordsIsAnEmptyListAndSuccess) {
    doc.m_areaList.push_back({L"old", L"old"});
    server.Answer(Framed(Le16(1) + std::string(1, '\0')));
    EXPECT_EQ(DownloadAreaList(doc, 0).Code(), 0);
    EXPECT_TRUE(doc.m_areaList.empty());
}

TEST_F(AreaList, ADeclaredLengthTooSmallKeepsTheRecordsThatFit) {
    const std::string first = Record("JP", "Japan");
    const std::string records = first + Record("KR", "Korea");
    // L covers N and the first record only.
    server.Answer(Framed(Le16(1 + first.size()) + "\x02" + records));
    EXPECT_EQ(DownloadAreaList(doc, 0).Code(), -3);
    ASSERT_EQ(doc.m_areaList.size(), 1u);
    EXPECT_EQ(doc.m_areaList[0].name, L"Japan");
}

TEST_F(AreaList, ARecordRunningPastTheBufferIsCut) {
    // N claims more records than 1024 bytes can hold; L claims the maximum.
    std::string records;
    for (int i = 0; i < 10; ++i) {
        records += Record("AA", std::string(200, 'n'));
    }
    server.Answer(Framed(Le16(0xFFFF) + "\x0A" + records));
    EXPECT_EQ(DownloadAreaList(doc, 0).Code(), -3);
    EXPECT_EQ(doc.m_areaList.size(), 4u);  // 4 x 205 bytes fit after the 6-byte head
}

TEST_F(AreaList, AMalformedAnswerLeavesTheListEmpty) {
    doc.m_areaList.push_back({L"old", L"old"});
    server.Answer("TL!oops");
    EXPECT_EQ(DownloadAreaList(doc, 0).Code(), -2);
    EXPECT_TRUE(doc.m_areaList.empty());
}

TEST(Utf8ToWide, TextsBeyond1022WideCharactersComeOutEmpty) {
    EXPECT_EQ(Utf8ToWide(std::string(1022, 'a').c_str()).size(), 1022u);
    EXPECT_EQ(Utf8ToWide(std::string(1023, 'a').c_str()), L"");
    // Three bytes per character in UTF-8, one wide character each.
    std::string kana;
    for (int i = 0; i < 1022; ++i) {
        kana += "あ";
    }
    EXPECT_EQ(Utf8ToWide(kana.c_str()).size(), 1022u);
    EXPECT_EQ(Utf8ToWide((kana + "あ").c_str()), L"");
}

TEST(Utf8ToWide, InvalidBytesBecomeReplacementCharacters) {
    EXPECT_EQ(Utf8ToWide("a\xFF"
                         "b"),
              L"a\uFFFDb");
    EXPECT_EQ(Utf8ToWide("\xE3\x81"), L"\uFFFD\uFFFD");  // truncated sequence
    EXPECT_EQ(Utf8ToWide(""), L"");
}

TEST(RequestForms, EveryFormIsBuiltWithItsParametersInOrder) {
    const std::string base = "http://h/r7r8/index.php";
    EXPECT_EQ(LatestVersionsUrl(base), base + "?md=1");
    EXPECT_EQ(AreaListUrl(base, 3), base + "?md=14&l=3");
    EXPECT_EQ(CourseDataUrl(base, L"R8", L"JP", L"161101"),
              base + "?md=4&pd=R8&ga=JP&udate=161101");
    EXPECT_EQ(SystemDataUrl(base, L"KS2", L"1A"), base + "?md=3&pd=KS2&mdl=1A");
    EXPECT_EQ(FavoriteDataUrl(base, L"R7", std::string(150, '0')),
              base + "?md=13&pd=R7&f=" + std::string(150, '0'));
    EXPECT_EQ(CourseInfoUrl(base, 1, 65535, 255, 7), base + "?md=5&l=1&n=65535&s=255&g=7");
    EXPECT_EQ(CatalogueUrl(base, 4, L"&md=6"), base + "?l=4&md=6");
}

TEST(RequestForms, ValuesThatWouldBreakTheQueryArePercentEncoded) {
    const std::string base = "http://h/r7r8/index.php";
    EXPECT_EQ(SystemDataUrl(base, L"R8", L"A&B"), base + "?md=3&pd=R8&mdl=A%26B");
    EXPECT_EQ(CourseDataUrl(base, L"R8", L"J #%", L"1611"),
              base + "?md=4&pd=R8&ga=J%20%23%25&udate=1611");
    EXPECT_EQ(CourseDataUrl(base, L"R8", L"日", L"x"), base + "?md=4&pd=R8&ga=%E6%97%A5&udate=x");
    EXPECT_EQ(PercentEncode(std::string_view("a-b.c_d~e")), "a-b.c_d~e");
}

TEST(FavouriteKeys, NoSlotNeedingAnUpdateGivesZeros) {
    CDeviceList devices{CDeviceBusConfig{"", false, 100}};
    CRecordingNotifier notifier;
    CMessageTable messages;
    CTeelinkDoc doc{messages};
    EXPECT_EQ(FavouriteUpdateKeys(doc), std::string(150, '0'));
}

TEST(FavouriteKeys, SlotsNeedingAnUpdateAreKeyedInLowerCaseHex) {
    CDeviceList devices{CDeviceBusConfig{"", false, 100}};
    CRecordingNotifier notifier;
    CMessageTable messages;
    CTeelinkDoc doc{messages};
    auto setDates = [](FavoriteSlot& slot, const char* device, const char* server) {
        std::copy_n(device, 10, slot.deviceDate.begin());
        std::copy_n(server, 10, slot.serverDate.begin());
    };
    FavoriteSlot& first = doc.m_favourites[1];
    first.n = 0xABCD;
    first.s = 0x0F;
    first.g = 0x0102;
    setDates(first, "2016110100", "2017031500");
    FavoriteSlot& same = doc.m_favourites[2];  // up to date
    same.n = 5;
    setDates(same, "2017031500", "2017031500");
    FavoriteSlot& unknown = doc.m_favourites[3];  // the server has no date for it
    unknown.n = 6;
    setDates(unknown, "2016110100", "0001010000");
    FavoriteSlot& last = doc.m_favourites[15];
    last.n = 1;
    last.g = 0xFFFF;
    setDates(last, "2016110100", "2016110101");
    doc.m_favourites[0] = first;  // record 0 never takes part

    const std::string keys = FavouriteUpdateKeys(doc);
    ASSERT_EQ(keys.size(), 150u);
    EXPECT_EQ(keys.substr(0, 10), "abcd0f0102");
    EXPECT_EQ(keys.substr(10, 20), std::string(20, '0'));
    EXPECT_EQ(keys.substr(140, 10), "000100ffff");
    EXPECT_TRUE(SlotNeedsUpdate(first));
    EXPECT_FALSE(SlotNeedsUpdate(same));
    EXPECT_FALSE(SlotNeedsUpdate(unknown));
}

}  // namespace

}  // namespace teelink
