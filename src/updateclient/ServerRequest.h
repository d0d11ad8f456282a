#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/ByteBuffer.h"
#include "updateclient/ServerSettings.h"

namespace teelink {

// One request to the update server: its own session, an HTTP GET, and a body
// read in fixed-size pieces. Every read returns the full size asked for unless the
// body has ended, so a short read means the end of the body (0 included). The
// session, the connection and the buffers are released by the destructor on
// every path.
class CServerRequest {
public:
    explicit CServerRequest(CServerSettings settings = {});
    ~CServerRequest();
    CServerRequest(const CServerRequest&) = delete;
    CServerRequest& operator=(const CServerRequest&) = delete;

    // Opens the URL: true once the server has answered with a response head (the
    // status is not examined), false when no answer could be had.
    bool Open(const std::string& url);

    // Reads up to `size` bytes; fewer only at the end of the body.
    size_t Read(void* dest, size_t size);

    // The reads that follow fill `target` from its start, in order (a download
    // into one buffer): the body is then received straight into its place,
    // and each read that asks for the next piece of it returns without a copy.
    // What comes beyond `capacity` waits as usual. Call after the reads that go
    // elsewhere (the header).
    void SetReadTarget(uint8_t* target, size_t capacity);

    // Flags that, once either is set, end the request at once (the user's
    // Cancel, the application closing): an open then fails and reads return
    // short, as at the end of the body. Each may be null.
    void SetAbortFlag(const std::atomic<bool>* abort,
                      const std::atomic<bool>* alsoAbort = nullptr) {
        m_abort = abort;
        m_alsoAbort = alsoAbort;
    }

    // True when the body ended because the transfer broke off (the peer closed
    // early, a time-out), rather than because it was complete.
    bool BrokenOff() const { return m_done && m_result != 0; }

    // Why the request did not give an answer, or why its answer is no
    // success, in words for the command line and logs (never a box): the name
    // lookup, a refused connection, the proxy, the TLS certificate, the HTTP
    // status. Empty when the answer came with status 200.
    std::string Cause() const;
    // The HTTP status of the answer's head (0 before one arrived).
    long HttpStatus() const;

private:
    static size_t OnBody(char* data, size_t size, size_t count, void* self);
    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    // Drives the transfer once, waiting up to `waitMs` for the socket.
    void Drive(int waitMs);
    void Stage(const uint8_t* data, size_t bytes);
    size_t Available() const { return m_pendingEnd - m_pendingPos; }
    size_t ReadInPlace(size_t size);
    // The part of `bytes` that went straight into the read target.
    size_t Place(const uint8_t* data, size_t bytes);

    CServerSettings m_settings;
    bool Aborted() const {
        return (m_abort != nullptr && m_abort->load()) ||
               (m_alsoAbort != nullptr && m_alsoAbort->load());
    }

    const std::atomic<bool>* m_abort = nullptr;
    const std::atomic<bool>* m_alsoAbort = nullptr;
    void* m_multi = nullptr;         // CURLM*
    void* m_easy = nullptr;          // CURL*
    teelink::CByteBuffer m_pending;  // received, [m_pendingPos, m_pendingEnd) not yet read
    size_t m_pendingPos = 0;
    size_t m_pendingEnd = 0;
    uint64_t m_received = 0;  // body bytes so far
    bool m_headDone = false;
    bool m_paused = false;        // the body is held back until the reader catches up
    size_t m_wanted = 0;          // the size of the read in progress
    uint8_t* m_target = nullptr;  // see SetReadTarget
    size_t m_targetCapacity = 0;
    size_t m_targetFilled = 0;  // bytes received into the target
    size_t m_targetRead = 0;    // of them, handed to reads
    bool m_done = false;
    int m_result = 0;  // CURLcode of the finished transfer
    std::string m_url;
    std::string m_proxy;         // the proxy the request went through; empty: none
    char m_errorText[256] = {};  // libcurl's own words for the failure
};

}  // namespace teelink
