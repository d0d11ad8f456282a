// The reference server runs on the user's machine in the demo: what a local
// program could send it must neither fill its memory, stop its service nor keep
// it from ending, and the terminal that shows its log sees no control bytes.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "refserver/ReferenceServer.h"
#include "testsupport/ReferenceServerSupport.h"

namespace teelink {

namespace {

// A raw client on the server's port, to send what the tool never would.
class CRawClient {
public:
    explicit CRawClient(int port) {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        EXPECT_EQ(::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    ~CRawClient() { ::close(m_fd); }
    void Send(const std::string& bytes) {
        (void)!::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // Everything until the server closes, or what came within `limit`.
    std::string ReceiveAll(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd entry{m_fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
                return got;
            }
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                closed = true;
                return got;
            }
            got.append(buffer, static_cast<size_t>(n));
        }
    }
    bool closed = false;

private:
    int m_fd = -1;
};

class ReferenceLimits : public ::testing::Test {
protected:
    void Start(CServerLimits limits = {}) {
        m_server = std::make_unique<CReferenceServer>(
            SampleContent(),
            [this](const std::string& line) {
                std::lock_guard lock(m_mutex);
                m_log.push_back(line);
            },
            limits);
        std::string error;
        ASSERT_TRUE(m_server->Start(0, error)) << error;
    }
    std::vector<std::string> Log() {
        std::lock_guard lock(m_mutex);
        return m_log;
    }
    std::string Get(const std::string& query) {
        CRawClient client(m_server->Port());
        client.Send("GET /r7r8/index.php?" + query + " HTTP/1.1\r\nHost: x\r\n\r\n");
        return client.ReceiveAll();
    }

    std::mutex m_mutex;
    std::vector<std::string> m_log;
    std::unique_ptr<CReferenceServer> m_server;
};

TEST_F(ReferenceLimits, OnlyGetIsAnsweredAndNoBodyIsRead) {
    Start();
    CRawClient post(m_server->Port());
    // 800 MB announced: refused before a byte of it is sent.
    post.Send("POST /r7r8/index.php?md=1 HTTP/1.1\r\nContent-Length: 800000000\r\n\r\n");
    const std::string answer = post.ReceiveAll();
    EXPECT_EQ(answer.rfind("HTTP/1.1 405 ", 0), 0u) << answer;
    EXPECT_TRUE(post.closed);
    CRawClient body(m_server->Port());
    body.Send("GET /r7r8/index.php?md=1 HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n");
    EXPECT_EQ(body.ReceiveAll().rfind("HTTP/1.1 413 ", 0), 0u);
    EXPECT_EQ(Get("md=1").rfind("HTTP/1.1 200 ", 0), 0u);
}

TEST_F(ReferenceLimits, AHeadTooLargeOrTooSlowIsEndedAndServiceGoesOn) {
    CServerLimits limits;
    limits.headTimeoutMs = 300;
    Start(limits);
    CRawClient large(m_server->Port());
    large.Send("GET /r7r8/index.php?md=1 HTTP/1.1\r\n" + std::string(20000, 'x'));
    EXPECT_EQ(large.ReceiveAll().rfind("HTTP/1.1 431 ", 0), 0u);

    // Ten clients that never finish their heads: each is ended at its deadline,
    // and meanwhile others are served.
    std::vector<std::unique_ptr<CRawClient>> slow;
    for (int i = 0; i < 10; ++i) {
        slow.push_back(std::make_unique<CRawClient>(m_server->Port()));
        slow.back()->Send("GET /r7r8/index.php?md=1 HT");
    }
    EXPECT_EQ(Get("md=1").rfind("HTTP/1.1 200 ", 0), 0u);
    for (auto& client : slow) {
        EXPECT_EQ(client->ReceiveAll(), "");
        EXPECT_TRUE(client->closed);
    }
}

TEST_F(ReferenceLimits, StoppingEndsConnectionsThatWouldHoldTheServer) {
    CServerLimits limits;
    limits.headTimeoutMs = 600000;  // only the stop can end these
    Start(limits);
    CRawClient unfinished(m_server->Port());
    unfinished.Send("GET /r7r8/index.php?md=1 HTTP/1.1\r\n");
    EXPECT_EQ(Get("md=1").rfind("HTTP/1.1 200 ", 0), 0u);  // the connection is being served
    auto stopped = std::async(std::launch::async, [this] { m_server->Stop(); });
    EXPECT_EQ(stopped.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(unfinished.ReceiveAll(), "");
    EXPECT_TRUE(unfinished.closed);
}

TEST_F(ReferenceLimits, ControlBytesOfARequestReachTheLogEscaped) {
    Start();
    const std::string answer = Get("md=1&x=\x1b[2J\x07\x7f");
    EXPECT_EQ(answer.rfind("HTTP/1.1 400 ", 0), 0u) << answer;
    const std::vector<std::string> log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("GET /r7r8/index.php?md=1&x=\\x1b[2J\\x07\\x7f 400 ", 0), 0u) << log[0];
    for (const unsigned char c : log[0]) {
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << static_cast<int>(c);
    }
}

}  // namespace

}  // namespace teelink
