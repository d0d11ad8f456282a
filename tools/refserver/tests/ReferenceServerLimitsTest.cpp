// The reference server runs on the user's machine in the demo: what a local
// program could send it must neither fill its memory, stop its service nor keep
// it from ending, and the terminal that shows its log sees no control bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "refserver/ReferenceServer.h"
#include "testsupport/RawHttpClient.h"
#include "testsupport/ReferenceServerSupport.h"

namespace teelink {

namespace {

class ReferenceLimits : public ::testing::Test {
protected:
    void Start(CHttpLimits limits = {}) {
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
    CHttpLimits limits;
    limits.headTimeoutS = 1;
    Start(limits);
    CRawClient large(m_server->Port());
    large.Send("GET /r7r8/index.php?md=1 HTTP/1.1\r\nX-Pad: " + std::string(40000, 'x'));
    const std::string refused = large.ReceiveAll();
    EXPECT_EQ(refused.rfind("HTTP/1.1 431 ", 0), 0u) << refused;

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

// A head of exactly the limit is answered; one byte more is refused, however
// it is made up.
TEST_F(ReferenceLimits, TheHeadLimitHoldsToTheByte) {
    Start();
    const std::string line = "GET /r7r8/index.php?md=1 HTTP/1.1\r\n";
    const auto head = [&line](size_t total, int fields) {
        std::string fixed = line;
        for (int i = 0; i < fields - 1; ++i) {
            fixed += "X-F" + std::to_string(i) + ": v\r\n";
        }
        const size_t rest = total - fixed.size() - std::string("X-Pad: \r\n\r\n").size();
        return fixed + "X-Pad: " + std::string(rest, 'p') + "\r\n\r\n";
    };
    for (const int fields : {1, 200}) {
        for (const auto& [size, status] :
             {std::pair<size_t, const char*>{8192, "200"}, {8193, "431"}}) {
            CRawClient client(m_server->Port());
            client.Send(head(size, fields));
            const std::string answer = client.ReceiveAll();
            EXPECT_EQ(answer.rfind(std::string("HTTP/1.1 ") + status + " ", 0), 0u)
                << size << " bytes in " << fields << " fields: " << answer.substr(0, 40);
        }
    }
}

TEST_F(ReferenceLimits, StoppingEndsConnectionsThatWouldHoldTheServer) {
    CHttpLimits limits;
    limits.headTimeoutS = 600;  // only the stop can end these
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
