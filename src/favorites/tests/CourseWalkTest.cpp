#include <gtest/gtest.h>

#include <map>

#include "favorites/tests/WalkDriver.h"
#include "refserver/AnswerWriter.h"
#include "testsupport/ServerTestSupport.h"

namespace teelink {

namespace {

CListRecord Entry(uint16_t id, const std::string& name, uint8_t sub = 0, uint16_t number = 0,
                  uint16_t flags = 0) {
    return {id, sub, number, flags, name};
}

using Directory = std::map<std::string, std::vector<CListRecord>>;

// The dialog's walk against a loopback server holding `directory` (queries
// without "l=0&"); a query it does not hold gets an empty list.
class CourseWalk : public ::testing::Test, protected CServerFixture {
protected:
    void Serve(Directory directory) {
        server.AnswerWith([directory = std::move(directory)](const std::string& query) {
            const auto found = directory.find(query.substr(query.find("&md=") + 1));
            return DirectoryListAnswer(found == directory.end() ? std::vector<CListRecord>{}
                                                                : found->second);
        });
    }
    WalkAction Drive(WalkAction action) { return DriveWalk(walk, doc, notifier, action); }
    std::vector<std::string> Asked() const {
        std::vector<std::string> queries;
        for (const std::string& query : server.Queries()) {
            queries.push_back(query.substr(query.find("&md=") + 1));
        }
        return queries;
    }
    static void ExpectAction(const WalkAction& action, WalkAction::Kind kind, int level) {
        EXPECT_EQ(action.kind, kind);
        EXPECT_EQ(action.level, level);
    }

