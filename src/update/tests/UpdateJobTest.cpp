#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <fstream>
#include <mutex>
#include <thread>

#include "common/ByteOrder.h"
#include "core/TeelinkDoc.h"
#include "device/Protocol.h"
#include "history/Sha256.h"
#include "refserver/AnswerWriter.h"
#include "refserver/PackageBuilder.h"
#include "testsupport/DeviceTestSupport.h"
#include "testsupport/Files.h"
#include "testsupport/LargePackages.h"
#include "testsupport/ReportRecorder.h"
#include "testsupport/TestHttpServer.h"
#include "update/UpdateJob.h"

namespace teelink {

namespace {

// What a worker reported, in order; the remaining minutes apart from the rest.
class CUpdateRecorder : public CReportRecorder<UpdateMessage> {
public:
    std::vector<UpdateMessage> Messages() const {
        return CReportRecorder::Messages({WM_UPDATE_REMAIN_TIME});
    }
    std::vector<int> Minutes() const { return Params(WM_UPDATE_REMAIN_TIME); }
};

// What the run's runner and its owner make of a phase's end: a failure's texts
// shown, then the message the end stands for, among the reports. A download
// that went well has no end of its own: the write follows.
void ShowEnd(const Status& end, const CUpdateJob& job, IUserNotifier& notifier,
             CUpdateRecorder& report, bool endOnSuccess = true) {
    if (!end.Ok() && end.Failure().Kind() == FailureKind::Stopped) {
        return;
    }
    if (!end.Ok()) {
        for (const std::string& text : end.Failure().Texts()) {
            notifier.ShowPlain(text);
        }
    }
    if (!end.Ok() || endOnSuccess) {
        report.Post(EndMessage(end, job.m_phase.load()), 0);
    }
}

std::string Bytes(const std::vector<uint8_t>& v) {
    return std::string(v.begin(), v.end());
}

class Download : public ::testing::Test {
protected:
    void Run() { RunAt(server.ScriptUrl() + "?md=4"); }
    void RunAt(const std::string& url) {
        order.url = url;
        ShowEnd(DownloadJob(job, order, CJobContext{CDevice(), settings, stop}, report), job,
                notifier, report, false);
    }
    // A framed package whose header announces `announced` bytes, followed by `body`.
    static std::string Framed(uint32_t announced, const std::string& body) {
        return PackageHeader(announced) + body;
    }

