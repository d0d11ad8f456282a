// The update history: records that come back as they were written, a file
// that stays bounded, and earlier records that survive a writer killed in the
// middle of its line.
#include <gtest/gtest.h>

#include <fstream>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "history/History.h"
#include "history/Sha256.h"
#include "testsupport/Files.h"

namespace teelink {

namespace {

CHistoryRecord Sample(int n) {
    CHistoryRecord r;
    r.time = std::chrono::sys_days(std::chrono::year(2026) / 12 / 9) + std::chrono::hours(10) +
             std::chrono::seconds(n);
    r.program = "teelink-cli";
    r.operation = "course update";
    r.model = "R7";
    r.hardware = "A01";
    r.systemVersion = "1.05";
    r.courseDate = "170315";
    r.packageBytes = 344120 + static_cast<uint64_t>(n);
    r.packageSha256 = std::string(64, 'a');
    r.entries = 2;
    r.blocksWritten = 12;
    r.blocksTotal = 85;
    r.result = "failed";
    r.texts = {"read: set ack error", "Error: HID write"};
    return r;
}

void ExpectSame(const CHistoryRecord& a, const CHistoryRecord& b) {
    EXPECT_EQ(FormatHistoryLine(a), FormatHistoryLine(b));
    EXPECT_EQ(a.texts, b.texts);
    EXPECT_EQ(a.time, b.time);
}

TEST(HistoryRecord, ComesBackAsWrittenWhateverItsTextsHold) {
    CHistoryRecord r = Sample(1);
    r.texts = {"tab\there", "line\nbreak", "back\\slash", "end=1", ""};
    r.file = "/home/golfer/logs/round 1.trv";
    CHistoryRecord back;
    ASSERT_TRUE(ParseHistoryLine(FormatHistoryLine(r), back));
    ExpectSame(r, back);
    EXPECT_EQ(FormatHistoryLine(r).find('\n'), std::string::npos);
    EXPECT_EQ(IsoUtc(r.time), "2026-12-09T10:00:01Z");
}

TEST(HistoryRecord, ALineCutShortOrTamperedIsNoRecord) {
    const std::string line = FormatHistoryLine(Sample(2));
    CHistoryRecord r;
    for (size_t cut : {size_t{0}, size_t{10}, line.size() / 2, line.size() - 1}) {
        EXPECT_FALSE(ParseHistoryLine(line.substr(0, cut), r)) << cut;
    }
    EXPECT_FALSE(ParseHistoryLine(line + "\textra=1", r));
    std::string badNumber = line;
    badNumber.replace(badNumber.find("entries=2"), 9, "entries=x");
    EXPECT_FALSE(ParseHistoryLine(badNumber, r));
}

TEST(HistoryFile, AppendsRotatesAndReadsOldestFirst) {
    CTempDir dir;
    const CHistoryFile file(dir.Path() / "state" / "teelink" / "history.log", 2000);
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(file.Append(Sample(i)));
    }
    // Bounded: at most the limit and one line beyond in each of two generations.
    EXPECT_LT(std::filesystem::file_size(file.Path()), 2000u + 400u);
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "state" / "teelink" / "history.1.log"));
    size_t skipped = 99;
    const std::vector<CHistoryRecord> records = file.Read(&skipped);
    EXPECT_EQ(skipped, 0u);
    ASSERT_FALSE(records.empty());
    EXPECT_LT(records.size(), 20u);  // the oldest went with the third generation
    ExpectSame(records.back(), Sample(19));
    for (size_t i = 1; i < records.size(); ++i) {
        EXPECT_LT(records[i - 1].time, records[i].time);
    }
}

TEST(HistoryFile, AFolderThatCannotBeMadeIsAFailureThatSaysWhere) {
    CTempDir dir;
    std::ofstream(dir.Path() / "blocker") << "a file, not a folder";
    const CHistoryFile file(dir.Path() / "blocker" / "history.log");
    const Status appended = file.Append(Sample(1));
    ASSERT_FALSE(appended);
    EXPECT_NE(appended.Failure().Texts().front().find("blocker"), std::string::npos);
    EXPECT_FALSE(CHistoryFile({}).Append(Sample(1)));
}

TEST(Sha256, KnownAnswers) {
    const std::string abc = "abc";
    EXPECT_EQ(Sha256Hex(reinterpret_cast<const uint8_t*>(abc.data()), abc.size()),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex(nullptr, 0),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

#ifndef _WIN32
// A writer killed at any moment leaves every record before its last whole.
TEST(HistoryFile, AWriterKilledMidWayLeavesEveryEarlierRecordWhole) {
    CTempDir dir;
    const CHistoryFile file(dir.Path() / "history.log", 64 << 20);
    for (int round = 0; round < 5; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            CHistoryRecord big = Sample(round);
            big.texts.assign(200, std::string(100, 'x'));  // lines of some 20 KB
            for (;;) {
                (void)file.Append(big);
            }
        }
        ::usleep(static_cast<useconds_t>(30000 + 17000 * round));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    size_t skipped = 0;
    const std::vector<CHistoryRecord> records = file.Read(&skipped);
    EXPECT_FALSE(records.empty());
    EXPECT_LE(skipped, 5u);  // at most each killed writer's last line
    for (const CHistoryRecord& r : records) {
        EXPECT_EQ(r.texts.size(), 200u);
    }
}
#endif

}  // namespace

}  // namespace teelink
