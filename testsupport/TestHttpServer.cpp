#include "testsupport/TestHttpServer.h"

#include "device/LoopbackSocket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "refserver/AnswerWriter.h"

namespace teelink {

namespace {

CHttpLimits TestLimits() {
    CHttpLimits limits;
    limits.threadPerConnection = true;  // a held answer waits in its reader
    return limits;
}

}  // namespace

CTestHttpServer::CTestHttpServer()
    : m_http([this](const CHttpRequest& request) { return Answer(request); }, TestLimits()) {
    std::string error;
    if (!m_http.Start(0, error)) {
        ADD_FAILURE() << "test server: " << error;
    }
}

CTestHttpServer::~CTestHttpServer() {
    Release();
    m_http.Stop();
}

CHttpAnswer CTestHttpServer::Answer(const CHttpRequest& request) {
    const auto q = request.target.find('?');
    const std::string query = q == std::string::npos ? "" : request.target.substr(q + 1);
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
    CHttpAnswer answer;
    if (request.target.substr(0, q) != "/r7r8/index.php") {
        answer.status = 404;
        return answer;
    }
    auto body = std::make_shared<const std::string>(responder ? responder(query) : std::string());
    if (held && body->size() > heldAfter) {
        answer.streamSize = body->size();
        answer.reader = [this, body, heldAfter](uint64_t offset, char* into, size_t size) -> long {
            if (offset >= heldAfter && !WaitForRelease()) {
                return -1;
            }
            const size_t end = offset < heldAfter ? heldAfter : body->size();
            const size_t n = std::min<size_t>(size, end - offset);
            body->copy(into, n, offset);
            return static_cast<long>(n);
        };
    } else if (truncate) {
        // The head declares `declared` bytes; the connection drops after the body.
        answer.streamSize = declared;
        answer.reader = [body](uint64_t offset, char* into, size_t size) -> long {
            if (offset >= body->size()) {
                return -1;
            }
            const size_t n = std::min<size_t>(size, body->size() - offset);
            body->copy(into, n, offset);
            return static_cast<long>(n);
        };
    } else {
        answer.body = *body;
    }
    return answer;
}

bool CTestHttpServer::WaitForRelease() {
    std::unique_lock lock(m_mutex);
    return m_releasedCv.wait_for(lock, std::chrono::seconds(30), [this] { return m_released; });
}

std::string CTestHttpServer::ScriptUrl() const {
    return "http://127.0.0.1:" + std::to_string(Port()) + "/r7r8/index.php";
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

int UnusedPort() {
    uint16_t port = 0;
    std::string error;
    loopback::Socket socket = loopback::Listen(port, 0, error);
    loopback::Close(socket);
    return port;
}

std::string RefusedScriptUrl() {
    return "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/r7r8/index.php";
}

CTestHttpServer::Responder StartupWithSystemPackage() {
    return [startup = StartupResponder()](const std::string& query) {
        return query.starts_with("md=3&") ? PackageAnswer(std::vector<uint8_t>(4096, 7))
                                          : startup(query);
    };
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
