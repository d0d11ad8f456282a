#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <csignal>
#include <fstream>
#include <mutex>
#include <thread>

#include "device/Protocol.h"
#include "testsupport/DeviceTestSupport.h"
#include "testsupport/Files.h"
#include "testsupport/OwnerThread.h"
#include "testsupport/ReportRecorder.h"
#include "trevlog/LogReader.h"

namespace teelink {

namespace {

enum class Ended { Done, Cancelled, Failed };

class LogRead : public DeviceTest {
protected:
    // The read as the log page runs it, through a job runner; how it ended.
    Ended Read() { return ReadFrom(TheDevice()); }
    Ended ReadFrom(const CDevice& device) {
        std::optional<Ended> ended;
        runner.Start(
            CJobPlace{device, {}},
            [this](const CJobContext& context) { return LogReadJob(context, report); },
            [&](Result<LogImage>& read) {
                if (read) {
                    image = read.Value();
                }
                ended = read                                              ? Ended::Done
                        : read.Failure().Kind() == FailureKind::Cancelled ? Ended::Cancelled
                                                                          : Ended::Failed;
            });
        EXPECT_TRUE(owner.RunUntil([&] { return ended.has_value(); }));
        return ended.value_or(Ended::Failed);
    }
    std::vector<uint32_t> BlockReads(CDeviceEmulator& device) {
        std::vector<uint32_t> addresses;
        for (const CCommandRecord& r : device.CommandLog()) {
            if (r.word == CommandWord(CMD_READ_BLOCK)) {
                addresses.push_back(r.address);
            }
        }
        return addresses;
    }

