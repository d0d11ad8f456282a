#include "testsupport/TestHttpServer.h"

#include "device/LoopbackSocket.h"

#include <httplib.h>

#include "refserver/AnswerWriter.h"

namespace teelink {

CTestHttpServer::CTestHttpServer() : m_server(std::make_unique<httplib::Server>()) {
    m_server->Get("/r7r8/index.php", [this](const httplib::Request& req, httplib::Response& res) {
        const auto q = req.target.find('?');
        const std::string query = q == std::string::npos ? "" : req.target.substr(q + 1);
        Responder responder;
        bool truncate = false;
        bool held = false;
        size_t declared = 0;
        size_t heldAfter = 0;
        {
            std::lock_guard lock(m_mutex);
            m_queries.push_back(query);
            responder = m_responder;
            truncate = m_truncate;
            declared = m_declaredLength;
            held = m_held;
            heldAfter = m_heldAfter;
        }
        const std::string body = responder ? responder(query) : std::string();
        if (held && body.size() > heldAfter) {
            res.set_content_provider(
                body.size(), "application/octet-stream",
                [this, body, heldAfter](size_t offset, size_t, httplib::DataSink& sink) {
                    if (offset < heldAfter) {
                        sink.write(body.data() + offset, heldAfter - offset);
                        return true;
                    }
                    std::unique_lock lock(m_mutex);
                    if (!m_releasedCv.wait_for(lock, std::chrono::seconds(30),
                                               [this] { return m_released; })) {
                        return false;
                    }
                    lock.unlock();
                    sink.write(body.data() + offset, body.size() - offset);
                    return true;
                });
            return;
        }
        if (!truncate) {
            res.set_content(body, "application/octet-stream");
            return;
        }
        res.set_content_provider(declared, "application/octet-stream",
                                 [body](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset < body.size()) {
                                         sink.write(body.data() + offset, body.size() - offset);
                                         return true;
                                     }
                                     return false;  // drop the connection before the declared end
                                 });
    });
    m_port = m_server->bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // The socket already listens; wait for the accept loop so that stop() reaches it.
    while (!m_server->is_running()) {
        std::this_thread::yield();
    }
}

CTestHttpServer::~CTestHttpServer() {
    Release();
    m_server->stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

std::string CTestHttpServer::ScriptUrl() const {
    return "http://127.0.0.1:" + std::to_string(m_port) + "/r7r8/index.php";
}

void CTestHttpServer::Answer(std::string body) {
    AnswerWith([body = std::move(body)](const std::string&) { return body; });
}

void CTestHttpServer::AnswerWith(Responder responder) {
    std::lock_guard lock(m_mutex);
    m_responder = std::move(responder);
    m_truncate = false;
    m_held = false;
}

void CTestHttpServer::HoldAnswersAfter(size_t heldAfter) {
    std::lock_guard lock(m_mutex);
    m_held = true;
    m_released = false;
    m_heldAfter = heldAfter;
}

void CTestHttpServer::Release() {
    {
        std::lock_guard lock(m_mutex);
        m_released = true;
    }
    m_releasedCv.notify_all();
}

void CTestHttpServer::AnswerTruncated(std::string body, size_t declaredLength) {
    std::lock_guard lock(m_mutex);
    m_responder = [body = std::move(body)](const std::string&) { return body; };
    m_truncate = true;
    m_held = false;
    m_declaredLength = declaredLength;
}

std::vector<std::string> CTestHttpServer::Queries() const {
    std::lock_guard lock(m_mutex);
    return m_queries;
}

std::string RefusedScriptUrl() {
    // A port that was listening a moment ago and no longer is.
    uint16_t port = 0;
    std::string error;
    loopback::Socket socket = loopback::Listen(port, 0, error);
    loopback::Close(socket);
    return "http://127.0.0.1:" + std::to_string(port) + "/r7r8/index.php";
}

CTestHttpServer::Responder StartupResponder(std::string versions) {
    return [versions = std::move(versions)](const std::string& query) -> std::string {
        if (query == "md=1") {
            return FramedAnswer(versions);
        }
        if (query.rfind("md=14&", 0) == 0) {
            return AreaListAnswer({{"JP", "Japan"}, {"KR", "Korea"}});
        }
        return std::string();
    };
}

}  // namespace teelink
