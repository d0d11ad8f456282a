#pragma once

// The reference update server: answers the update server's script from a
// content directory over HTTP on 127.0.0.1. Runs on threads of its own, so that
// tests and benchmarks start and stop it in-process.

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "refserver/ServerContent.h"

namespace httplib {
class Server;
}

namespace teelink {

class CReferenceServer {
public:
    // Receives one line per request: method, target, status, bytes. Called from
    // the server's threads, one call at a time.
    using LogSink = std::function<void(const std::string& line)>;

    explicit CReferenceServer(std::shared_ptr<const CServerContent> content, LogSink log = {});
    ~CReferenceServer();
    CReferenceServer(const CReferenceServer&) = delete;
    CReferenceServer& operator=(const CReferenceServer&) = delete;

    // Listens on 127.0.0.1 at `port` (0: a free port) and answers until Stop. On
    // false `error` says why (the port is taken, for example).
    bool Start(int port, std::string& error);
    // Stops listening and waits for the server thread; safe to call twice.
    void Stop();

    int Port() const { return m_port; }
    std::string ScriptUrl() const;

private:
    void InstallHandlers();
    bool Listen(int port, std::string& error);
    bool RunAcceptLoop(std::string& error);

    std::shared_ptr<const CServerContent> m_content;
    LogSink m_log;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
};

}  // namespace teelink
