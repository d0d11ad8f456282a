#pragma once

// A raw TCP client on a loopback port, to send a server what the tool never
// would (heads too large or never finished, bodies, floods) and read what
// comes back byte for byte.

#include <chrono>
#include <string>

namespace teelink {

class CRawClient {
public:
    explicit CRawClient(int port);
    ~CRawClient();
    CRawClient(const CRawClient&) = delete;
    CRawClient& operator=(const CRawClient&) = delete;

    bool Connected() const { return m_connected; }
    void Send(const std::string& bytes);
    // Everything until the server closes, or what came within `limit`.
    std::string ReceiveAll(std::chrono::milliseconds limit = std::chrono::seconds(10));
    bool closed = false;

private:
    int m_fd = -1;
    bool m_connected = false;
};

// The status line's code of one GET of `target`, or 0 when no answer came.
int RawGetStatus(int port, const std::string& target);

}  // namespace teelink