    CTestHttpServer server;
    CUpdateJob job;
    CUpdateOrder order;
    CServerSettings settings;
    CUpdateRecorder report;
    CRecordingNotifier notifier;
    CStopSource stop;
};

TEST_F(Download, BodiesOfExactlySOrSPlusOneBytesComplete) {
    for (size_t extra : {0u, 1u}) {
        report.Clear();
        const std::string package(5000, 'p');
        server.Answer(Framed(5000, package + std::string(extra, 'x')));
        Run();
        EXPECT_EQ(report.Messages(), std::vector<UpdateMessage>{WM_UPDATE_DOWNLOADED});
        EXPECT_EQ(job.m_nPackageSize, 5000u);
        ASSERT_EQ(job.m_pPackage.size(), 5000u + 1024u);
        EXPECT_EQ(std::string(job.m_pPackage.begin(), job.m_pPackage.begin() + 5000), package);
        EXPECT_EQ(report.Positions(BAR_DOWNLOAD).back(), 1000);
    }
    EXPECT_TRUE(notifier.Texts().empty());
}

TEST_F(Download, ALargePackageArrivesByteForByte) {
    // Far more than the request routine stages at a time, in bytes that do not
    // repeat: a piece lost, doubled or reordered while the transfer is held
    // back and resumed shows.
    std::string package(6u << 20, '\0');
    uint32_t state = 12345;
    for (char& c : package) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    server.Answer(Framed(static_cast<uint32_t>(package.size()), package));
    Run();
    EXPECT_EQ(report.Messages(), std::vector<UpdateMessage>{WM_UPDATE_DOWNLOADED});
    ASSERT_EQ(job.m_nPackageSize, package.size());
    ASSERT_EQ(job.m_pPackage.size(), package.size() + 1024u);
    const auto difference =
        std::mismatch(package.begin(), package.end(), job.m_pPackage.begin(),
                      [](char sent, uint8_t kept) { return static_cast<uint8_t>(sent) == kept; });
    EXPECT_TRUE(difference.first == package.end())
        << "first difference at byte " << (difference.first - package.begin());
    EXPECT_TRUE(notifier.Texts().empty());
}

TEST_F(Download, OtherBodyLengthsAreARefusedSizeAndNothingIsWrittenPastTheBuffer) {
    for (size_t length : {4999u, 5002u, 50000u}) {
        notifier.Clear();
        report.Clear();
        server.Answer(Framed(5000, std::string(length, 'p')));
        Run();
        EXPECT_EQ(notifier.Texts(), std::vector<std::string>{"Error: Read size zip"}) << length;
        EXPECT_EQ(report.Messages(), std::vector<UpdateMessage>{WM_UPDATE_DOWNLOAD_FAILED});
        EXPECT_TRUE(job.m_pPackage.empty());  // released after a failure
        // A body far longer than announced never moves the bar past its end.
        for (int position : report.Positions(BAR_DOWNLOAD)) {
            EXPECT_LE(position, 1000) << length;
        }
    }
}

TEST_F(Download, TheBarMovesInThousandthsOnlyWhenItChanges) {
    // A multiple of 1024 ends with a read of 0 bytes.
    server.Answer(Framed(1024 * 300, std::string(1024 * 300, 'p')));
    Run();
    EXPECT_EQ(report.Messages(), std::vector<UpdateMessage>{WM_UPDATE_DOWNLOADED});
    ASSERT_FALSE(report.Positions(BAR_DOWNLOAD).empty());
    EXPECT_EQ(report.Positions(BAR_DOWNLOAD).front(), 3);  // 1024 / 307200 * 1000
    for (size_t i = 1; i < report.Positions(BAR_DOWNLOAD).size(); ++i) {
        EXPECT_LT(report.Positions(BAR_DOWNLOAD)[i - 1], report.Positions(BAR_DOWNLOAD)[i]);
    }
    EXPECT_EQ(report.Positions(BAR_DOWNLOAD).back(), 1000);
}

TEST_F(Download, AnEmptyPackageDownloadsButCannotBeOpened) {
    server.Answer(Framed(0, ""));
    Run();
    EXPECT_EQ(report.Messages(), std::vector<UpdateMessage>{WM_UPDATE_DOWNLOADED});
    ShowEnd(WriteJob(job, order, CJobContext{CDevice(), CServerSettings{}, stop}, report), job,
            notifier, report);
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>{"Error: zip init"});
    EXPECT_EQ(report.Messages().back(), WM_UPDATE_WRITE_FAILED);
}

TEST_F(Download, ServerFailuresHaveTheirTexts) {
    struct Case {
        std::string body;
        const char* text;
    };
    for (const Case& c : {Case{"<html>404</html>", "Error: Download data"},
                          Case{"TL\0\x05", "Error: Download data"},
                          Case{Framed(0xFFFFFFFF, "abc"), "Error: malloc zip"}}) {
        notifier.Clear();
        server.Answer(c.body);
        Run();
        EXPECT_EQ(notifier.Texts(), std::vector<std::string>{c.text});
    }
    notifier.Clear();
    RunAt(RefusedScriptUrl());
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>{"Error: Connect server"});
}

TEST_F(Download, AServerThatDiesMidwayIsARefusedSize) {
    server.AnswerTruncated(Framed(100000, std::string(30000, 'p')), 7 + 100000);
    Run();
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>{"Error: Read size zip"});
}

TEST_F(Download, CancelStopsBeforeTheNextRead) {
    stop.Request(StopReason::Cancel);
    server.Answer(Framed(5000, std::string(5000, 'p')));
    Run();
    EXPECT_EQ(report.Messages(), std::vector<UpdateMessage>{WM_UPDATE_DOWNLOAD_CANCELLED});
    EXPECT_TRUE(notifier.Texts().empty());
}

TEST_F(Download, AServerThatStallsMidwayFailsOnceItHasBeenTooSlowForTheStallTime) {
    settings.stallTimeoutSeconds = 1;
    server.Answer(Framed(50000, std::string(50000, 'p')));
    server.HoldAnswersAfter(7 + 3000);  // never released
    Run();
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>{"Error: Read size zip"});
    EXPECT_EQ(report.Messages(), std::vector<UpdateMessage>{WM_UPDATE_DOWNLOAD_FAILED});
}

