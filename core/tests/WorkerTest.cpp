#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/Worker.h"
#include "testsupport/ReportRecorder.h"

namespace teelink {

namespace {

using namespace std::chrono_literals;

enum TestMessage : int { JOB_DONE = 1, JOB_STOPPED = 2 };

// A job that works in small steps until it is stopped or has done `steps`.
void SteppingJob(const std::atomic<bool>& stop, IWorkerReport<TestMessage>& report, int steps) {
    for (int i = 0; i < steps; ++i) {
        if (stop.load()) {
            report.Post(JOB_STOPPED, i);
            return;
        }
        report.Progress(0, i);
        std::this_thread::sleep_for(1ms);
    }
    report.Post(JOB_DONE, steps);
}

TEST(Worker, RunsTheJobOnItsOwnThreadAndReportsInOrder) {
    CReportRecorder<TestMessage> report;
    CWorker worker;
    const auto caller = std::this_thread::get_id();
    std::atomic<bool> otherThread{false};
    worker.Start([&](const std::atomic<bool>& stop) {
        otherThread = std::this_thread::get_id() != caller;
        SteppingJob(stop, report, 5);
    });
    ASSERT_TRUE(report.WaitForPosts(1));
    worker.Join();
    EXPECT_TRUE(otherThread.load());
    EXPECT_FALSE(worker.Running());
    EXPECT_EQ(report.Positions(0), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(report.Params(JOB_DONE), std::vector<int>{5});
}

TEST(Worker, AStopRequestEndsTheJobAtItsNextCheck) {
    CReportRecorder<TestMessage> report;
    CWorker worker;
    worker.Start([&](const std::atomic<bool>& stop) { SteppingJob(stop, report, 100000); });
    std::this_thread::sleep_for(5ms);
    const auto asked = std::chrono::steady_clock::now();
    worker.RequestStop();
    worker.Join();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
    EXPECT_EQ(report.Messages(), std::vector<TestMessage>{JOB_STOPPED});
}

TEST(Worker, JoinIfDoneNeverWaitsForARunningJob) {
    std::atomic<bool> release{false};
    CWorker worker;
    worker.Start([&](const std::atomic<bool>&) {
        while (!release.load()) {
            std::this_thread::sleep_for(1ms);
        }
    });
    EXPECT_TRUE(worker.Running());
    EXPECT_FALSE(worker.JoinIfDone());  // would hang here if it waited
    release = true;
    while (worker.Running()) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(worker.JoinIfDone());
}

TEST(Worker, ANewRunStartsWithAClearedStopFlag) {
    CReportRecorder<TestMessage> report;
    CWorker worker;
    worker.Start([&](const std::atomic<bool>& stop) { SteppingJob(stop, report, 100000); });
    worker.RequestStop();
    worker.Join();
    report.Clear();
    worker.Start([&](const std::atomic<bool>& stop) { SteppingJob(stop, report, 3); });
    worker.Join();
    EXPECT_EQ(report.Messages(), std::vector<TestMessage>{JOB_DONE});
}

TEST(Worker, DestructionStopsAndJoinsTheJobBeforeWhatItUsesGoesAway) {
    CReportRecorder<TestMessage> report;
    auto used = std::make_unique<std::atomic<int>>(0);
    {
        CWorker worker;
        worker.Start([&](const std::atomic<bool>& stop) {
            while (!stop.load()) {
                used->fetch_add(1);
                std::this_thread::sleep_for(1ms);
            }
            report.Post(JOB_STOPPED, 0);
        });
        // Until the job is under way (thread start-up is slow under Wine).
        for (int i = 0; i < 5000 && used->load() == 0; ++i) {
            std::this_thread::sleep_for(1ms);
        }
    }
    // The worker is gone: its job has ended and touches `used` no more.
    const int seen = used->load();
    used.reset();
    EXPECT_GT(seen, 0);
    EXPECT_EQ(report.Messages(), std::vector<TestMessage>{JOB_STOPPED});
}

}  // namespace

}  // namespace teelink
