#include "testsupport/ChildProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace teelink {

namespace {

// A pseudo-terminal as a pair like pipe(): [0] the side the test reads, [1]
// the terminal the program writes to.
bool OpenTerminal(int fds[2]) {
    fds[0] = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (fds[0] < 0 || ::grantpt(fds[0]) != 0 || ::unlockpt(fds[0]) != 0) {
        return false;
    }
    fds[1] = ::open(::ptsname(fds[0]), O_RDWR | O_NOCTTY);
    return fds[1] >= 0;
}

}  // namespace

CChildProcess::CChildProcess(std::vector<std::string> argv, Output output) {
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    const bool opened = output == Output::Terminal ? OpenTerminal(out) : ::pipe(out) == 0;
    if (!opened || ::pipe(err) != 0) {
        ADD_FAILURE() << "pipe";
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (output == Output::Terminal) {
        posix_spawn_file_actions_adddup2(&actions, out[1], STDIN_FILENO);
    } else {
        // As a script runs it: nothing to read, and no terminal to ask on,
        // whatever the test itself was started from.
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    for (int fd : {out[0], err[0]}) {
        posix_spawn_file_actions_addclose(&actions, fd);
    }
    std::vector<char*> pointers;
    for (std::string& argument : argv) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);
    if (posix_spawn(&m_pid, pointers[0], &actions, nullptr, pointers.data(), environ) != 0) {
        ADD_FAILURE() << "cannot start " << argv[0];
        m_pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    m_outFd = out[0];
    m_errFd = err[0];
}

CChildProcess::~CChildProcess() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    for (int fd : {m_outFd, m_errFd}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void CChildProcess::Signal(int number) {
    if (m_pid > 0) {
        ::kill(m_pid, number);
    }
}

void CChildProcess::Type(const std::string& text) {
    if (m_outFd >= 0) {
        EXPECT_EQ(::write(m_outFd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
}

void CChildProcess::CloseOutput() {
    if (m_outFd >= 0) {
        ::close(m_outFd);
        m_outFd = -1;
    }
}

bool CChildProcess::ReadSome(std::chrono::steady_clock::time_point limit) {
    pollfd fds[2] = {{m_outFd, POLLIN, 0}, {m_errFd, POLLIN, 0}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        limit - std::chrono::steady_clock::now());
    if ((m_outFd < 0 && m_errFd < 0) || left.count() <= 0 ||
        ::poll(fds, 2, static_cast<int>(left.count())) <= 0) {
        return false;
    }
    int* const descriptors[2] = {&m_outFd, &m_errFd};
    std::string* const texts[2] = {&m_out, &m_err};
    for (int i = 0; i < 2; ++i) {
        if (fds[i].revents == 0) {
            continue;
        }
        char piece[4096];
        const ssize_t n = ::read(*descriptors[i], piece, sizeof piece);
        if (n <= 0) {
            ::close(*descriptors[i]);
            *descriptors[i] = -1;
        } else {
            texts[i]->append(piece, static_cast<size_t>(n));
        }
    }
    return true;
}

bool CChildProcess::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (!ReadSome(end)) {
            return done();
        }
    }
    return true;
}

bool CChildProcess::WaitForOutput(const std::function<bool(const std::string&)>& done,
                                  std::chrono::milliseconds limit) {
    return WaitFor([this, &done] { return done(m_out); }, limit);
}

bool CChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds limit) {
    return WaitForOutput(
        [&text](const std::string& out) { return out.find(text) != std::string::npos; }, limit);
}

int CChildProcess::Finish(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (ReadSome(end)) {
    }
    int status = 0;
    pid_t ended = 0;
    while (m_pid > 0 && (ended = ::waitpid(m_pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (m_pid <= 0 || ended != m_pid) {
        return -1;  // the destructor kills it
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace teelink