TEST_F(Download, CancelEndsAStalledRequestAtOnce) {
    // The stall limit is far away: only the cancel can end this download.
    server.Answer(Framed(50000, std::string(50000, 'p')));
    server.HoldAnswersAfter(7 + 3000);
    std::thread worker([this] { Run(); });
    while (report.Positions(BAR_DOWNLOAD).empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stop.Request(StopReason::Cancel);
    EXPECT_TRUE(report.WaitForPosts(1, std::chrono::seconds(5)));
    worker.join();
    EXPECT_EQ(report.Messages(), std::vector<UpdateMessage>{WM_UPDATE_DOWNLOAD_CANCELLED});
    EXPECT_TRUE(notifier.Texts().empty());
}

class Write : public DeviceTest {
protected:
    CDeviceEmulator& Device() {
        if (m_devices.empty()) {
            StartDevice();
        }
        return *m_devices.front();
    }
    void Run(const std::vector<CPackageEntry>& entries, int mode = 0) {
        const std::vector<uint8_t> archive = BuildPackage(entries);
        ASSERT_FALSE(archive.empty());
        RunArchive(archive, mode);
    }
    // Writes `archive` as the downloaded package to the device.
    void RunArchive(const std::vector<uint8_t>& archive, int mode = 0) {
        Device();
        EXPECT_EQ(m_list.Enumerate(), 1);
        job.m_pPackage.assign(archive.begin(), archive.end());
        job.m_pPackage.resize(archive.size() + 1024);
        job.m_nPackageSize = static_cast<uint32_t>(archive.size());
        if (job.m_writeStart == std::chrono::steady_clock::time_point{}) {
            job.m_writeStart = std::chrono::steady_clock::now();
        }
        ShowEnd(WriteJob(job, Order(mode), Context(TheDevice()), report), job, m_notifier, report);
    }
    std::vector<uint32_t> WrittenAddresses() {
        std::vector<uint32_t> out;
        for (const CCommandRecord& r : Device().CommandLog()) {
            if (r.word == CommandWord(CMD_WRITE_BLOCK)) {
                out.push_back(r.address);
            }
        }
        return out;
    }

    static CUpdateOrder Order(int mode = 0) {
        return CUpdateOrder{"", mode, CWriteSettings{std::chrono::milliseconds(1)}, {}, {}};
    }

    CUpdateJob job;
    CUpdateRecorder report;
    std::atomic<int>& lastMinutes = job.m_nLastRemainMinutes;
};

TEST_F(Write, EntriesLandAtTheirAddressesByteForByte) {
    const std::vector<uint8_t> first = Pattern(4096 * 3 + 100, 1);
    const std::vector<uint8_t> second = Pattern(5000, 2);
    Run({{"a", MakeEntry(0x100000, first), true}, {"b", MakeEntry(0x200000, second), false}});
    EXPECT_TRUE(m_notifier.Texts().empty());
    EXPECT_EQ(report.Messages(), std::vector<UpdateMessage>{WM_UPDATE_WRITTEN});
    EXPECT_EQ(Device().ReadMemory(0x100000, first.size()), first);
    EXPECT_EQ(Device().ReadMemory(0x200000, second.size()), second);
    // The last block of each entry is padded with zeros.
    EXPECT_EQ(Device().ReadMemory(0x100000 + first.size(), 4096 - 100),
              std::vector<uint8_t>(4096 - 100, 0));
    EXPECT_EQ(report.Positions(BAR_WRITE).back(), 1000);
    EXPECT_EQ(Device().Status().endCommands, 0u);
}

TEST_F(Write, BlockCountFollowsThePayloadSize) {
    Run({{"exact", MakeEntry(0x10000, Pattern(4096, 3)), true},     // U = 4102: one block
         {"one-more", MakeEntry(0x20000, Pattern(4097, 4)), true},  // U = 4103: two
         {"empty-payload", MakeEntry(0x30000, {}), true}});         // U = 6: none
    // The 6-byte entry opens the device but sends nothing: two sessions carry reports.
    ASSERT_TRUE(Device().WaitForSessionsEnded(2));
    EXPECT_EQ(WrittenAddresses(), (std::vector<uint32_t>{0x10000, 0x20000, 0x21000}));
    EXPECT_EQ(job.m_nBlocksWritten.load(), 3u);
    std::vector<uint8_t> lastBlock(4096, 0);
    lastBlock[0] = Pattern(4097, 4).back();
    EXPECT_EQ(Device().ReadMemory(0x21000, 4096), lastBlock);
}

TEST_F(Write, AnEntryWithoutTheMarkIsADataFormatError) {
    Run({{"dir/", {}, false}});
    EXPECT_EQ(m_notifier.Texts(),
              (std::vector<std::string>{"Data format error", "Error: HID write"}));
    EXPECT_EQ(report.Messages(), std::vector<UpdateMessage>{WM_UPDATE_WRITE_FAILED});
}

// An archive of one entry stored with `method`, encrypted when `password` is
// given: made with the zip library itself, as another packer would.
std::vector<uint8_t> ArchiveWith(int32_t method, const char* password) {
    CTempDir dir("tlzip");
    const std::filesystem::path path = dir.Path() / "p.zip";
    int error = 0;
    zip_t* archive = zip_open(path.string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    static const std::vector<uint8_t> entry = MakeEntry(0x1000, Pattern(5000, 3));
    zip_source_t* source = zip_source_buffer(archive, entry.data(), entry.size(), 0);
    const zip_int64_t index = zip_file_add(archive, "x", source, ZIP_FL_OVERWRITE);
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), method, 0);
    if (password != nullptr) {
        zip_file_set_encryption(archive, static_cast<zip_uint64_t>(index), ZIP_EM_AES_256,
                                password);
    }
    if (zip_close(archive) != 0) {
        return {};
    }
    return ReadFileBytes(path);
}

