// The teelink-update-server executable: it serves, logs, refuses a taken port
// and stops cleanly on a signal.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <vector>

#include "testsupport/ChildProcess.h"
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
