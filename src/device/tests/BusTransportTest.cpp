#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "device/EmulatorBus.h"
#include "testsupport/DeviceTestSupport.h"

namespace teelink {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::atomic<int> g_signals{0};

void CountSignal(int) {
    g_signals.fetch_add(1);
}

// SIGUSR1 counted instead of ending the process, for the life of the object.
class CSignalCounter {
public:
    CSignalCounter() {
        struct sigaction action {};
        action.sa_handler = &CountSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no restart: a wait it hits ends with EINTR
        sigaction(SIGUSR1, &action, &m_previous);
        g_signals = 0;
    }
    ~CSignalCounter() { sigaction(SIGUSR1, &m_previous, nullptr); }
    CSignalCounter(const CSignalCounter&) = delete;
    CSignalCounter& operator=(const CSignalCounter&) = delete;

private:
    struct sigaction m_previous {};
};

// The transport of the bus backend on a hand-driven device.
class BusTransport : public ::testing::Test {
protected:
    void SetUp() override {
        CEmulatorBusBackend backend(m_bus.Dir());
        m_transport = backend.Open(m_raw.DevicePath());
        ASSERT_NE(m_transport, nullptr);
        m_raw.Accept();
    }

    std::vector<uint8_t> ReportOf(uint8_t seed) const { return Pattern(REPORT_SIZE, seed); }

    CTempBus m_bus;
    CRawDevice m_raw{m_bus.Dir()};
    std::unique_ptr<IReportTransport> m_transport;
    std::array<uint8_t, REPORT_SIZE> m_report{};
};

TEST_F(BusTransport, AReportAlreadyWaitingAndOneThatComesLaterAreBothRead) {
    const std::vector<uint8_t> first = ReportOf(1);
    const std::vector<uint8_t> second = ReportOf(2);
    m_raw.Send(first);
    ASSERT_TRUE(m_transport->Read(m_report, kNormalTimeoutMs));
    EXPECT_EQ(std::vector<uint8_t>(m_report.begin(), m_report.end()), first);

    std::thread late([&] {
        std::this_thread::sleep_for(50ms);
        m_raw.Send(second);
    });
    const bool read = m_transport->Read(m_report, kNormalTimeoutMs);
    late.join();
    ASSERT_TRUE(read);
    EXPECT_EQ(std::vector<uint8_t>(m_report.begin(), m_report.end()), second);
}

TEST_F(BusTransport, AReportThatNeverComesEndsTheReadAtTheLimit) {
    const auto start = Clock::now();
    EXPECT_FALSE(m_transport->Read(m_report, 150));
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 140ms);
    EXPECT_LT(waited, 3s);
    // A limit of zero looks once and does not wait.
    EXPECT_FALSE(m_transport->Read(m_report, 0));
    m_raw.Send(ReportOf(3));
    EXPECT_TRUE(m_transport->Read(m_report, 0));
}

TEST_F(BusTransport, ASignalDuringTheWaitDoesNotEndTheRead) {
    CSignalCounter counter;
    std::atomic<bool> done{false};
    bool read = false;
    std::thread reader([&] {
        read = m_transport->Read(m_report, kNormalTimeoutMs);
        done = true;
    });
    for (int i = 0; i < 5 && !done; ++i) {
        std::this_thread::sleep_for(20ms);
        pthread_kill(reader.native_handle(), SIGUSR1);
    }
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(done);  // still waiting after the interruptions
    const std::vector<uint8_t> report = ReportOf(4);
    m_raw.Send(report);
    reader.join();
    EXPECT_GT(g_signals.load(), 0);
    ASSERT_TRUE(read);
    EXPECT_EQ(std::vector<uint8_t>(m_report.begin(), m_report.end()), report);
}

TEST_F(BusTransport, InterruptionsDoNotExtendTheLimit) {
    CSignalCounter counter;
    std::atomic<bool> done{false};
    bool read = true;
    const auto start = Clock::now();
    std::thread reader([&] {
        read = m_transport->Read(m_report, 200);
        done = true;
    });
    // Far more often than the limit: a wait that started its limit afresh on
    // every interruption would never end.
    while (!done && Clock::now() - start < 5s) {
        pthread_kill(reader.native_handle(), SIGUSR1);
        std::this_thread::sleep_for(5ms);
    }
    reader.join();
    EXPECT_FALSE(read);
    EXPECT_GT(g_signals.load(), 1);
    EXPECT_LT(Clock::now() - start, 3s);
}

}  // namespace

}  // namespace teelink
