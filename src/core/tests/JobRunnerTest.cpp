#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/JobRunner.h"
#include "core/MessageTable.h"
#include "core/TeelinkDoc.h"
#include "testsupport/OwnerThread.h"
#include "testsupport/Recorders.h"

namespace teelink {

namespace {

using namespace std::chrono_literals;

// Waits until the job is told to stop; what it was told comes back.
Result<int> WaitForStop(const CJobContext& context) {
    while (!context.Stopping()) {
        std::this_thread::sleep_for(1ms);
    }
    return *context.Interruption();
}

TEST(JobRunner, DeliversTheResultOnTheOwnersThreadAfterTheFailuresTextsInOrder) {
    CTestOwnerThread owner;
    CRecordingNotifier boxes;
    CJobRunner<int> runner(owner, boxes);
    const auto ownerThread = std::this_thread::get_id();
    std::thread::id jobThread;
    std::vector<std::string> seenAtEnd;
    int value = 0;
    runner.Start(
        CJobPlace{},
        [&](const CJobContext&) -> Result<int> {
            jobThread = std::this_thread::get_id();
            return 42;
        },
        [&](Result<int>& result) {
            EXPECT_EQ(std::this_thread::get_id(), ownerThread);
            value = result.Value();
        });
    EXPECT_TRUE(runner.Running());
    ASSERT_TRUE(owner.RunUntil([&] { return value != 0; }));
    EXPECT_EQ(value, 42);
    EXPECT_NE(jobThread, ownerThread);
    EXPECT_FALSE(runner.Running());

    // A failure: its texts are shown first, in their order, then the ending.
    runner.Start(
        CJobPlace{},
        [](const CJobContext&) -> Result<int> {
            return CFailure("read: set ack error", -2).Then("Error: HID write");
        },
        [&](Result<int>& result) {
            seenAtEnd = boxes.Texts();
            value = result.Code();
        });
    ASSERT_TRUE(owner.RunUntil([&] { return value == -2; }));
    EXPECT_EQ(seenAtEnd, (std::vector<std::string>{"read: set ack error", "Error: HID write"}));
}

// The user's cancel ends a job with a Cancelled result that is delivered; the
// owner's stop ends it quietly, and nothing reaches the owner at all.
TEST(JobRunner, ACancelIsDeliveredAndAnOwnersStopIsNot) {
    CTestOwnerThread owner;
    CRecordingNotifier boxes;
    CJobRunner<int> runner(owner, boxes);
    std::vector<FailureKind> ends;
    const auto ending = [&](Result<int>& result) { ends.push_back(result.Failure().Kind()); };
    runner.Start(CJobPlace{}, WaitForStop, ending);
    runner.Cancel();
    ASSERT_TRUE(owner.RunUntil([&] { return !ends.empty(); }));
    EXPECT_EQ(ends, std::vector<FailureKind>{FailureKind::Cancelled});

    // A request that a cancel aborted and that says only "stopped" is still
    // the user's cancel, and its owner hears of it.
    ends.clear();
    runner.Start(
        CJobPlace{},
        [](const CJobContext& context) -> Result<int> {
            while (!context.Stopping()) {
                std::this_thread::sleep_for(1ms);
            }
            return CFailure::Stopped();
        },
        ending);
    runner.Cancel();
    ASSERT_TRUE(owner.RunUntil([&] { return !ends.empty(); }));
    EXPECT_EQ(ends, std::vector<FailureKind>{FailureKind::Cancelled});

    ends.clear();
    runner.Start(CJobPlace{}, WaitForStop, ending);
    runner.Cancel();
    runner.StopAndWait();  // the owner goes after the user's cancel: the stop wins
    owner.RunFor(100ms);
    EXPECT_TRUE(ends.empty());
    EXPECT_FALSE(runner.Running());
    EXPECT_TRUE(boxes.Texts().empty());
}

// A job started while the last one is still stopping does not wait on the
// owner's thread; the old one's result is dropped, the new one's arrives.
TEST(JobRunner, ANewJobReplacesTheRunningOneWithoutWaitingForIt) {
    CTestOwnerThread owner;
    CRecordingNotifier boxes;
    CJobRunner<int> runner(owner, boxes);
    std::atomic<bool> release{false};
    std::vector<int> ends;
    const auto ending = [&](Result<int>& result) {
        ends.push_back(result.Ok() ? result.Value() : -1);
    };
    runner.Start(
        CJobPlace{},
        [&](const CJobContext&) -> Result<int> {
            while (!release.load()) {
                std::this_thread::sleep_for(1ms);  // a request that does not hear the stop
            }
            return 1;
        },
        ending);
    const auto asked = std::chrono::steady_clock::now();
    runner.Start(
        CJobPlace{}, [](const CJobContext&) -> Result<int> { return 2; }, ending);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);
    release = true;
    ASSERT_TRUE(owner.RunUntil([&] { return !ends.empty(); }));
    owner.RunFor(50ms);
    EXPECT_EQ(ends, std::vector<int>{2});
}

// A delivery that arrives after its runner has gone runs nothing of it.
TEST(JobRunner, AResultThatOutlivesItsRunnerIsDropped) {
    CTestOwnerThread owner;
    CRecordingNotifier boxes;
    bool ended = false;
    {
        CJobRunner<int> runner(owner, boxes);
        runner.Start(
            CJobPlace{}, [](const CJobContext&) -> Result<int> { return 7; },
            [&](Result<int>&) { ended = true; });
        std::this_thread::sleep_for(50ms);  // the result waits in the owner's queue
    }
    owner.RunFor(50ms);
    EXPECT_FALSE(ended);
}

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
// The document belongs to its thread: a job that reaches it, or any other
// thread, ends the test program on the spot.
TEST(JobRunnerDeathTest, AJobThatReachesTheDocumentEndsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CMessageTable messages;
    CTeelinkDoc doc(messages);
    doc.CheckThread();  // its own thread may
    EXPECT_DEATH(
        {
            CTestOwnerThread owner;
            CRecordingNotifier boxes;
            CJobRunner<int> runner(owner, boxes);
            runner.Start(
                CJobPlace{}, [&doc](const CJobContext&) -> Result<int> { return doc.Language(); },
                [](Result<int>&) {});
            runner.StopAndWait();
        },
        "does not own it");
    EXPECT_DEATH(std::thread([&doc] { doc.CheckThread(); }).join(), "does not own it");
}
#endif

}  // namespace

}  // namespace teelink
