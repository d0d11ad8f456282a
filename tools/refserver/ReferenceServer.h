#pragma once

// The reference update server: answers the update server's script from a
// content directory over HTTP on 127.0.0.1. Runs on threads of its own, so that
// tests and benchmarks start and stop it in-process.
//
// It runs on the user's machine in the demo, so it takes nothing it does not
// need: GET only, no request body, and the limits of CHttpLimits (a bounded
// head, time-outs, a bounded number of connections). Stopping ends every
// connection at once.

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "httpd/HttpService.h"
#include "refserver/ServerContent.h"

namespace teelink {

class CReferenceServer {
public:
    // Receives one line per request: method, target, status, bytes, with every
    // byte outside printable ASCII written as \xHH. Called from the server's
    // threads, one call at a time.
    using LogSink = std::function<void(const std::string& line)>;

    explicit CReferenceServer(std::shared_ptr<const CServerContent> content, LogSink log = {},
                              CHttpLimits limits = {});
    ~CReferenceServer();
    CReferenceServer(const CReferenceServer&) = delete;
    CReferenceServer& operator=(const CReferenceServer&) = delete;

    // Listens on 127.0.0.1 at `port` (0: a free port) and answers until Stop. On
    // false `error` says why (the port is taken, for example).
    bool Start(int port, std::string& error);
    // Stops listening, ends every connection and waits for all threads; safe
    // to call twice.
    void Stop();

    int Port() const { return m_http.Port(); }
    std::string ScriptUrl() const;

private:
    CHttpAnswer Answer(const CHttpRequest& request);
    void Log(const std::string& method, const std::string& target, int status, size_t bytes);

    std::shared_ptr<const CServerContent> m_content;
    LogSink m_log;
    std::mutex m_logMutex;
    CHttpService m_http;
};

}  // namespace teelink
