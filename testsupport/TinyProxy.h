#pragma once

// A real HTTP proxy on loopback for the tests: Debian's tinyproxy in the
// foreground with a configuration of the test's own, and its log, where every
// request it forwards stands as "Request (file descriptor N): GET URL".

#include <memory>
#include <string>

#include "testsupport/ChildProcess.h"
#include "testsupport/Files.h"

namespace teelink {

class CTinyProxy {
public:
    // `refuseUs`: the proxy answers every request from loopback 403.
    explicit CTinyProxy(bool refuseUs = false);
    ~CTinyProxy();
    bool Ready() const { return m_ready; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    // The URLs of the requests it has taken, in order.
    std::vector<std::string> Requests() const;

private:
    CTempDir m_dir{"teelink-proxy"};
    int m_port = 0;
    bool m_ready = false;
    std::unique_ptr<CChildProcess> m_process;
};

}  // namespace teelink
