#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "catalogue/Catalogue.h"
#include "favorites/FavoritesJobs.h"
#include "refserver/AnswerWriter.h"
#include "testsupport/OwnerThread.h"
#include "testsupport/ServerTestSupport.h"

namespace teelink {

namespace {

using namespace std::chrono_literals;

// The n of a course query, or -1.
int QueriedN(const std::string& query) {
    const size_t at = query.find("&n=");
    return at == std::string::npos ? -1 : std::stoi(query.substr(at + 3));
}

class CourseCheck : public ::testing::Test, protected CServerFixture {
protected:
    void Use(size_t k, uint16_t n, uint8_t s, uint16_t g, const char* deviceDate) {
        FavoriteSlot& slot = doc.m_favourites[k];
        slot.n = n;
        slot.s = s;
        slot.g = g;
        std::copy_n(deviceDate, 10, slot.deviceDate.begin());
    }
    // Every course is known, dated `date`, named after its n.
    void ServeCourses(const std::string& date, int failingN = -1) {
        server.AnswerWith([date, failingN](const std::string& query) {
            const int n = QueriedN(query);
            return n == failingN ? std::string("<html>error</html>")
                                 : CourseInfoAnswer(date, "Course " + std::to_string(n));
        });
    }
    CJobRunner<FavoriteSlots>::Job Job() {
        return [order = CatalogueOrderOf(doc), slots = doc.m_favourites](
                   const CJobContext& context) { return CourseCheckJob(order, slots, context); };
    }
    // The check as the favourites page runs it; the slots go into the document
    // when it passes.
    bool Run() {
        auto checked = RunThroughRunner<FavoriteSlots>(
            notifier, CJobPlace{CDevice(), doc.m_serverSettings}, Job());
        if (checked && *checked) {
            doc.m_favourites = checked->Value();
        }
        return checked && *checked;
    }
};

TEST_F(CourseCheck, RecordZeroIsAskedAboutButNeverCarriedInTheUpdateKeys) {
    Use(0, 12, 3, 45, "1612011000");
    ServeCourses("1712011030");
    EXPECT_TRUE(Run());
    EXPECT_EQ(server.Queries(), std::vector<std::string>{"md=5&l=0&n=12&s=3&g=45"});
    EXPECT_EQ(doc.m_favourites[0].name, L"Course 12");
    EXPECT_TRUE(SlotNeedsUpdate(doc.m_favourites[0]));
    EXPECT_EQ(FavouriteUpdateKeys(doc), std::string(150, '0'));
}

TEST_F(CourseCheck, OnlySlotsWithACourseNumberAreAskedAboutInSlotOrder) {
    Use(9, 9, 1, 1, "0000000000");
    Use(2, 0, 0, 77, "1612011000");  // n = 0 marks the slot empty, whatever g says
    Use(5, 5, 2, 300, "1712011030");
    ServeCourses("1712011030");
    EXPECT_TRUE(Run());
    EXPECT_EQ(server.Queries(),
              (std::vector<std::string>{"md=5&l=0&n=5&s=2&g=300", "md=5&l=0&n=9&s=1&g=1"}));
    EXPECT_EQ(doc.m_favourites[2].name, L"");
    EXPECT_EQ(doc.m_favourites[2].g, 77);
    // Same date on both sides: no update; another date: the slot is keyed.
    EXPECT_FALSE(SlotNeedsUpdate(doc.m_favourites[5]));
    EXPECT_EQ(FavouriteUpdateKeys(doc).substr(80, 10), "0009010001");
}

TEST_F(CourseCheck, AFailureStopsTheCheckBeforeTheFollowingRecords) {
    for (size_t k = 1; k < FAVORITE_SLOT_COUNT; ++k) {
        Use(k, static_cast<uint16_t>(k), 1, 1, "1612011000");
    }
    ServeCourses("1712011030", 7);
    EXPECT_FALSE(Run());
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>{"Error: Download data"});
    std::vector<int> asked;
    for (const std::string& query : server.Queries()) {
        asked.push_back(QueriedN(query));
    }
    EXPECT_EQ(asked, (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(doc.m_favourites[8].name, L"");
}

TEST_F(CourseCheck, AnUnreachableServerFailsWithItsText) {
    Use(1, 1, 1, 1, "1612011000");
    doc.m_strScriptUrl = RefusedScriptUrl();
    EXPECT_FALSE(Run());
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>{"Error: Connect server"});
}

TEST_F(CourseCheck, AStoppedCheckEndsPromptlyAndDeliversNothing) {
    for (size_t k = 0; k < FAVORITE_SLOT_COUNT; ++k) {
        Use(k, static_cast<uint16_t>(k + 1), 1, 1, "1612011000");
    }
    ServeCourses("1712011030");
    // Every answer stops after its framing until released, which the test never does.
    server.HoldAnswersAfter(3);
    CTestOwnerThread owner;
    CJobRunner<FavoriteSlots> runner(owner, notifier);
    bool delivered = false;
    runner.Start(CJobPlace{CDevice(), doc.m_serverSettings}, Job(),
                 [&delivered](Result<FavoriteSlots>&) { delivered = true; });
    while (server.Queries().empty()) {
        std::this_thread::sleep_for(1ms);
    }
    const auto asked = std::chrono::steady_clock::now();
    runner.StopAndWait();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
    owner.RunFor(50ms);
    EXPECT_FALSE(delivered);
    EXPECT_TRUE(notifier.Texts().empty());
    EXPECT_EQ(server.Queries().size(), 1u);
}

}  // namespace

}  // namespace teelink
