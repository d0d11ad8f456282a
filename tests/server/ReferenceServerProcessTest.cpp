// The teelink-update-server executable: it serves, logs, refuses a taken port
// and stops cleanly on a signal.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/server/ReferenceServerSupport.h"

extern char** environ;

namespace {

// The executable with its standard output (and error) on a pipe.
class CServerProcess {
public:
    explicit CServerProcess(std::vector<std::string> args) {
        int fds[2];
        if (::pipe(fds) != 0) {
            ADD_FAILURE() << "pipe";
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        args.insert(args.begin(), TEELINK_UPDATE_SERVER_EXE);
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            ADD_FAILURE() << "cannot start " << argv[0];
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        m_out = fds[0];
    }
    ~CServerProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            Wait();
        }
        if (m_out >= 0) {
            ::close(m_out);
        }
    }

    // The next line of output; empty when the output ended. The limit only
    // keeps a broken server from hanging the test.
    std::string Line() {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (;;) {
            const size_t end = m_buffer.find('\n');
            if (end != std::string::npos) {
                std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                return line;
            }
            pollfd p{m_out, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                limit - std::chrono::steady_clock::now());
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                return {};
            }
            char piece[512];
            const ssize_t n = ::read(m_out, piece, sizeof piece);
            if (n <= 0) {
                return {};
            }
            m_buffer.append(piece, static_cast<size_t>(n));
        }
    }

    // The line that starts with `prefix`, skipping others.
    std::string LineStarting(const std::string& prefix) {
        for (std::string line = Line(); !line.empty() || !m_buffer.empty(); line = Line()) {
            if (line.rfind(prefix, 0) == 0) {
                return line;
            }
        }
        return {};
    }

    void Signal(int number) { ::kill(m_pid, number); }

    // The exit status, or -1 when it did not exit normally. A server that does
    // not end within the limit is killed, so a broken stop fails the test
    // instead of hanging it.
    int Wait() {
        const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};
            if (::poll(&p, 1, 30000) <= 0) {
                ::kill(m_pid, SIGKILL);
            }
            ::close(pidfd);
        }
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_buffer;
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
