#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "httpd/HttpService.h"

namespace teelink {

// An HTTP server on 127.0.0.1 with an ephemeral port that answers the update
// server's script with exactly the bytes a test gives, and records the raw
// request targets it was asked for.
class CTestHttpServer {
public:
    // The body for one request, given its raw query string.
    using Responder = std::function<std::string(const std::string& query)>;

    CTestHttpServer();
    ~CTestHttpServer();

    std::string ScriptUrl() const;  // http://127.0.0.1:PORT/r7r8/index.php
    int Port() const { return m_http.Port(); }

    void Answer(std::string body);
    void AnswerWith(Responder responder);
    // Sends the head with `declaredLength` as Content-Length, then only `body`,
    // then drops the connection: a server that dies during a download.
    void AnswerTruncated(std::string body, size_t declaredLength);

    // From now on, answers longer than `heldAfter` bytes send that many, then hold
    // the rest back until Release(): a download a test can catch in the middle.
    void HoldAnswersAfter(size_t heldAfter);
    void Release();

    std::vector<std::string> Queries() const;

private:
    CHttpAnswer Answer(const CHttpRequest& request);
    // Waits until Release (or the server's end); false when it never came.
    bool WaitForRelease();

    mutable std::mutex m_mutex;
    Responder m_responder;
    bool m_truncate = false;
    size_t m_declaredLength = 0;
    size_t m_heldAfter = 0;
    bool m_held = false;
    bool m_released = false;
    std::condition_variable m_releasedCv;
    std::vector<std::string> m_queries;
    CHttpService m_http;  // last: stopped before what its threads use
};

// Answers the main page's start-up requests: the latest versions (md=1, the
// given fields) and two areas (md=14); anything else gets an empty body.
CTestHttpServer::Responder StartupResponder(std::string versions = "1.0.0.3:1.05:1.05:1.05:");

// The start-up answers, and a small system data package (md=3): a download that
// a test can hold under way, where an empty answer would fail at once.
CTestHttpServer::Responder StartupWithSystemPackage();

// A loopback URL on which nothing listens: opening it is refused at once.
std::string RefusedScriptUrl();
// A loopback port on which nothing listens (it was listening a moment ago).
int UnusedPort();

}  // namespace teelink
