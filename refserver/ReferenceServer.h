#pragma once

// The reference update server: answers the update server's script from a
// content directory over HTTP on 127.0.0.1. Runs on threads of its own, so that
// tests and benchmarks start and stop it in-process.
//
// It runs on the user's machine in the demo, so it takes nothing it does not
// need: GET only, no request body, a request head of at most 8 KiB that must
// arrive within a few seconds, a bounded number of connections, and an answer
// that a reader must keep taking. Stopping ends every connection at once.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "refserver/ServerContent.h"

namespace teelink {

struct CServerLimits {
    size_t maxHeadBytes = 8 * 1024;  // the request line and headers together
    int headTimeoutMs = 5000;        // from the connection to the end of its head
    int stallTimeoutMs = 30000;      // an answer the reader takes nothing of for this long ends
    int maxConnections = 64;         // beyond this, a connection is closed at once
};

class CReferenceServer {
public:
    // Receives one line per request: method, target, status, bytes, with every
    // byte outside printable ASCII written as \xHH. Called from the server's
    // threads, one call at a time.
    using LogSink = std::function<void(const std::string& line)>;

    explicit CReferenceServer(std::shared_ptr<const CServerContent> content, LogSink log = {},
                              CServerLimits limits = {});
    ~CReferenceServer();
    CReferenceServer(const CReferenceServer&) = delete;
    CReferenceServer& operator=(const CReferenceServer&) = delete;

    // Listens on 127.0.0.1 at `port` (0: a free port) and answers until Stop. On
    // false `error` says why (the port is taken, for example).
    bool Start(int port, std::string& error);
    // Stops listening, ends every connection and waits for all threads; safe
    // to call twice.
    void Stop();

    int Port() const { return m_port; }
    std::string ScriptUrl() const;

private:
    void AcceptLoop();
    void Serve(int fd);
    void Log(const std::string& method, const std::string& target, int status, size_t bytes);

    std::shared_ptr<const CServerContent> m_content;
    LogSink m_log;
    CServerLimits m_limits;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};  // written to end the accept loop's wait
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::mutex m_mutex;
    std::condition_variable m_allEnded;
    std::set<int> m_connections;  // the sockets being served
    int m_active = 0;             // their threads, until each has ended
    std::mutex m_logMutex;
    std::thread m_acceptor;
};

}  // namespace teelink
