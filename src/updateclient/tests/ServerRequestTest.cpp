#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "testsupport/TestHttpServer.h"
#include "updateclient/ServerRequest.h"

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

// A download into one buffer: the header read elsewhere, then the body straight
// into its place, taken in 1024-byte reads; what comes beyond the buffer is
// never written past its end, and the reads say so by coming up short.
TEST(ServerRequest, ABodyReceivedIntoItsTargetArrivesWholeAndNeverPastIt) {
    CTestHttpServer server;
    const std::string head("TL\0abcd", 7);
    const std::string body = Numbered((4u << 20) + 333);
    for (size_t spare : {size_t{0}, size_t{5000}}) {
        server.Answer(head + body + std::string(spare, 'x'));
        CServerRequest request;
        ASSERT_TRUE(request.Open(server.ScriptUrl()));
        char header[7];
        ASSERT_EQ(request.Read(header, sizeof header), sizeof header);
        EXPECT_EQ(std::string(header, 7), head);
        // One guard byte after the target.
        std::vector<uint8_t> buffer(body.size() + 1024 + 1, 0xEE);
        const size_t capacity = buffer.size() - 1;
        request.SetReadTarget(buffer.data(), capacity);
        size_t total = 0;
        for (;;) {
            const size_t want = std::min<size_t>(1024, capacity - total);
            const size_t n = request.Read(buffer.data() + total, want);
            total += n;
            if (n < 1024) {
                break;
            }
        }
        EXPECT_EQ(total, std::min(body.size() + spare, capacity)) << spare;
        EXPECT_TRUE(std::equal(body.begin(), body.end(), buffer.begin(), [](char b, uint8_t kept) {
            return static_cast<uint8_t>(b) == kept;
        }));
        EXPECT_EQ(buffer.back(), 0xEE) << spare;  // nothing past the target
    }
}

}  // namespace

}  // namespace teelink