TEST_F(Write, EntriesPackedWithOtherMethodsOrEncryptedAreExtractErrors) {
    struct Case {
        const char* what;
        int32_t method;
        const char* password;
    };
    for (Case c : {Case{"bzip2", ZIP_CM_BZIP2, nullptr}, Case{"lzma", ZIP_CM_LZMA, nullptr},
                   Case{"xz", ZIP_CM_XZ, nullptr}, Case{"aes", ZIP_CM_STORE, "secret"}}) {
        if (!zip_compression_method_supported(c.method, 1) ||
            (c.password != nullptr && !zip_encryption_method_supported(ZIP_EM_AES_256, 1))) {
            continue;  // this zip library cannot make such an entry
        }
        const std::vector<uint8_t> archive = ArchiveWith(c.method, c.password);
        ASSERT_FALSE(archive.empty()) << c.what;
        m_notifier.Clear();
        RunArchive(archive);
        EXPECT_EQ(m_notifier.Texts(), std::vector<std::string>{"Error: zip extract"}) << c.what;
        EXPECT_TRUE(WrittenAddresses().empty()) << c.what;
    }
}

TEST_F(Write, ACorruptedEntryIsAnExtractError) {
    const std::vector<uint8_t> payload(3000, 'q');
    std::vector<uint8_t> archive = BuildPackage({{"x", MakeEntry(0x1000, payload), false}});
    // Flip one byte of the stored data: the CRC no longer matches.
    const std::string bytes = Bytes(archive);
    const size_t at = bytes.find(std::string(100, 'q'));
    ASSERT_NE(at, std::string::npos);
    archive[at + 50] ^= 0xFF;
    RunArchive(archive);
    EXPECT_EQ(m_notifier.Texts(), std::vector<std::string>{"Error: zip extract"});
    EXPECT_TRUE(WrittenAddresses().empty());
}

// Every entry is checked before the first block goes out: a package that a
// check can refuse never leaves the device half written.
TEST_F(Write, ABrokenLaterEntryIsRefusedBeforeTheDeviceIsTouched) {
    const std::vector<uint8_t> good = Pattern(9000, 11);
    const std::vector<uint8_t> payload(3000, 'q');
    std::vector<uint8_t> archive = BuildPackage(
        {{"good", MakeEntry(0x1000, good), false}, {"bad", MakeEntry(0x9000, payload), false}});
    const size_t at = Bytes(archive).find(std::string(100, 'q'));
    ASSERT_NE(at, std::string::npos);
    archive[at + 50] ^= 0xFF;  // the second entry's CRC no longer matches
    RunArchive(archive);
    EXPECT_EQ(m_notifier.Texts(), std::vector<std::string>{"Error: zip extract"});
    EXPECT_EQ(report.Messages(), std::vector<UpdateMessage>{WM_UPDATE_WRITE_FAILED});
    EXPECT_TRUE(WrittenAddresses().empty());
    EXPECT_EQ(Device().Status().commands, 0u);
    EXPECT_EQ(Device().ReadMemory(0x1000, 4), std::vector<uint8_t>(4, 0xFF));

    // The same for a later entry without the mark, with the texts the write
    // would have shown.
    report.Clear();
    m_notifier.Clear();
    Run({{"good", MakeEntry(0x1000, good), true}, {"unmarked", Pattern(5000, 12), true}});
    EXPECT_EQ(m_notifier.Texts(),
              (std::vector<std::string>{"Data format error", "Error: HID write"}));
    EXPECT_TRUE(WrittenAddresses().empty());
    EXPECT_EQ(job.m_nBlocksWritten.load(), 0u);
}