    LogImage image;
    CReportRecorder<LogNotice> report;
    CTestOwnerThread owner;
    CJobRunner<LogImage> runner{owner, m_notifier};
};

TEST_F(LogRead, TheSixteenBlocksLandInOrderWithTheirProgress) {
    CEmulatorConfig config = Config();
    config.logImage = Pattern(LOG_SIZE, 3);
    CDeviceEmulator& device = StartDevice(config);
    EXPECT_EQ(Read(), Ended::Done);
    EXPECT_EQ(image, config.logImage);
    EXPECT_EQ(report.Positions(), (std::vector<int>{0, 62, 125, 187, 250, 312, 375, 437, 500, 562,
                                                    625, 687, 750, 812, 875, 937, 1000}));
    ASSERT_TRUE(device.WaitForSessionsEnded(1));
    const std::vector<uint32_t> reads = BlockReads(device);
    ASSERT_EQ(reads.size(), 16u);
    for (uint32_t k = 0; k < 16; ++k) {
        EXPECT_EQ(reads[k], LOG_ADDRESS + k * 4096);
    }
}

TEST_F(LogRead, CancelDuringABlockLetsItFinishAndRequestsNoMore) {
    CEmulatorConfig config = Config();
    config.reportIntervalUs = 1000;  // a block takes about 66 ms
    CDeviceEmulator& device = StartDevice(config);
    // Cancel while block 3 (the fourth read) is on its way.
    std::thread canceller([&] {
        device.WaitFor([](const CEmulatorStatus& s) { return s.commands >= 4; });
        runner.Cancel();
    });
    EXPECT_EQ(Read(), Ended::Cancelled);
    canceller.join();
    EXPECT_EQ(report.Positions().back(), 187);  // block 3 completed
    ASSERT_TRUE(device.WaitForSessionsEnded(1));
    EXPECT_EQ(BlockReads(device).size(), 4u);
    EXPECT_TRUE(m_notifier.Texts().empty());
}

TEST_F(LogRead, ADeviceThatStopsDuringBlockFiveIsAReadDataError) {
    UseShortTimeout();
    CEmulatorConfig config = Config();
    config.faults.fromCommand = 6;
    config.faults.stallAfterPayloads = 10;
    StartDevice(config);
    EXPECT_EQ(Read(), Ended::Failed);
    EXPECT_EQ(m_notifier.Texts(), std::vector<std::string>{"read data error"});
    EXPECT_EQ(report.Positions().back(), 250);
}

TEST_F(LogRead, WithoutADeviceTheReadEndsWithTheOpenError) {
    EXPECT_EQ(ReadFrom(CDevice()), Ended::Failed);
    EXPECT_EQ(m_notifier.Texts(), std::vector<std::string>{"USB Open Error"});
    EXPECT_TRUE(image.empty());
}

class TrvFile : public ::testing::Test {
protected:
    CTempDir temp{"tltrv"};
    const std::filesystem::path& dir = temp.Path();
    const std::array<char, 4> r8{'R', '8', ' ', '\0'};
};

TEST_F(TrvFile, HeaderAndImageAreWrittenUnaltered) {
    const std::vector<uint8_t> erased(LOG_SIZE, 0xFF);
    ASSERT_EQ(SaveTrvFile(dir / "TL20170315.trv", r8, erased), SaveResult::Saved);
    const std::vector<uint8_t> saved = ReadFileBytes(dir / "TL20170315.trv");
    ASSERT_EQ(saved.size(), 65542u);
    EXPECT_EQ(std::vector<uint8_t>(saved.begin(), saved.begin() + 6),
              (std::vector<uint8_t>{'T', 'L', 'R', '8', ' ', 0}));
    EXPECT_EQ(std::vector<uint8_t>(saved.begin() + 6, saved.end()), erased);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

TEST_F(TrvFile, TheHeaderNamesTheModel) {
    const auto header = TrvHeader({'K', 'S', '2', '\0'});
    EXPECT_EQ(std::string(header.begin(), header.end()), std::string("TLKS2\0", 6));
}

TEST_F(TrvFile, AFolderThatTakesNoFilesIsACreateError) {
    EXPECT_EQ(SaveTrvFile(dir / "missing" / "x.trv", r8, std::vector<uint8_t>(LOG_SIZE)),
              SaveResult::CreateError);
#ifndef _WIN32
    // Permission bits do not stop root; /proc takes no new files from anyone.
    const std::filesystem::path locked = geteuid() == 0 ? "/proc" : dir / "locked";
    if (geteuid() != 0) {
        std::filesystem::create_directory(locked);
        std::filesystem::permissions(
            locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    }
    EXPECT_EQ(SaveTrvFile(locked / "x.trv", r8, std::vector<uint8_t>(LOG_SIZE)),
              SaveResult::CreateError);
#endif
}

// A file size limit is how a write is made to fail midway here; Windows has none.
#ifndef _WIN32
TEST_F(TrvFile, AFailureInTheMiddleOfWritingLeavesTheExistingFileIntact) {
    const std::filesystem::path target = dir / "TL20170315.trv";
    {
        std::ofstream out(target, std::ios::binary);
        out << "the user's earlier log";
    }
    // Files may grow to 1000 bytes only: the write fails part of the way in.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limited = previous;
    limited.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const SaveResult result = SaveTrvFile(target, r8, std::vector<uint8_t>(LOG_SIZE, 7));
    setrlimit(RLIMIT_FSIZE, &previous);

    EXPECT_EQ(result, SaveResult::WriteError);
    const std::vector<uint8_t> kept = ReadFileBytes(target);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "the user's earlier log");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);  // no leftovers
}
#endif

#ifndef _WIN32
// Replacing keeps what the user set on the file, and follows a link to it.
TEST_F(TrvFile, AReplacedFileKeepsItsPermissionsAndALinkStaysALink) {
    const std::filesystem::path real = dir / "real.trv";
    std::ofstream(real) << "earlier";
    std::filesystem::permissions(
        real, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const std::filesystem::path link = dir / "link.trv";
    std::filesystem::create_symlink(real, link);
    ASSERT_EQ(SaveTrvFile(link, r8, std::vector<uint8_t>(LOG_SIZE, 1)), SaveResult::Saved);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(real).size(), 6u + LOG_SIZE);
    EXPECT_EQ(std::filesystem::status(real).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);
}

// What is no file is never replaced: a FIFO, a folder, a link to nowhere.
TEST_F(TrvFile, ANameTakenByWhatIsNoFileIsRefusedAndLeftAsItIs) {
    const std::filesystem::path fifo = dir / "pipe.trv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::filesystem::path folder = dir / "folder.trv";
    std::filesystem::create_directory(folder);
    const std::filesystem::path dangling = dir / "dangling.trv";
    std::filesystem::create_symlink(dir / "nowhere", dangling);
    for (const auto& path : {fifo, folder, dangling}) {
        EXPECT_EQ(CheckTrvTarget(path, SaveMode::Replace), SaveResult::NotRegular) << path;
        EXPECT_EQ(SaveTrvFile(path, r8, std::vector<uint8_t>(LOG_SIZE)), SaveResult::NotRegular)
            << path;
    }
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_TRUE(std::filesystem::is_symlink(dangling));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 3);
}
#endif

// Keeping what is there holds even for a file that appears between the check
// and the save; the long names a folder takes are fine, the temporary name is
// short.
TEST_F(TrvFile, KeepingExistingFilesNeverReplacesOneAndLongNamesWork) {
    const std::filesystem::path target = dir / "round.trv";
    EXPECT_EQ(CheckTrvTarget(target, SaveMode::KeepExisting), SaveResult::Saved);
    std::ofstream(target) << "appeared meanwhile";
    EXPECT_EQ(SaveTrvFile(target, r8, std::vector<uint8_t>(LOG_SIZE), SaveMode::KeepExisting),
              SaveResult::Exists);
    const std::vector<uint8_t> kept = ReadFileBytes(target);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "appeared meanwhile");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);

    const std::filesystem::path longName = dir / (std::string(246, 'l') + ".trv");
    EXPECT_EQ(SaveTrvFile(longName, r8, std::vector<uint8_t>(LOG_SIZE), SaveMode::KeepExisting),
              SaveResult::Saved);
    EXPECT_EQ(ReadFileBytes(longName).size(), 6u + LOG_SIZE);
    const std::filesystem::path tooLong = dir / (std::string(300, 'l') + ".trv");
    EXPECT_EQ(CheckTrvTarget(tooLong, SaveMode::KeepExisting), SaveResult::CreateError);
}

TEST(LogName, TheProposedNameIsTheLocalDate) {
    EXPECT_EQ(ProposedLogName(2017, 3, 15), L"TL20170315");
    EXPECT_EQ(ProposedLogName(2026, 12, 7), L"TL20261207");
    EXPECT_EQ(ProposedLogNameToday().size(), 10u);
}

}  // namespace

}  // namespace teelink
