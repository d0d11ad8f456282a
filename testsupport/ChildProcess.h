#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace teelink {

// A program run as users and scripts run it, its standard output and error
// each on a pipe of its own. Killed if it is still running when the object
// goes away, so a failed test leaves nothing behind.
class CChildProcess {
public:
    // Where the standard output goes: a pipe, or a pseudo-terminal (which is
    // then the standard input too) for a program that behaves differently on a
    // terminal.
    enum class Output { Pipe, Terminal };

    explicit CChildProcess(std::vector<std::string> argv, Output output = Output::Pipe);
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    void Signal(int number);
    // Types `text` on the terminal (Output::Terminal only).
    void Type(const std::string& text);
    // The reader of the standard output goes away, as `head` does when it has
    // read enough: the program's next writes there fail.
    void CloseOutput();

    // Reads until `done()` holds (it looks at Out() and Err()), or both
    // streams end, or `limit` passes; returns whether it held.
    bool WaitFor(const std::function<bool()>& done,
                 std::chrono::milliseconds limit = std::chrono::seconds(30));
    // Reads until `done(out)` holds for the standard output so far, or the
    // output ends, or `limit` passes; returns whether it held.
    bool WaitForOutput(const std::function<bool(const std::string& out)>& done,
                       std::chrono::milliseconds limit = std::chrono::seconds(30));
    bool WaitForOutput(const std::string& text,
                       std::chrono::milliseconds limit = std::chrono::seconds(30));

    // Reads both streams to their end and waits for the exit: the exit status,
    // or -1 when it did not end normally within `limit` (it is killed then).
    int Finish(std::chrono::milliseconds limit = std::chrono::seconds(60));

    const std::string& Out() const { return m_out; }
    const std::string& Err() const { return m_err; }

private:
    // One poll of both pipes; false once both have ended or `limit` passed.
    bool ReadSome(std::chrono::steady_clock::time_point limit);

    pid_t m_pid = -1;
    int m_outFd = -1;
    int m_errFd = -1;
    std::string m_out;
    std::string m_err;
};

}  // namespace teelink