TEST_F(Write, AnEntryAnnouncingAHugeSizeIsRefusedBeforeAnyAllocation) {
    std::vector<uint8_t> archive = BuildPackage({{"x", MakeEntry(0x1000, {1, 2, 3}), false}});
    // Claim 1 GiB uncompressed in the local header (offset 22) and in the central
    // directory record (offset 24), so that the archive stays consistent.
    const std::string bytes = Bytes(archive);
    const size_t local = bytes.find("PK\x03\x04");
    const size_t central = bytes.find("PK\x01\x02");
    ASSERT_NE(local, std::string::npos);
    ASSERT_NE(central, std::string::npos);
    for (size_t at : {local + 22, central + 24}) {
        teelink::StoreLe32(&archive[at], 1u << 30);
    }
    RunArchive(archive);
    EXPECT_EQ(m_notifier.Texts(), std::vector<std::string>{"Error: zip alloc"});
    EXPECT_TRUE(WrittenAddresses().empty());
}

// The check before the write inflates every entry; on a package of large
// entries it takes long, and Cancel or the owner's stop must end it.
TEST_F(Write, CancelDuringTheCheckEndsTheRunAsACancelledDownloadWithNothingWritten) {
    for (bool stop : {false, true}) {
        report.Clear();
        m_notifier.Clear();
        m_stop.Reset();
        const std::vector<uint8_t> archive = ZeroFilledEntries(8);
        std::thread worker([&] { RunArchive(archive); });
        while (job.m_nBytesChecked.load() == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        m_stop.Request(stop ? StopReason::Owner : StopReason::Cancel);
        worker.join();
        // Ended long before the 512 MiB were inflated.
        EXPECT_LT(job.m_nBytesChecked.load(), 8ull * (64u << 20)) << stop;
        const std::vector<UpdateMessage> cancelled{WM_UPDATE_DOWNLOAD_CANCELLED};
        EXPECT_EQ(report.Messages(), stop ? std::vector<UpdateMessage>{} : cancelled) << stop;
        EXPECT_TRUE(m_notifier.Texts().empty()) << stop;
        EXPECT_EQ(Device().Status().commands, 0u) << stop;
    }
}

TEST_F(Write, RecordsBeyondWhatADeviceCouldHoldAreRefusedBeforeInflating) {
    // 65 entries of 64 MiB: more than a 32-bit address space, each one
    // plausible on its own.
    RunArchive(ZeroFilledEntries(65));
    EXPECT_EQ(m_notifier.Texts(), std::vector<std::string>{"Error: zip alloc"});
    EXPECT_EQ(job.m_nBytesChecked.load(), 0u);

    // One entry that claims 100 MiB from a few stored bytes: beyond what
    // deflate can make.
    std::vector<uint8_t> archive = BuildPackage({{"x", MakeEntry(0x1000, {1, 2, 3}), false}});
    const std::string bytes = Bytes(archive);
    for (size_t at : {bytes.find("PK\x03\x04") + 22, bytes.find("PK\x01\x02") + 24}) {
        teelink::StoreLe32(&archive[at], 100u << 20);
    }
    m_notifier.Clear();
    RunArchive(archive);
    EXPECT_EQ(m_notifier.Texts(), std::vector<std::string>{"Error: zip alloc"});
    EXPECT_EQ(job.m_nBytesChecked.load(), 0u);
    EXPECT_EQ(Device().Status().commands, 0u);
}

TEST_F(Write, AnEntryRunningPastTheEndOfTheAddressSpaceIsRefused) {
    // Its second block would wrap round to address 0.
    Run({{"good", MakeEntry(0x1000, Pattern(5000, 1)), true},
         {"top", MakeEntry(0xFFFFF000u, Pattern(4097, 2)), true}});
    EXPECT_EQ(m_notifier.Texts(), std::vector<std::string>{"Error: zip extract"});
    EXPECT_EQ(report.Messages(), std::vector<UpdateMessage>{WM_UPDATE_WRITE_FAILED});
    EXPECT_EQ(Device().Status().commands, 0u);
}

TEST_F(Write, OnlySystemDataEndsWithTheFirmwareStart) {
    for (int mode : {0, 2}) {
        Run({{"a", MakeEntry(0x1000, Pattern(10, 5)), true}}, mode);
    }
    EXPECT_EQ(Device().Status().endCommands, 0u);
    Run({{"a", MakeEntry(0x1000, Pattern(10, 5)), true}}, 1);
    ASSERT_TRUE(Device().WaitFor([](const CEmulatorStatus& s) { return s.endCommands >= 1; }));
    EXPECT_EQ(Device().Status().endCommands, 1u);
    EXPECT_EQ(report.Messages().back(), WM_UPDATE_WRITTEN);
}

TEST_F(Write, TheEstimateStartsWithTheSecondBlockAndIsPostedOnlyWhenItChanges) {
    // Ten minutes into the write phase: the estimates are large and stable.
    job.m_writeStart = std::chrono::steady_clock::now() - std::chrono::seconds(600);
    const std::vector<uint8_t> twoBlocks = Pattern(8192, 6);  // U = 8198
    Run({{"a", MakeEntry(0x1000, twoBlocks), true}, {"b", MakeEntry(0x9000, twoBlocks), true}});
    // Block 0 of the first entry: P = 0, no estimate. Block 1: P = 4096.
    // Block 0 of the second entry: P = 8198 (U of the first). Block 1: P = 12294.
    // T = 16396. Remaining seconds (T - P) * 600 / P: 1801, 600 and 200, so
    // 30, 10 and 3 whole minutes, plus 1.
    const std::vector<int> expected{31, 11, 4};
    EXPECT_EQ(report.Minutes(), expected);
    // The bar at each block's P / T * 1000, truncated, then the end.
    EXPECT_EQ(report.Positions(BAR_WRITE), (std::vector<int>{0, 249, 500, 749, 1000}));

    // A run whose first estimate equals the value posted last (by an earlier run)
    // does not post it again.
    report.Clear();
    lastMinutes = expected.front();
    job.m_writeStart = std::chrono::steady_clock::now() - std::chrono::seconds(600);
    Run({{"a", MakeEntry(0x1000, twoBlocks), true}, {"b", MakeEntry(0x9000, twoBlocks), true}});
    EXPECT_EQ(report.Minutes(), std::vector<int>(expected.begin() + 1, expected.end()));
    EXPECT_EQ(lastMinutes.load(), expected.back());
}

TEST(RemainingTime, MinutesRoundUpFromTheLinearEstimate) {
    EXPECT_EQ(RemainingMinutes(100, 50, 0), 1);     // 0 s left
    EXPECT_EQ(RemainingMinutes(100, 50, 59), 1);    // 59 s
    EXPECT_EQ(RemainingMinutes(100, 50, 60), 2);    // 60 s
    EXPECT_EQ(RemainingMinutes(100, 25, 40), 3);    // 120 s
    EXPECT_EQ(RemainingMinutes(100, 100, 999), 1);  // done
}

TEST_F(Write, CancelStopsBeforeTheNextBlockAndFailsTheRun) {
    CEmulatorConfig slow = Config();
    slow.reportIntervalUs = 2000;  // a block takes over a tenth of a second
    StartDevice(slow);
    std::thread worker([&] { Run({{"a", MakeEntry(0x1000, Pattern(8 * 4096, 7)), true}}); });
    while (job.m_nBlocksWritten.load() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    m_stop.Request(StopReason::Cancel);
    worker.join();
    EXPECT_EQ(report.Messages(),
              (std::vector<UpdateMessage>{WM_UPDATE_WRITE_CANCELLED, WM_UPDATE_WRITE_FAILED}));
    EXPECT_EQ(m_notifier.Texts(), std::vector<std::string>{"Error: HID write"});
    // The block under way when the cancel came is finished, and no other begun.
    ASSERT_TRUE(Device().WaitForSessionsEnded(1));  // its log is complete then
    const uint64_t blocks = job.m_nBlocksWritten.load();
    EXPECT_LT(blocks, 8u);
    EXPECT_EQ(WrittenAddresses().size(), blocks);
}

TEST_F(Write, ADeviceThatStopsAnsweringFailsWithItsErrorText) {
    UseShortTimeout();
    CEmulatorConfig config = Config();
    config.faults.noFinalAck = true;
    StartDevice(config);
    Run({{"a", MakeEntry(0x1000, Pattern(100, 8)), true}});
    EXPECT_EQ(m_notifier.Texts(),
              (std::vector<std::string>{"read: set ack error", "Error: HID write"}));
    // The device never confirmed the block: it does not count as written.
    EXPECT_EQ(job.m_nBlocksWritten.load(), 0u);
    EXPECT_EQ(report.Messages(), std::vector<UpdateMessage>{WM_UPDATE_WRITE_FAILED});
}

TEST_F(Write, ANoDeviceIsAnOpenErrorThenAWriteError) {
    const std::vector<uint8_t> archive = BuildPackage({{"a", MakeEntry(0x1000, {1, 2}), true}});
    job.m_pPackage.assign(archive.begin(), archive.end());
    job.m_nPackageSize = static_cast<uint32_t>(archive.size());
    ShowEnd(WriteJob(job, Order(), Context(CDevice()), report), job, m_notifier, report);
    EXPECT_EQ(m_notifier.Texts(), (std::vector<std::string>{"USB Open Error", "Error: HID write"}));
}

// The read-back check: every written block read back and compared before the
// run counts as written.
class Verify : public Write {
protected:
    void RunVerified(int mode = UPDATE_COURSE_DATA) {
        Device();
        EXPECT_EQ(m_list.Enumerate(), 1);
        const std::vector<uint8_t> archive =
            BuildPackage({{"a", MakeEntry(0x100000, Pattern(4096 * 2 + 10, 4)), true},
                          {"b", MakeEntry(0x300000, Pattern(900, 5)), false}});
        job.m_pPackage.assign(archive.begin(), archive.end());
        job.m_pPackage.resize(archive.size() + 1024);
        job.m_nPackageSize = static_cast<uint32_t>(archive.size());
        job.m_writeStart = std::chrono::steady_clock::now();
        CUpdateOrder order = Order(mode);
        order.write.verify = true;
        ShowEnd(WriteJob(job, order, Context(TheDevice()), report), job, m_notifier, report);
    }
    // Whether every command the device has received is in its log (a command
    // is logged once the device is done with it, which may be after the tool
    // has its answer).
    bool LogCaughtUp() {
        for (int i = 0; i < 1000; ++i) {
            const std::vector<CCommandRecord> log = Device().CommandLog();
            const auto logged = static_cast<uint64_t>(std::count_if(
                log.begin(), log.end(), [](const CCommandRecord& r) { return r.sequence != 0; }));
            if (logged >= Device().Status().commands) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    size_t ReadBacks() {
        EXPECT_TRUE(LogCaughtUp());
        size_t reads = 0;
        for (const CCommandRecord& r : Device().CommandLog()) {
            reads += r.word == CommandWord(CMD_READ_BLOCK) ? 1 : 0;
        }
        return reads;
    }
};

TEST_F(Verify, ASoundDeviceIsReadBackBlockForBlockAndPasses) {
    RunVerified(UPDATE_SYSTEM_DATA);
    EXPECT_TRUE(m_notifier.Texts().empty());
    ASSERT_EQ(report.Messages(),
              (std::vector<UpdateMessage>{WM_UPDATE_VERIFYING, WM_UPDATE_WRITTEN}));
    EXPECT_EQ(report.Positions(BAR_VERIFY).back(), 1000);
    // The end command goes out last, and the device may take it after the
    // job has ended.
    ASSERT_TRUE(Device().WaitFor([](const CEmulatorStatus& s) { return s.endCommands >= 1; }));
    EXPECT_EQ(ReadBacks(), 4u);  // three blocks and one
    EXPECT_EQ(Device().Status().endCommands, 1u);
}

TEST_F(Verify, ADeviceThatStoresAlteredBytesFailsWithTheBlocksAddress) {
    CEmulatorConfig config = Config();
    config.faults.alterStored = true;
    StartDevice(config);
    RunVerified(UPDATE_SYSTEM_DATA);
    EXPECT_EQ(report.Messages().back(), WM_UPDATE_VERIFY_FAILED);
    ASSERT_EQ(m_notifier.Texts().size(), 1u);
    EXPECT_NE(m_notifier.Texts()[0].find("block at 0x00100000 differs"), std::string::npos)
        << m_notifier.Texts()[0];
    EXPECT_EQ(ReadBacks(), 1u);  // the first difference ends the check
    // Firmware that was not stored as given is never started.
    EXPECT_EQ(Device().Status().endCommands, 0u);
}

TEST_F(Verify, ADeviceThatRefusesTheReadBackIsNotVerifiedNeverVerified) {
    CEmulatorConfig config = Config();
    config.faults.refuseAckFor = CMD_READ_BLOCK;
    StartDevice(config);
    RunVerified();
    EXPECT_EQ(report.Messages().back(), WM_UPDATE_NOT_VERIFIED);
    ASSERT_FALSE(m_notifier.Texts().empty());
    EXPECT_NE(m_notifier.Texts()[0].find("refused to read back"), std::string::npos);
}

// Every run leaves one record in the history: the device as it was, the
// package by size and digest, the blocks written of all, the result and what
// the user was told.
class History : public Write {
protected:
    void SetUp() override {
        order = Order(UPDATE_COURSE_DATA);
        order.url = server.ScriptUrl() + "?md=4";
        order.historyFile = dir.Path() / "history.log";
        order.history.program = "teelink-cli";
        order.history.operation = "course update";
        order.history.model = "R7";
        order.history.systemVersion = "1.05";
    }
    void Serve(const std::vector<uint8_t>& archive) {
        server.Answer(PackageAnswer(archive));
        Device();
        EXPECT_EQ(m_list.Enumerate(), 1);
    }
    std::vector<CHistoryRecord> Records() { return CHistoryFile(order.historyFile).Read(); }

    CTempDir dir;
    CTestHttpServer server;
    CUpdateOrder order;
};

TEST_F(History, AWholeRunRecordsWhatItWroteAndHowItEnded) {
    const std::vector<uint8_t> archive =
        BuildPackage({{"a", MakeEntry(0x1000, Pattern(3 * 4096, 1)), true},
                      {"b", MakeEntry(0x9000, Pattern(100, 2)), false}});
    Serve(archive);
    ShowEnd(UpdateJob(job, order, Context(TheDevice()), report), job, m_notifier, report);
    ASSERT_EQ(report.Messages().back(), WM_UPDATE_WRITTEN);
    const std::vector<CHistoryRecord> records = Records();
    ASSERT_EQ(records.size(), 1u);
    const CHistoryRecord& r = records[0];
    EXPECT_EQ(r.result, "ok");
    EXPECT_EQ(r.program, "teelink-cli");
    EXPECT_EQ(r.model, "R7");
    EXPECT_EQ(r.systemVersion, "1.05");
    EXPECT_EQ(r.packageBytes, archive.size());
    EXPECT_EQ(r.packageSha256, Sha256Hex(archive.data(), archive.size()));
    EXPECT_EQ(r.entries, 2u);
    EXPECT_EQ(r.blocksTotal, WrittenAddresses().size());
    EXPECT_EQ(r.blocksWritten, r.blocksTotal);
    EXPECT_TRUE(r.texts.empty());
    EXPECT_TRUE(job.m_strHistoryWarning.empty());
}

TEST_F(History, FailedAndCancelledRunsRecordTheirTextsAndTheBlocksTheyLeft) {
    CEmulatorConfig slow = Config();
    slow.reportIntervalUs = 2000;  // a block takes over a tenth of a second
    StartDevice(slow);
    server.Answer("not a package");
    ShowEnd(UpdateJob(job, order, Context(TheDevice()), report), job, m_notifier, report);
    Serve(BuildPackage({{"a", MakeEntry(0x1000, Pattern(8 * 4096, 7)), true}}));
    std::thread worker([&] {
        ShowEnd(UpdateJob(job, order, Context(TheDevice()), report), job, m_notifier, report);
    });
    while (job.m_nBlocksWritten.load() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    m_stop.Request(StopReason::Cancel);
    worker.join();
    const std::vector<CHistoryRecord> records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].result, "failed");
    EXPECT_FALSE(records[0].texts.empty());
    EXPECT_EQ(records[0].packageBytes, 0u);
    EXPECT_EQ(records[1].result, "cancelled");
    EXPECT_EQ(records[1].texts, std::vector<std::string>{"Error: HID write"});
    EXPECT_EQ(records[1].blocksWritten, job.m_nBlocksWritten.load());
    EXPECT_EQ(records[1].blocksTotal, 8u);
}

TEST_F(History, AHistoryThatCannotBeWrittenNeverFailsTheUpdate) {
    std::ofstream(dir.Path() / "blocker") << "a file";
    order.historyFile = dir.Path() / "blocker" / "history.log";
    Serve(BuildPackage({{"a", MakeEntry(0x1000, Pattern(100, 3)), true}}));
    ShowEnd(UpdateJob(job, order, Context(TheDevice()), report), job, m_notifier, report);
    EXPECT_EQ(report.Messages().back(), WM_UPDATE_WRITTEN);
    EXPECT_NE(job.m_strHistoryWarning.find("blocker"), std::string::npos);
}

}  // namespace

}  // namespace teelink
