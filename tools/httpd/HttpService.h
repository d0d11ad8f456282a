#pragma once

// An HTTP server on 127.0.0.1 for the reference update server and the tests'
// servers, over libmicrohttpd. It takes nothing it does not need: a bounded
// number of connections, a bounded request head that must come without a
// pause longer than the head time-out, an answer that a reader must keep
// taking, and a stop that ends every open connection at once.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct MHD_Daemon;
struct MHD_Connection;

namespace teelink {

struct CHttpLimits {
    size_t maxHeadBytes = 8 * 1024;  // the request line and headers together
    unsigned headTimeoutS = 5;       // the longest pause before the head is complete
    unsigned stallTimeoutS = 30;     // an answer the reader takes nothing of for this long ends
    unsigned maxConnections = 64;    // beyond this, a connection is closed at once
    // Each connection on a thread of its own, so that a streamed answer may wait
    // inside its reader (the tests' held answers); otherwise one thread polls all.
    bool threadPerConnection = false;
};

struct CHttpRequest {
    std::string method;
    std::string target;  // as sent: path and query, not decoded
    bool hasBody = false;
    size_t headBytes = 0;  // the request line and headers as received
};

struct CHttpAnswer {
    // Reads up to `size` bytes at `offset` of a streamed body into `into`: the
    // count read, 0 only at the end, or -1 to drop the connection (a short body).
    using Reader = std::function<long(uint64_t offset, char* into, size_t size)>;

    int status = 200;
    std::string contentType = "application/octet-stream";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;         // the whole body, unless `reader` is set
    uint64_t streamSize = 0;  // the Content-Length of a streamed body
    Reader reader;            // a streamed body
};

class CHttpService {
public:
    // Called once per request whose head is complete, on the server's threads.
    using Handler = std::function<CHttpAnswer(const CHttpRequest&)>;

    explicit CHttpService(Handler handler, CHttpLimits limits = {});
    ~CHttpService();
    CHttpService(const CHttpService&) = delete;
    CHttpService& operator=(const CHttpService&) = delete;

    // Listens on 127.0.0.1 at `port` (0: a free port); on false `error` says why.
    bool Start(uint16_t port, std::string& error);
    // Stops listening, ends every connection and waits for the server's
    // threads; safe to call twice.
    void Stop();

    uint16_t Port() const { return m_port; }
    const CHttpLimits& Limits() const { return m_limits; }

private:
    struct CCallbacks;
    // The handler's answer, or the refusal of a head over the limit.
    CHttpAnswer Answer(const CHttpRequest& request) const;

    Handler m_handler;
    CHttpLimits m_limits;
    MHD_Daemon* m_daemon = nullptr;
    uint16_t m_port = 0;
};

}  // namespace teelink