    CCourseWalk walk{doc};
};

// Level 1 holds one area; every other level holds two entries, except where a
// test gives its own.
Directory TwoOfEach() {
    return {
        {"md=6", {Entry(0x0105, "Asia")}},
        {"md=7&a=5", {Entry(300, "Japan"), Entry(2, "Korea")}},
        {"md=8&n=300", {Entry(300, "Kanto"), Entry(3, "Kansai")}},
        {"md=9&n=300&r=44", {Entry(0x0209, "Chiba"), Entry(10, "Tokyo")}},
        {"md=10&n=300", {Entry(1, "By name"), Entry(2, "By holes")}},
        {"md=11&n=300&il=2", {Entry(101, "18 holes"), Entry(102, "27 holes")}},
        {"md=12&n=300&s=9&i=101",
         {Entry(300, "Pine Hills", 9, 4660, 1), Entry(300, "Oak Field", 9, 4661, 2)}},
    };
}

TEST_F(CourseWalk, ASingleAreaIsPassedThroughAndTheCountriesAreShown) {
    Serve(TwoOfEach());
    ExpectAction(Drive(walk.Start()), WalkAction::Show, 2);
    EXPECT_EQ(doc.m_nAreaIndex, 5);  // the low 8 bits of 0x0105
    EXPECT_EQ(Asked(), (std::vector<std::string>{"md=6", "md=7&a=5"}));
    EXPECT_FALSE(walk.ShowsHoleviewColumn());
}

TEST_F(CourseWalk, EachChoiceStoresItsKeyAndTheCourseEndsTheWalk) {
    Serve(TwoOfEach());
    Drive(walk.Start());
    ExpectAction(Drive(walk.Select(0)), WalkAction::Show, 3);
    EXPECT_EQ(doc.m_nSelN, 300);
    // The region's id 300 travels in 8 bits: r=44.
    ExpectAction(Drive(walk.Select(0)), WalkAction::Show, 4);
    EXPECT_EQ(Asked().back(), "md=9&n=300&r=44");
    ExpectAction(Drive(walk.Select(0)), WalkAction::Show, 5);
    EXPECT_EQ(doc.m_nSelS, 9);
    ExpectAction(Drive(walk.Select(1)), WalkAction::Show, 6);
    EXPECT_EQ(doc.m_nSelIl, 2);
    ExpectAction(Drive(walk.Select(0)), WalkAction::Show, 7);
    EXPECT_EQ(doc.m_nSelI, 101);
    EXPECT_TRUE(walk.ShowsHoleviewColumn());

    ExpectAction(walk.Select(0), WalkAction::EndOk, 0);
    EXPECT_EQ(doc.m_nSelN, 300);
    EXPECT_EQ(doc.m_nSelS, 9);
    EXPECT_EQ(doc.m_nSelG, 4660);
    EXPECT_EQ(doc.m_strSelName, L"Pine Hills");
    EXPECT_EQ(walk.Level(), 0);
    EXPECT_EQ(walk.Select(1).kind, WalkAction::Ignore);
    EXPECT_EQ(doc.m_nSelG, 4660);
}

TEST_F(CourseWalk, LevelsSixAndSevenAreShownEvenWithOneEntry) {
    Directory directory = TwoOfEach();
    directory["md=11&n=300&il=2"] = {Entry(101, "18 holes")};
    directory["md=12&n=300&s=9&i=101"] = {Entry(300, "Pine Hills", 9, 4660, 1)};
    Serve(directory);
    Drive(walk.Start());
    for (int i = 0; i < 3; ++i) {
        Drive(walk.Select(0));
    }
    ExpectAction(Drive(walk.Select(1)), WalkAction::Show, 6);
    ExpectAction(Drive(walk.Select(0)), WalkAction::Show, 7);
}

TEST_F(CourseWalk, SteppingBackPassesBackwardsThroughASingleEntryLevel) {
    Directory directory = TwoOfEach();
    directory["md=8&n=300"] = {Entry(300, "Kanto")};
    Serve(directory);
    Drive(walk.Start());
    ExpectAction(Drive(walk.Select(0)), WalkAction::Show, 4);  // level 3 passed forwards
    ExpectAction(Drive(walk.StepBack()), WalkAction::Show, 2);
    EXPECT_EQ(Asked(), (std::vector<std::string>{"md=6", "md=7&a=5", "md=8&n=300",
                                                 "md=9&n=300&r=44", "md=8&n=300", "md=7&a=5"}));
    EXPECT_TRUE(walk.GoingBack());
    // A choice walks forwards again: the single level 3 is passed the other way.
    ExpectAction(Drive(walk.Select(0)), WalkAction::Show, 4);
    EXPECT_FALSE(walk.GoingBack());
}

TEST_F(CourseWalk, SteppingBackOverASingleAreaEndsWithCancel) {
    Serve(TwoOfEach());
    Drive(walk.Start());
    ExpectAction(Drive(walk.StepBack()), WalkAction::EndCancel, 1);
    EXPECT_TRUE(walk.Ended());
    EXPECT_EQ(walk.StepBack().kind, WalkAction::Ignore);
}

TEST_F(CourseWalk, AnEmptyLevelSaysNoDataAndGoesBack) {
    Directory directory = TwoOfEach();
    directory.erase("md=10&n=300");
    Serve(directory);
    Drive(walk.Start());
    Drive(walk.Select(0));
    Drive(walk.Select(0));
    ExpectAction(Drive(walk.Select(0)), WalkAction::NoData, 5);
    // The old rows are still on screen, but there is no entry behind them.
    EXPECT_EQ(walk.Select(0).kind, WalkAction::Ignore);
    ExpectAction(Drive(walk.StepBack()), WalkAction::Show, 4);
}

TEST_F(CourseWalk, AnEmptyFirstLevelSaysNoDataThenCancels) {
    Serve({});
    ExpectAction(Drive(walk.Start()), WalkAction::NoData, 1);
    ExpectAction(walk.StepBack(), WalkAction::EndCancel, 1);
}

TEST_F(CourseWalk, NothingButCancelActsWhileALevelIsBeingFetched) {
    Serve(TwoOfEach());
    Drive(walk.Start());
    Drive(walk.Select(0));
    ASSERT_EQ(walk.StepBack().kind, WalkAction::Request);
    ASSERT_TRUE(walk.Loading());
    EXPECT_EQ(walk.Select(0).kind, WalkAction::Ignore);
    EXPECT_EQ(walk.StepBack().kind, WalkAction::Ignore);
    EXPECT_TRUE(walk.GoingBack());
    EXPECT_EQ(walk.Level(), 2);
    EXPECT_EQ(doc.m_nSelN, 300);

    ExpectAction(walk.CancelCommand(), WalkAction::EndCancel, 2);
    // The job's late result finds the walk over.
    EXPECT_EQ(walk.OnListDone().kind, WalkAction::Ignore);
}

TEST_F(CourseWalk, ADoubleClickBelowTheRowsDoesNothing) {
    Serve(TwoOfEach());
    Drive(walk.Start());
    EXPECT_EQ(walk.Select(2).kind, WalkAction::Ignore);
    EXPECT_EQ(walk.Level(), 2);
    EXPECT_EQ(Asked().size(), 2u);
}

TEST_F(CourseWalk, AFailedRequestStopsTheWalkWaiting) {
    doc.m_strScriptUrl = RefusedScriptUrl();
    EXPECT_EQ(Drive(walk.Start()).kind, WalkAction::Ignore);
    EXPECT_FALSE(walk.Loading());
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>{"Error: Connect server"});
}

TEST(EntryColumns, TheNameColumnFillsTheListOrFitsTheLongestName) {
    std::vector<CItemList> items(2);
    items[0].name = std::wstring(30, L'語');
    items[1].name = L"short";
    EXPECT_EQ(EntryColumnWidths(3, 400, items), std::make_pair(0, 512));
    EXPECT_EQ(EntryColumnWidths(7, 400, items), std::make_pair(20, 512));
    EXPECT_EQ(EntryColumnWidths(7, 600, items), std::make_pair(20, 580));
    EXPECT_EQ(EntryColumnWidths(1, 600, {}), std::make_pair(0, 600));
}

}  // namespace

}  // namespace teelink
