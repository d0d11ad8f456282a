#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "device/WholeReport.h"

namespace teelink {

namespace {

// Attempts that return the scripted results in turn; -2 stands for a wait
// interrupted by a signal, -1 for a failure.
struct CScript {
    explicit CScript(std::vector<int> scripted) : results(std::move(scripted)) {}

    std::vector<int> results;
    std::vector<int> remaining;  // the limit each attempt was given
    size_t next = 0;

    TransferAttempt Attempt() {
        return [this](int remainingMs, bool& interrupted) {
            remaining.push_back(remainingMs);
            const int result = next < results.size() ? results[next++] : -1;
            interrupted = result == -2;
            return result < 0 ? -1 : result;
        };
    }
};

TEST(WholeReport, OnlyAWholeReportCounts) {
    for (int moved : {65, 64, 1, 0, -1}) {
        CScript script({moved});
        EXPECT_EQ(WholeReportWithin(5000, 65, script.Attempt()), moved == 65) << moved;
        EXPECT_EQ(script.next, 1u) << moved;  // no second try for a short or failed one
    }
}

TEST(WholeReport, AnInterruptedWaitIsTakenUpAgainWithTheTimeLeft) {
    CScript script({-2, -2, 64});
    EXPECT_TRUE(WholeReportWithin(5000, 64, script.Attempt()));
    ASSERT_EQ(script.remaining.size(), 3u);
    EXPECT_LE(script.remaining[2], script.remaining[0]);
    EXPECT_GT(script.remaining[2], 4000);
}

TEST(WholeReport, InterruptionsDoNotExtendTheLimit) {
    // A wait interrupted again and again ends when the limit has passed.
    const auto start = std::chrono::steady_clock::now();
    int attempts = 0;
    const bool whole = WholeReportWithin(50, 64, [&](int, bool& interrupted) {
        ++attempts;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        interrupted = true;
        return -1;
    });
    EXPECT_FALSE(whole);
    EXPECT_GT(attempts, 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace

}  // namespace teelink
