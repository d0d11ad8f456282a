#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "server/ServerRequest.h"
#include "testsupport/TestHttpServer.h"

namespace teelink {

namespace {

// Bytes that do not repeat, so that a piece lost, doubled or moved shows.
std::string Numbered(size_t size) {
    std::string body(size, '\0');
    uint32_t state = 977;
    for (char& c : body) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return body;
}

// Reads the whole body in reads of `piece` bytes.
std::string ReadAll(CServerRequest& request, size_t piece) {
    std::string body;
    std::vector<char> buffer(piece);
    for (;;) {
        const size_t n = request.Read(buffer.data(), buffer.size());
        body.append(buffer.data(), n);
        if (n < piece) {
            return body;
        }
    }
}

TEST(ServerRequest, ABodyLargerThanWhatIsStagedArrivesWholeInSmallReads) {
    CTestHttpServer server;
    const std::string body = Numbered(5u << 20);
    server.Answer(body);
    CServerRequest request;
    ASSERT_TRUE(request.Open(server.ScriptUrl()));
    EXPECT_TRUE(ReadAll(request, 1024) == body);
    EXPECT_FALSE(request.BrokenOff());
}

TEST(ServerRequest, ReadsLargerThanWhatIsStagedAreFilledWhole) {
    // Megabyte reads: the transfer may not be held back waiting for a reader
    // that asks for more than the staging holds.
    CTestHttpServer server;
    const std::string body = Numbered((3u << 20) + 12345);
    server.Answer(body);
    CServerRequest request;
    ASSERT_TRUE(request.Open(server.ScriptUrl()));
    std::vector<char> buffer(1u << 20);
    EXPECT_EQ(request.Read(buffer.data(), 7), 7u);
    std::string got(buffer.data(), 7);
    for (size_t n = buffer.size(); n == buffer.size();) {
        n = request.Read(buffer.data(), buffer.size());
        got.append(buffer.data(), n);
    }
    EXPECT_TRUE(got == body);
    EXPECT_FALSE(request.BrokenOff());
}

}  // namespace

}  // namespace teelink
