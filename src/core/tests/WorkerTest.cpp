#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/Worker.h"
#include "testsupport/Recorders.h"
#include "testsupport/ReportRecorder.h"

namespace teelink {

namespace {

using namespace std::chrono_literals;

enum TestMessage : int { JOB_DONE = 1, JOB_STOPPED = 2 };

// A job that works in small steps until it is stopped or has done `steps`.
void SteppingJob(const CStopSource& stop, IWorkerReport<TestMessage>& report, int steps) {
    for (int i = 0; i < steps; ++i) {
        if (stop.Requested()) {
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
    worker.Start([&](const CStopSource& stop) {
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
    worker.Start([&](const CStopSource& stop) { SteppingJob(stop, report, 100000); });
    std::this_thread::sleep_for(5ms);
    const auto asked = std::chrono::steady_clock::now();
    worker.RequestStop();
    worker.Join();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
    EXPECT_EQ(report.Messages(), std::vector<TestMessage>{JOB_STOPPED});
}

// A job asked for while the last one is still finishing (told to stop, it
// waits on its request) neither waits on the caller's thread nor runs beside
// the old one: it runs on the same thread once the old one has returned, with
// a cleared flag. Of several asked for meanwhile, the last one runs; a stop
// drops the one that waits.
TEST(Worker, AJobStartedWhileTheLastIsStoppingRunsAfterItWithoutWaiting) {
    CWorker worker;
    std::mutex mutex;
    std::condition_variable changed;
    bool release = false;
    std::vector<std::string> ran;
    const auto record = [&](const std::string& what, bool stopped) {
        std::lock_guard lock(mutex);
        ran.push_back(what + (stopped ? " stopped" : ""));
        changed.notify_all();
    };
    worker.Start([&](const CStopSource& stop) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return release; });  // a request that takes its time
        lock.unlock();
        record("old", stop.Requested());
    });
    worker.RequestStop();
    const auto asked = std::chrono::steady_clock::now();
    worker.Start([&](const CStopSource& stop) { record("dropped", stop.Requested()); });
    worker.Start([&](const CStopSource& stop) { record("new", stop.Requested()); });
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);  // the caller did not wait
    EXPECT_TRUE(worker.Running());
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    changed.notify_all();
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 10s, [&] { return ran.size() == 2; }));
    }
    worker.Join();
    EXPECT_EQ(ran, (std::vector<std::string>{"old stopped", "new"}));
    EXPECT_FALSE(worker.Running());

    // A stop drops the job that waits for its turn.
    release = false;
    ran.clear();
    worker.Start([&](const CStopSource& stop) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return release; });
        lock.unlock();
        record("old", stop.Requested());
    });
    worker.Start([&](const CStopSource& stop) { record("waiting", stop.Requested()); });
    worker.RequestStop();
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    changed.notify_all();
    worker.Join();
    EXPECT_EQ(ran, std::vector<std::string>{"old stopped"});
}

TEST(Worker, ANewRunStartsWithAClearedStopFlag) {
    CReportRecorder<TestMessage> report;
    CWorker worker;
    worker.Start([&](const CStopSource& stop) { SteppingJob(stop, report, 100000); });
    worker.RequestStop();
    worker.Join();
    report.Clear();
    worker.Start([&](const CStopSource& stop) { SteppingJob(stop, report, 3); });
    worker.Join();
    EXPECT_EQ(report.Messages(), std::vector<TestMessage>{JOB_DONE});
}

TEST(Worker, DestructionStopsAndJoinsTheJobBeforeWhatItUsesGoesAway) {
    CReportRecorder<TestMessage> report;
    auto used = std::make_unique<std::atomic<int>>(0);
    {
        CWorker worker;
        worker.Start([&](const CStopSource& stop) {
            while (!stop.Requested()) {
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
