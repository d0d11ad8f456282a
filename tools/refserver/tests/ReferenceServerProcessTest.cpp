// The teelink-update-server executable: it serves, logs, refuses a taken port
// and stops cleanly on a signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <memory>
#include <thread>

#include <chrono>
#include <string>
#include <vector>

#include "testsupport/ChildProcess.h"
#include "testsupport/RawHttpClient.h"
#include "testsupport/ReferenceServerSupport.h"

namespace teelink {

namespace {

// The executable, its output taken line by line from either stream.
class CServerProcess {
public:
    explicit CServerProcess(std::vector<std::string> args)
        : m_process([&args] {
              args.insert(args.begin(), TEELINK_UPDATE_SERVER_EXE);
              return args;
          }()) {}
    // A command line given whole (the server behind another program).
    struct Plain {};
    CServerProcess(std::vector<std::string> argv, Plain) : m_process(std::move(argv)) {}

    // The next line of standard output or error that starts with `prefix`,
    // skipping others; empty when the output ended first. The limit only keeps
    // a broken server from hanging the test.
    std::string LineStarting(const std::string& prefix) {
        std::string found;
        m_process.WaitFor([&] {
            return NextLine(m_process.Out(), m_outAt, prefix, found) ||
                   NextLine(m_process.Err(), m_errAt, prefix, found);
        });
        return found;
    }

    void Signal(int number) { m_process.Signal(number); }
    const std::string& Out() const { return m_process.Out(); }
    const std::string& Err() const { return m_process.Err(); }

    // The exit status, or -1 when it did not exit normally. A server that does
    // not end within the limit is killed, so a broken stop fails the test
    // instead of hanging it.
    int Wait() { return m_process.Finish(std::chrono::seconds(30)); }

private:
    // Consumes the complete lines of `text` from `at` up to the first that
    // starts with `prefix`.
    static bool NextLine(const std::string& text, size_t& at, const std::string& prefix,
                         std::string& found) {
        for (size_t end = text.find('\n', at); end != std::string::npos;
             end = text.find('\n', at)) {
            const std::string line = text.substr(at, end - at);
            at = end + 1;
            if (line.rfind(prefix, 0) == 0) {
                found = line;
                return true;
            }
        }
        return false;
    }

    CChildProcess m_process;
    size_t m_outAt = 0;
    size_t m_errAt = 0;
};

std::string UrlOf(const std::string& servingLine) {
    const size_t at = servingLine.find(" at ");
    return at == std::string::npos ? std::string() : servingLine.substr(at + 4);
}

TEST(UpdateServerExecutable, ServesLogsAndStopsCleanlyOnEitherSignal) {
    for (int number : {SIGTERM, SIGINT}) {
        CServerProcess server({"--port", "0", "--content", TEELINK_SAMPLE_CONTENT_DIR});
        const std::string url = UrlOf(server.LineStarting("serving "));
        ASSERT_FALSE(url.empty());
        EXPECT_EQ(FetchBody(url + "?md=1").substr(0, 3), std::string("TL\0", 3));
        EXPECT_EQ(server.LineStarting("GET "), "GET /r7r8/index.php?md=1 200 26");
        server.Signal(number);
        EXPECT_EQ(server.LineStarting("stopping"), "stopping on signal " + std::to_string(number));
        EXPECT_EQ(server.Wait(), 0);
    }
}

int PortOf(const std::string& url) {
    const size_t colon = url.rfind(':');
    return colon == std::string::npos ? 0 : std::atoi(url.c_str() + colon + 1);
}

// CPU seconds of the children this test process has reaped so far.
double ChildrenCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A log on a pipe that nobody reads costs log lines, never answers, and the
// server still stops on a signal.
TEST(UpdateServerExecutable, ALogNobodyReadsHoldsUpNoAnswerAndNoStop) {
    CServerProcess server({"--port", "0", "--content", TEELINK_SAMPLE_CONTENT_DIR});
    const int port = PortOf(UrlOf(server.LineStarting("serving ")));
    ASSERT_NE(port, 0);
    // From here the test reads nothing: some 240-byte lines fill a pipe many times.
    const std::string target = "/r7r8/index.php?md=1&pad=" + std::string(200, 'p');
    int answered = 0;
    for (int i = 0; i < 1500; ++i) {
        answered += RawGetStatus(port, target) != 0 ? 1 : 0;
    }
    EXPECT_EQ(answered, 1500);
    server.Signal(SIGTERM);
    EXPECT_EQ(server.Wait(), 0);
    EXPECT_NE(server.Out().find("log lines dropped"), std::string::npos);
}

// Out of descriptors, the server waits for one to come free instead of
// spinning on a connection it cannot take, and serves again once one does.
TEST(UpdateServerExecutable, RunningOutOfDescriptorsBacksOffAndRecovers) {
    const double before = ChildrenCpuSeconds();
    {
        CServerProcess server({"/usr/bin/prlimit", "--nofile=24", TEELINK_UPDATE_SERVER_EXE,
                               "--port", "0", "--content", TEELINK_SAMPLE_CONTENT_DIR},
                              CServerProcess::Plain{});
        const int port = PortOf(UrlOf(server.LineStarting("serving ")));
        ASSERT_NE(port, 0);
        std::vector<std::unique_ptr<CRawClient>> held;
        for (int i = 0; i < 40; ++i) {
            held.push_back(std::make_unique<CRawClient>(port));
            held.back()->Send("GET /r7r8/index.php?md=1 HT");  // never finished
        }
        std::this_thread::sleep_for(std::chrono::seconds(2));
        held.clear();
        EXPECT_EQ(RawGetStatus(port, "/r7r8/index.php?md=1"), 200);
        server.Signal(SIGTERM);
        // What the server said, should it have ended on its own.
        EXPECT_EQ(server.Wait(), 0) << server.Err();
    }
    // A spinning accept would have taken about the two seconds held.
    EXPECT_LT(ChildrenCpuSeconds() - before, 1.0);
}

TEST(UpdateServerExecutable, RefusesATakenPortAndMissingContent) {
    CServerProcess first({"--port", "0", "--content", TEELINK_SAMPLE_CONTENT_DIR});
    const std::string url = UrlOf(first.LineStarting("serving "));
    ASSERT_FALSE(url.empty());
    const std::string port = url.substr(url.rfind(':') + 1, url.find('/', 7) - url.rfind(':') - 1);

    CServerProcess second({"--port", port, "--content", TEELINK_SAMPLE_CONTENT_DIR});
    EXPECT_NE(second.LineStarting("teelink-update-server: cannot listen").find(port),
              std::string::npos);
    EXPECT_EQ(second.Wait(), 1);

    CServerProcess third({"--port", "0", "--content", "/nonexistent/content"});
    EXPECT_NE(third.LineStarting("teelink-update-server:").find("/nonexistent/content"),
              std::string::npos);
    EXPECT_EQ(third.Wait(), 1);

    CServerProcess fourth({"--port", "x"});
    EXPECT_NE(fourth.LineStarting("teelink-update-server:").find("--port"), std::string::npos);
    EXPECT_EQ(fourth.Wait(), 2);
}

}  // namespace

}  // namespace teelink
