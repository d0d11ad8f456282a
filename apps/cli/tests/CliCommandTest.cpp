// teelink-cli as users and scripts run it: against the emulator executable on
// a private bus and the reference update server on a loopback port.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sys/stat.h>
#include <cctype>
#include <chrono>
#include <fstream>
#include <map>
#include <thread>

#include "BuildConfig.h"
#include "cli/tests/CliTestSupport.h"
#include "common/Text.h"
#include "refserver/AnswerWriter.h"
#include "testsupport/LargePackages.h"
#include "testsupport/TestHttpServer.h"
#include "testsupport/TinyProxy.h"
#include "update/PackageReader.h"

namespace teelink {

namespace {

class TeelinkCli : public ::testing::Test {
protected:
    // The programs this test starts keep their history in a folder of its own.
    void SetUp() override { ::setenv("XDG_STATE_HOME", m_state.Path().c_str(), 1); }

    // The options every call needs: this test's bus and server.
    std::vector<std::string> On(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--bus", m_bus.Path().string(), "--server", ServerUrl()});
        return args;
    }
    CCliResult Run(const std::vector<std::string>& args) const { return RunCli(On(args)); }
    // `update system` on a terminal, waiting at its question.
    std::unique_ptr<CChildProcess> AtTheSystemUpdateQuestion() const {
        auto cli = std::make_unique<CChildProcess>(CliArgv(On({"update", "system"})),
                                                   CChildProcess::Output::Terminal);
        EXPECT_TRUE(cli->WaitFor([&c = *cli] {
            return c.Err().find("[y/N]") != std::string::npos;
        })) << cli->Err();
        return cli;
    }
    std::string ServerUrl() const { return m_server ? m_server->ScriptUrl() : kDeadServer; }
    void StartServer() { m_server = std::make_unique<CUpdateServerExe>(); }
    CEmulatorExe& Device(const std::string& label, std::vector<std::string> options = {}) {
        return *m_devices.emplace_back(
            std::make_unique<CEmulatorExe>(m_bus.Path().string(), label, std::move(options)));
    }

    // Nothing listens on port 1 of the loopback interface: the connection is refused.
    static constexpr const char* kDeadServer = "http://127.0.0.1:1/r7r8/index.php";
    CTempDir m_bus{"teelink-cli-bus"};
    CTempDir m_files{"teelink-cli-files"};
    CTempDir m_state{"teelink-cli-state"};
    std::unique_ptr<CUpdateServerExe> m_server;
    std::vector<std::unique_ptr<CEmulatorExe>> m_devices;
};

const std::string& Text(const CJsonObject& object, const std::string& key) {
    static const std::string kMissing = "<missing>";
    const auto found = object.find(key);
    if (found == object.end() || !std::holds_alternative<std::string>(found->second)) {
        return kMissing;
    }
    return std::get<std::string>(found->second);
}

int64_t Number(const CJsonObject& object, const std::string& key) {
    const auto found = object.find(key);
    return found != object.end() && std::holds_alternative<int64_t>(found->second)
               ? std::get<int64_t>(found->second)
               : -1;
}

TEST_F(TeelinkCli, DevicesListsEachDeviceInBusOrderWithItsIdentityAndCourseDate) {
    const std::string first = Device("a-first", {"--model", "R8"}).DevicePath();
    const std::string second =
        Device("b-second", {"--model", "KS2", "--hardware-code", "B02", "--system-version", "1.03",
                            "--course-date", "none"})
            .DevicePath();
    const CCliResult result = Run({"devices"});
    EXPECT_EQ(result.exit, 0) << result.err;
    EXPECT_EQ(Lines(result.out), (std::vector<std::string>{
                                     first + "\tR8\tA01\t1.05\t2017-03-15",
                                     second + "\tKS2\tB02\t1.03\tnone",
                                 }));
    EXPECT_EQ(result.err, "");
}

TEST_F(TeelinkCli, DevicesJsonParsesBackToTheSameFields) {
    // A backslash is the one character of an identity field that JSON escapes.
    const std::string path =
        Device("Odd-label_9", {"--model", "R7", "--hardware-code", "Q\\/"}).DevicePath();
    const CCliResult result = Run({"devices", "--json"});
    ASSERT_EQ(result.exit, 0) << result.err;
    const auto objects = ParseJsonLines(result.out);
    ASSERT_TRUE(objects && objects->size() == 1) << result.out;
    const CJsonObject& device = objects->front();
    EXPECT_EQ(Text(device, "path"), path);
    EXPECT_EQ(Text(device, "model"), "R7");
    EXPECT_EQ(Text(device, "hardware_code"), "Q\\/");
    EXPECT_NE(result.out.find("\"Q\\\\/\""), std::string::npos) << result.out;
    EXPECT_EQ(Text(device, "system_version"), "1.05");
    EXPECT_EQ(Text(device, "course_data_date"), "2017-03-15");
    EXPECT_EQ(Text(device, "course_data_date_raw"), "170315");
    EXPECT_EQ(device.at("readable"), CJsonValue(true));
}

TEST_F(TeelinkCli, NoDeviceIsExitThreeForEveryCommandThatNeedsOne) {
    StartServer();
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"devices"}, {"info"}, {"update", "course"}, {"save-log", "x.trv"}}) {
        const CCliResult result = Run(args);
        EXPECT_EQ(result.exit, 3) << args[0];
        EXPECT_NE(result.err.find("no device"), std::string::npos) << result.err;
    }
}

TEST_F(TeelinkCli, TwoDevicesNeedDeviceAndDeviceChoosesOne) {
    StartServer();
    Device("a", {"--model", "R8"});
    const std::string ks2 =
        Device("b", {"--model", "KS2", "--system-version", "1.03"}).DevicePath();
    const CCliResult refused = Run({"info"});
    EXPECT_EQ(refused.exit, 3);
    EXPECT_NE(refused.err.find("--device"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out, "");

    const CCliResult chosen = Run({"info", "--json", "--device", ks2});
    ASSERT_EQ(chosen.exit, 0) << chosen.err;
    const auto info = ParseJsonObject(Lines(chosen.out).at(0));
    ASSERT_TRUE(info) << chosen.out;
    EXPECT_EQ(Text(*info, "path"), ks2);
    EXPECT_EQ(Text(*info, "model"), "KS2");

    const CCliResult unknown = Run({"info", "--device", "emu:/nowhere/hid-0483-5750-x.sock"});
    EXPECT_EQ(unknown.exit, 3);
}

TEST_F(TeelinkCli, InfoComparesTheDeviceWithTheServersLatestVersions) {
    StartServer();
    Device("r8", {"--model", "R8", "--system-version", "1.05"});
    const CCliResult behind = Run({"info", "--json"});
    ASSERT_EQ(behind.exit, 0) << behind.err;
    const auto info = ParseJsonObject(Lines(behind.out).at(0));
    ASSERT_TRUE(info) << behind.out;
    // The sample server announces R8 1.06 and this very tool version.
    EXPECT_EQ(Text(*info, "latest_system_version"), "1.06");
    EXPECT_EQ(info->at("system_update_available"), CJsonValue(true));
    EXPECT_EQ(Text(*info, "tool_version"), teelink::build::kProductVersion);
    EXPECT_EQ(info->at("tool_update_available"), CJsonValue(false));

    const CCliResult text = Run({"info"});
    EXPECT_NE(text.out.find("latest system version: 1.06\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("system data update:    available\n"), std::string::npos);
}

TEST_F(TeelinkCli, InfoSaysNoUpdateWhenTheVersionsMatch) {
    StartServer();
    Device("ks2", {"--model", "KS2", "--system-version", "1.03"});
    const CCliResult result = Run({"info"});
    ASSERT_EQ(result.exit, 0) << result.err;
    EXPECT_NE(result.out.find("system data update:    none\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("tool update:           none\n"), std::string::npos);
}

TEST_F(TeelinkCli, AnUnreachableServerIsExitFour) {
    Device("r8", {"--model", "R8"});
    for (const auto& args : std::vector<std::vector<std::string>>{{"info"}, {"update", "system"}}) {
        const CCliResult result = Run(args);
        EXPECT_EQ(result.exit, 4) << args[0];
        EXPECT_NE(result.err.find("cannot reach the update server"), std::string::npos);
    }
}

// A server that takes the connection and never answers: Ctrl-C during the
// start-up queries ends the command at once instead of after the stall limit,
// and says so as a cancel does.
TEST_F(TeelinkCli, CtrlCDuringTheStartUpQueriesEndsTheCommandAtOnce) {
    Device("r8", {"--model", "R8"});
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listener, 8), 0);  // connections wait in the backlog, unanswered
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string silent =
        "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/r7r8/index.php";
    for (const bool json : {false, true}) {
        std::vector<std::string> args = {"--bus", m_bus.Path().string(), "--server", silent};
        if (json) {
            args.emplace_back("--json");
        }
        args.insert(args.end(), {"update", "course"});
        CChildProcess cli(CliArgv(args));
        // The device is read first; then the command waits for the server.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        cli.Signal(SIGINT);
        EXPECT_EQ(cli.Finish(std::chrono::seconds(5)), 130) << cli.Err();
        if (!json) {
            EXPECT_NE(cli.Err().find("Operation aborted"), std::string::npos) << cli.Err();
            continue;
        }
        const auto objects = ParseJsonLines(cli.Out());
        ASSERT_TRUE(objects && objects->size() == 1u) << cli.Out();
        EXPECT_EQ(Text(objects->back(), "event"), "result");
        EXPECT_EQ(Text(objects->back(), "outcome"), "cancelled");
        EXPECT_EQ(Number(objects->back(), "blocks_written"), 0);
    }
    ::close(listener);
}

TEST_F(TeelinkCli, UpdateCourseWritesTheAreaAndPrintsPlainProgressLines) {
    StartServer();
    Device("r8", {"--model", "R8"});
    const CCliResult result = Run({"update", "course", "--area", "KOR"});
    ASSERT_EQ(result.exit, 0) << result.err;
    const std::vector<std::string> lines = Lines(result.out);
    // A pipe gets a line every tenth: eleven per phase, then the result.
    ASSERT_EQ(lines.size(), 23u) << result.out;
    EXPECT_EQ(lines[0], "Download: 0 %");
    EXPECT_EQ(lines[10], "Download: 100 %");
    EXPECT_EQ(lines[11], "Write: 0 %");
    EXPECT_EQ(lines[21].rfind("Write: 100 %", 0), 0u);
    // KOR: 320 KiB of course data and the header block.
    EXPECT_EQ(lines[22], "Complete (81 blocks written)");
    // The header, written last, carries the new date.
    const CCliResult after = Run({"devices"});
    EXPECT_NE(after.out.find("\t2017-12-01\n"), std::string::npos) << after.out;
}

TEST_F(TeelinkCli, OnATerminalTheBarsAreRedrawnInPlaceAtMostTenTimesASecond) {
    StartServer();
    Device("r8", {"--model", "R8", "--report-interval-us", "300"});
    const auto start = std::chrono::steady_clock::now();
    CChildProcess cli(CliArgv(On({"update", "course", "--area", "TWN"})),
                      CChildProcess::Output::Terminal);
    ASSERT_EQ(cli.Finish(), 0) << cli.Err();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string& out = cli.Out();
    // Each draw rewrites its line from the start and erases what is left of it.
    const size_t draws = Count(out, "\x1b[K");
    EXPECT_EQ(Count(out, "\rDownload ["), Count(out, "Download ["));
    EXPECT_EQ(Count(out, "\rWrite ["), Count(out, "Write ["));
    EXPECT_NE(out.find("\rDownload [##############################] 100 %\x1b[K"),
              std::string::npos);
    EXPECT_NE(out.find("\rWrite [##############################] 100 %"), std::string::npos);
    // Ten a second, plus a forced draw at the end of each phase.
    EXPECT_LE(static_cast<double>(draws), seconds * 10 + 4)
        << draws << " draws in " << seconds << " s";
    EXPECT_EQ(out.find("Write: "), std::string::npos);  // no pipe lines
    // TWN: 256 KiB of course data and the header block.
    EXPECT_NE(out.find("Complete (65 blocks written)"), std::string::npos) << out;
}

TEST_F(TeelinkCli, UpdateSystemJsonReportsOrderedProgressAndTheResult) {
    StartServer();
    Device("r8", {"--model", "R8"});
    const CCliResult result = Run({"--json", "update", "system"});
    ASSERT_EQ(result.exit, 0) << result.err;
    const auto objects = ParseJsonLines(result.out);
    ASSERT_TRUE(objects && !objects->empty());
    std::string phase = "download";
    int64_t percent = -1;
    for (size_t i = 0; i + 1 < objects->size(); ++i) {
        const CJsonObject& o = (*objects)[i];
        if (Text(o, "event") == "remaining") {
            EXPECT_GE(Number(o, "minutes"), 1);
            continue;
        }
        ASSERT_EQ(Text(o, "event"), "progress");
        if (Text(o, "phase") != phase) {
            EXPECT_EQ(phase, "download");
            EXPECT_EQ(percent, 100);
            phase = Text(o, "phase");
            percent = -1;
        }
        EXPECT_GT(Number(o, "percent"), percent);  // each percent once, rising
        percent = Number(o, "percent");
    }
    EXPECT_EQ(phase, "write");
    EXPECT_EQ(percent, 100);
    const CJsonObject& last = objects->back();
    EXPECT_EQ(Text(last, "event"), "result");
    EXPECT_EQ(Text(last, "outcome"), "written");
    EXPECT_EQ(Number(last, "blocks_written"), 192);  // 256 KiB firmware, 512 KiB voice
}

TEST_F(TeelinkCli, AnUnknownAreaIsAUsageErrorNamingTheServersAreas) {
    StartServer();
    Device("r8", {"--model", "R8"});
    const CCliResult result = Run({"update", "course", "--area", "MARS"});
    EXPECT_EQ(result.exit, 2);
    EXPECT_NE(result.err.find("JPN, KOR, CHN, TWN, SEA"), std::string::npos) << result.err;
}

// The payload of the first entry (course-data.bin) of the sample course package.
std::vector<uint8_t> CourseDataPayload(const std::string& model, const std::string& area) {
    const std::vector<uint8_t> zip = ReadFileBytes(std::string(TEELINK_SAMPLE_CONTENT_DIR) +
                                                   "/course/" + model + "/" + area + ".zip");
    CPackageReader reader;
    uint64_t size = 0;
    if (!reader.Open(zip.data(), zip.size()) || !reader.EntrySize(0, size)) {
        ADD_FAILURE() << "cannot read the sample package";
        return {};
    }
    std::vector<uint8_t> entry(size);
    EXPECT_TRUE(reader.Extract(0, size, entry.data()));
    return {entry.begin() + 6, entry.end()};
}

TEST_F(TeelinkCli, CtrlCDuringTheWriteStopsBetweenBlocksAndKeepsWhatWasWritten) {
    StartServer();
    const std::string dump = (m_files.Path() / "memory.bin").string();
    // Slow reports, so that the write is still running when the signal comes.
    CEmulatorExe& device =
        Device("r8", {"--model", "R8", "--report-interval-us", "2000", "--memory-dump", dump});
    CChildProcess cli(CliArgv(On({"--json", "update", "course"})));
    // One percent of the write: at least one block is on the device.
    ASSERT_TRUE(cli.WaitForOutput("\"phase\":\"write\",\"percent\":1}")) << cli.Out() << cli.Err();
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Finish(), 130) << cli.Err();
    const auto objects = ParseJsonLines(cli.Out());
    ASSERT_TRUE(objects && !objects->empty());
    const CJsonObject& result = objects->back();
    EXPECT_EQ(Text(result, "outcome"), "cancelled");
    EXPECT_EQ(Text(result, "message"), "Operation aborted");
    const int64_t blocks = Number(result, "blocks_written");
    EXPECT_GE(blocks, 1);
    EXPECT_LT(blocks, 96);  // JPN: 96 blocks of course data, then the header

    // The header was not reached: the device keeps its old date.
    const CCliResult after = Run({"devices"});
    EXPECT_NE(after.out.find("\t2017-03-15\n"), std::string::npos) << after.out;
    ASSERT_EQ(device.Stop(), 0);
    // The course data run holds exactly the blocks reported, byte for byte.
    const auto runs = ReadMemoryDump(dump);
    std::vector<uint8_t> written;
    for (const auto& [address, bytes] : runs) {
        if (address <= 0x281000 && address + bytes.size() > 0x281000) {
            written.assign(bytes.begin() + (0x281000 - address), bytes.end());
        }
    }
    ASSERT_EQ(written.size(), static_cast<size_t>(blocks) * 4096);
    const std::vector<uint8_t> payload = CourseDataPayload("R8", "JPN");
    ASSERT_GE(payload.size(), written.size());
    EXPECT_TRUE(std::equal(written.begin(), written.end(), payload.begin()));
}

TEST_F(TeelinkCli, ASecondCtrlCEndsTheCommandAtOnce) {
    StartServer();
    // A device so slow that a cancelled block would keep the command for seconds.
    Device("r8", {"--model", "R8", "--report-interval-us", "20000"});
    CChildProcess cli(CliArgv(On({"--json", "update", "course"})));
    // Just after a block: the next one takes more than a second.
    ASSERT_TRUE(cli.WaitForOutput("\"phase\":\"write\",\"percent\":1}")) << cli.Err();
    cli.Signal(SIGINT);
    // Signals of one kind do not queue: the first must have been taken (a busy
    // machine can take a while to run the handler).
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Finish(std::chrono::seconds(2)), -1);  // ended by the signal itself
    EXPECT_EQ(cli.Out().find("\"event\":\"result\""), std::string::npos);
}

TEST_F(TeelinkCli, SaveLogWritesTheHeaderAndTheWholeLog) {
    Device("r8", {"--model", "R8", "--log-fill", "0x5A"});
    const std::string file = (m_files.Path() / "round.trv").string();
    const CCliResult result = Run({"save-log", file});
    ASSERT_EQ(result.exit, 0) << result.err;
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), 6u + 65536u);
    EXPECT_EQ(bytes[0], 'T');
    EXPECT_EQ(bytes[1], 'L');
    EXPECT_EQ(bytes[5], 0);
    EXPECT_EQ(std::count(bytes.begin() + 6, bytes.end(), 0x5A), 65536);
    EXPECT_EQ(Lines(result.out).back(), "saved " + file);
}

TEST_F(TeelinkCli, SaveLogKeepsAnExistingFileUnlessForced) {
    Device("r8", {"--model", "R8", "--log-fill", "0x11"});
    const std::string file = (m_files.Path() / "earlier.trv").string();
    const std::string earlier("an earlier round\0\xff kept as it is", 33);
    std::ofstream(file, std::ios::binary) << earlier;

    const CCliResult refused = Run({"save-log", file});
    EXPECT_EQ(refused.exit, 1);
    EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
    const std::vector<uint8_t> kept = ReadFileBytes(file);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), earlier);

    const CCliResult forced = Run({"save-log", file, "--force", "--quiet"});
    ASSERT_EQ(forced.exit, 0) << forced.err;
    EXPECT_EQ(forced.out, "");
    EXPECT_EQ(ReadFileBytes(file).size(), 6u + 65536u);
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_files.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

// A closed terminal and a polite kill stop the write between two blocks as
// Ctrl-C does, with an exit status that tells them apart; the command says how
// many blocks were written, and nothing about a write error that did not happen.
TEST_F(TeelinkCli, SigtermAndAClosedTerminalStopBetweenBlocksLikeCtrlC) {
    StartServer();
    struct Case {
        int signal;
        int exit;
    };
    for (Case c : {Case{SIGTERM, 143}, Case{SIGHUP, 129}}) {
        Device("r8-" + std::to_string(c.signal), {"--model", "R8", "--report-interval-us", "2000"});
        CChildProcess cli(CliArgv(On({"update", "course"})));
        ASSERT_TRUE(cli.WaitForOutput("Write: 10 %")) << cli.Out() << cli.Err();
        cli.Signal(c.signal);
        EXPECT_EQ(cli.Finish(), c.exit) << cli.Err();
        EXPECT_NE(cli.Err().find("Operation aborted ("), std::string::npos) << cli.Err();
        EXPECT_NE(cli.Err().find("blocks written)"), std::string::npos) << cli.Err();
        EXPECT_EQ(cli.Err().find("Error: HID write"), std::string::npos) << cli.Err();
        m_devices.clear();
    }
}

// Output piped into `head`: once the reader has gone, the writes to it fail,
// and the device is written to the end all the same.
TEST_F(TeelinkCli, AReaderThatGoesAwayNeverEndsTheWrite) {
    StartServer();
    Device("r8", {"--model", "R8"});
    CChildProcess cli(CliArgv(On({"update", "course", "--area", "KOR"})));
    ASSERT_TRUE(cli.WaitForOutput("Write: 0 %")) << cli.Out() << cli.Err();
    cli.CloseOutput();
    EXPECT_EQ(cli.Finish(), 0) << cli.Err();
    const CCliResult after = Run({"devices"});
    EXPECT_NE(after.out.find("\t2017-12-01\n"), std::string::npos) << after.out;
}

// The update runs the window's start-up sequence: a server that announces
// another tool version ends it after the first request, before the area
// list is asked for and before the device is written.
TEST_F(TeelinkCli, AnOutdatedToolIsRefusedBeforeTheAreaListIsAskedFor) {
    CTestHttpServer server;
    server.AnswerWith(StartupResponder("9.9.9.9:1.05:1.05:1.05:"));
    const std::string commands = (m_files.Path() / "commands.txt").string();
    CEmulatorExe& device = Device("r7", {"--model", "R7", "--command-log", commands});
    const CCliResult result = RunCli({"--bus", m_bus.Path().string(), "--server",
                                      server.ScriptUrl(), "update", "course", "--area", "JP"});
    EXPECT_EQ(result.exit, 1);
    EXPECT_NE(result.err.find("New version of the tool is available to install."),
              std::string::npos)
        << result.err;
    EXPECT_EQ(server.Queries(), std::vector<std::string>{"md=1"});
    ASSERT_EQ(device.Stop(), 0);
    const std::vector<uint8_t> log = ReadFileBytes(commands);
    EXPECT_EQ(Count(std::string(log.begin(), log.end()), "55aa5501"), 0u);  // no block written
}

TEST_F(TeelinkCli, UpdateSystemAsksOnATerminalAndYesSkipsTheQuestion) {
    StartServer();
    const std::string commands = (m_files.Path() / "commands.txt").string();
    CEmulatorExe& device = Device("r8", {"--model", "R8", "--command-log", commands});
    {
        const auto cli = AtTheSystemUpdateQuestion();
        cli->Type("n\n");
        EXPECT_EQ(cli->Finish(), 1);
        EXPECT_NE(cli->Err().find("nothing written"), std::string::npos) << cli->Err();
    }
    CChildProcess yes(CliArgv(On({"update", "system", "--yes"})), CChildProcess::Output::Terminal);
    EXPECT_EQ(yes.Finish(), 0) << yes.Err();
    EXPECT_EQ(yes.Err().find("[y/N]"), std::string::npos) << yes.Err();
    ASSERT_EQ(device.Stop(), 0);
    // Only the answered run reached the device with its blocks.
    const std::vector<uint8_t> log = ReadFileBytes(commands);
    EXPECT_EQ(Count(std::string(log.begin(), log.end()), "55aa5500"), 1u);
}

// Without --force a file that appears at the target while the log is read is
// kept, and the read log is not put anywhere else either.
TEST_F(TeelinkCli, SaveLogNeverReplacesAFileThatAppearedWhileTheLogWasRead) {
    Device("r8", {"--model", "R8", "--report-interval-us", "3000"});
    const std::filesystem::path file = m_files.Path() / "round.trv";
    CChildProcess cli(CliArgv(On({"save-log", file.string()})));
    ASSERT_TRUE(cli.WaitForOutput("10 %")) << cli.Out() << cli.Err();
    std::ofstream(file, std::ios::binary) << "written meanwhile";
    EXPECT_EQ(cli.Finish(), 1);
    EXPECT_NE(cli.Err().find("exists"), std::string::npos) << cli.Err();
    const std::vector<uint8_t> kept = ReadFileBytes(file);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "written meanwhile");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_files.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

// What cannot take the log is said before the device is read.
TEST_F(TeelinkCli, SaveLogRefusesWhatItCannotWriteBeforeTouchingTheDevice) {
    const std::string commands = (m_files.Path() / "commands.txt").string();
    CEmulatorExe& device = Device("r8", {"--model", "R8", "--command-log", commands});
    const std::filesystem::path fifo = m_files.Path() / "pipe.trv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const CCliResult pipe = Run({"save-log", fifo.string(), "--force"});
    EXPECT_EQ(pipe.exit, 1);
    EXPECT_NE(pipe.err.find("not a regular file"), std::string::npos) << pipe.err;
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    const CCliResult folder = Run({"save-log", (m_files.Path() / "none" / "x.trv").string()});
    EXPECT_EQ(folder.exit, 1);
    EXPECT_NE(folder.err.find("cannot create"), std::string::npos) << folder.err;
    const CCliResult tooLong =
        Run({"save-log", (m_files.Path() / (std::string(300, 'n') + ".trv")).string()});
    EXPECT_EQ(tooLong.exit, 1);
    ASSERT_EQ(device.Stop(), 0);
    EXPECT_TRUE(ReadFileBytes(commands).empty());
}

TEST_F(TeelinkCli, SaveLogAddsTheExtensionAndTakesALongName) {
    Device("r8", {"--model", "R8"});
    const std::filesystem::path base = m_files.Path() / std::string(246, 'r');  // 250 with .trv
    const CCliResult result = Run({"save-log", base.string()});
    ASSERT_EQ(result.exit, 0) << result.err;
    std::filesystem::path saved = base;
    saved += ".trv";
    EXPECT_EQ(ReadFileBytes(saved).size(), 6u + 65536u);
    EXPECT_EQ(Lines(result.out).back(), "saved " + saved.string());
}

// Ctrl-C at the question ends the program there, with nothing sent to the
// device: the first one, not only a second.
TEST_F(TeelinkCli, CtrlCAtTheQuestionEndsTheProgramAtOnce) {
    StartServer();
    const std::string commands = (m_files.Path() / "commands.txt").string();
    CEmulatorExe& device = Device("r8", {"--model", "R8", "--command-log", commands});
    const auto cli = AtTheSystemUpdateQuestion();
    cli->Signal(SIGINT);
    EXPECT_EQ(cli->Finish(std::chrono::seconds(5)), 130) << cli->Err();
    EXPECT_NE(cli->Err().find("Operation aborted"), std::string::npos) << cli->Err();
    EXPECT_EQ(cli->Err().find("nothing written"), std::string::npos) << cli->Err();
    ASSERT_EQ(device.Stop(), 0);
    const std::vector<uint8_t> log = ReadFileBytes(commands);
    EXPECT_EQ(Count(std::string(log.begin(), log.end()), "55aa5501"), 0u);  // no block written
}

TEST_F(TeelinkCli, AFailedLogReadSaysThatNothingWasSaved) {
    // The device drops off after its identity and the first block of the log.
    Device("r8", {"--model", "R8", "--unplug-after", "2"});
    const std::string file = (m_files.Path() / "round.trv").string();
    const CCliResult plain = Run({"save-log", file});
    EXPECT_EQ(plain.exit, 1);
    EXPECT_NE(plain.err.find("nothing was saved to " + file), std::string::npos) << plain.err;
    EXPECT_FALSE(std::filesystem::exists(file));
}

// Written to a full disk, a read-only command has nothing to show for itself.
TEST_F(TeelinkCli, AReadOnlyCommandWhoseOutputCannotBeWrittenFails) {
    StartServer();
    Device("r8", {"--model", "R8"});
    std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$@\" > /dev/full", "sh"};
    for (const std::string& arg : CliArgv(On({"info"}))) {
        argv.push_back(arg);
    }
    CChildProcess cli(argv);
    EXPECT_EQ(cli.Finish(), 1) << cli.Err();
    EXPECT_NE(cli.Err().find("the output could not be written"), std::string::npos) << cli.Err();
}

// A hostile server's versions and area codes, put on the terminal raw, could
// retitle the window, recolour it or hide lines.
TEST_F(TeelinkCli, TextsFromAServerReachTheTerminalWithTheirControlsEscaped) {
    const std::string evil = "\x1b]0;PWNED\x07\x1b[31m";
    const std::string escaped = "\\x1B]0;PWNED\\x07\\x1B[31m";
    CTestHttpServer hostile;
    hostile.AnswerWith([&evil](const std::string& query) -> std::string {
        if (query == "md=1") {
            return FramedAnswer("1.0.0.3:" + evil + ":" + evil + ":" + evil + ":");
        }
        return query.rfind("md=14&", 0) == 0 ? AreaListAnswer({{evil, "Nowhere"}}) : "";
    });
    Device("r8", {"--model", "R8"});
    const std::vector<std::string> on = {"--bus", m_bus.Path().string(), "--server",
                                         hostile.ScriptUrl()};
    auto run = [&on](std::vector<std::string> args) {
        args.insert(args.begin(), on.begin(), on.end());
        return RunCli(args);
    };
    const CCliResult info = run({"info"});
    EXPECT_EQ(info.exit, 0) << info.err;
    EXPECT_NE(info.out.find("latest system version: " + escaped + "\n"), std::string::npos)
        << info.out;
    const CCliResult area = run({"update", "course", "--area", "JPN"});
    EXPECT_EQ(area.exit, 2);
    EXPECT_NE(area.err.find("(the server offers " + escaped + ")"), std::string::npos) << area.err;
    for (const CCliResult* result : {&info, &area}) {
        EXPECT_EQ((result->out + result->err).find_first_of("\x1b\x07"), std::string::npos);
    }
    // Under --json the same texts are JSON strings, the controls escaped there.
    const CCliResult json = run({"--json", "info"});
    const auto objects = ParseJsonLines(json.out);
    ASSERT_TRUE(objects && objects->size() == 1u) << json.out;
    EXPECT_EQ(Text(objects->front(), "latest_system_version"), evil);
}

// A file name that is not UTF-8 still gives JSON that parses.
TEST_F(TeelinkCli, JsonStaysValidUtf8ForAFileNameThatIsNot) {
    Device("r8", {"--model", "R8"});
    const std::string file = (m_files.Path() / "j\x01\xff\n.trv").string();
    const CCliResult result = Run({"--json", "save-log", file});
    ASSERT_EQ(result.exit, 0) << result.err;
    EXPECT_TRUE(IsValidUtf8(result.out)) << result.out;
    const auto objects = ParseJsonLines(result.out);
    ASSERT_TRUE(objects && !objects->empty()) << result.out;
    const CJsonObject& last = objects->back();
    EXPECT_EQ(Text(last, "outcome"), "saved");
    EXPECT_NE(Text(last, "file").find("j\x01\xef\xbf\xbd\n.trv"), std::string::npos);
    EXPECT_EQ(last.at("invalid_utf8_replaced"), CJsonValue(true));
    EXPECT_EQ(ReadFileBytes(file).size(), 6u + 65536u);
}

// Two programs on one device: while one writes, the other is told that the
// device is in use and touches nothing; the write goes on to its end.
TEST_F(TeelinkCli, ADeviceAnotherTeelinkIsWritingIsInUseForASecondOne) {
    StartServer();
    CEmulatorExe& device = Device("r8", {"--model", "R8", "--report-interval-us", "500"});
    CChildProcess writer(CliArgv(On({"--json", "update", "course"})));
    ASSERT_TRUE(writer.WaitForOutput("\"phase\":\"write\",\"percent\":1}")) << writer.Err();
    const CCliResult info = Run({"info"});
    EXPECT_EQ(info.exit, 3);
    // The system's lock table names the program that holds it.
    EXPECT_NE(info.err.find("is in use by teelink-cli (process "), std::string::npos) << info.err;
    EXPECT_NE(info.err.find("try again once it has finished"), std::string::npos) << info.err;
    // The list shows it as there but not usable, and why.
    const CCliResult listed = Run({"--json", "devices"});
    EXPECT_EQ(listed.exit, 3);
    const auto lines = ParseJsonLines(listed.out);
    ASSERT_TRUE(lines && lines->size() == 1) << listed.out;
    EXPECT_EQ(Text(lines->front(), "path"), device.DevicePath());
    EXPECT_EQ(Text(lines->front(), "reason"), "in_use");
    EXPECT_EQ(Text(lines->front(), "holder").rfind("teelink-cli (process ", 0), 0U);
    const CCliResult chosen =
        Run({"--device", device.DevicePath(), "save-log", (m_files.Path() / "x.trv").string()});
    EXPECT_EQ(chosen.exit, 3);
    EXPECT_NE(chosen.err.find("the device at " + device.DevicePath() + " is in use"),
              std::string::npos)
        << chosen.err;
    EXPECT_EQ(writer.Finish(), 0) << writer.Err();
    const auto objects = ParseJsonLines(writer.Out());
    ASSERT_TRUE(objects && !objects->empty());
    EXPECT_EQ(Text(objects->back(), "outcome"), "written");
    // Free again once the writer has gone.
    EXPECT_EQ(Run({"devices"}).exit, 0);
}

// A package of 63 entries of 64 MiB of zeros (4 MiB to download) takes far
// longer to check than the bound below: Ctrl-C during the check ends the
// command at once as a cancelled download, and the device is never written.
TEST_F(TeelinkCli, CtrlCWhileThePackageIsCheckedEndsAtOnceWithNothingWritten) {
    const std::string package = PackageAnswer(ZeroFilledEntries(63));
    CTestHttpServer server;
    server.AnswerWith([&package, startup = StartupResponder()](const std::string& query) {
        return query.rfind("md=4&", 0) == 0 ? package : startup(query);
    });
    const std::string commands = (m_files.Path() / "commands.txt").string();
    CEmulatorExe& device = Device("r8", {"--model", "R8", "--command-log", commands});
    CChildProcess cli(CliArgv({"--bus", m_bus.Path().string(), "--server", server.ScriptUrl(),
                               "--json", "update", "course"}));
    ASSERT_TRUE(cli.WaitForOutput("\"phase\":\"write\"")) << cli.Out() << cli.Err();
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Finish(std::chrono::seconds(5)), 130) << cli.Err();
    const auto objects = ParseJsonLines(cli.Out());
    ASSERT_TRUE(objects && !objects->empty()) << cli.Out();
    EXPECT_EQ(Text(objects->back(), "outcome"), "cancelled");
    EXPECT_EQ(Number(objects->back(), "blocks_written"), 0);
    ASSERT_EQ(device.Stop(), 0);
    const std::vector<uint8_t> log = ReadFileBytes(commands);
    EXPECT_EQ(Count(std::string(log.begin(), log.end()), "55aa5501"), 0u);  // no block written
}

TEST_F(TeelinkCli, WithJsonErrorsAreObjectsOnStandardError) {
    const CCliResult result = Run({"--json", "info"});
    EXPECT_EQ(result.exit, 3);
    const auto objects = ParseJsonLines(result.err);
    ASSERT_TRUE(objects && objects->size() == 1u) << result.err;
    EXPECT_EQ(Text(objects->front(), "event"), "error");
    EXPECT_EQ(Text(objects->front(), "message"), "no device connected");
}

TEST(CliUsage, HelpVersionAndUsageErrorsHaveTheirExitStatus) {
    const CCliResult help = RunCli({"--help"});
    EXPECT_EQ(help.exit, 0);
    for (const char* word : {"devices", "info", "update", "save-log", "--server", "--bus",
                             "--device", "--language", "--json", "--quiet", "130"}) {
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
    const CCliResult version = RunCli({"--version"});
    EXPECT_EQ(version.exit, 0);
    EXPECT_EQ(version.out, std::string("teelink-cli ") + teelink::build::kProductVersion + "\n");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"save-log"}, {"update"}, {"--language", "5", "devices"}}) {
        const CCliResult result = RunCli(args);
        EXPECT_EQ(result.exit, 2) << (args.empty() ? "(none)" : args[0]);
        EXPECT_FALSE(result.err.empty());
    }
}

TEST(CliUsage, TheManualPageNamesEveryOptionCommandAndExitStatusOfTheHelp) {
    const std::vector<uint8_t> bytes = ReadFileBytes(TEELINK_MAN_PAGE);
    const std::string man(bytes.begin(), bytes.end());
    ASSERT_FALSE(man.empty());
    std::vector<std::string> words;
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"update", "course", "--help"}, {"save-log", "--help"}}) {
        for (const std::string& line : Lines(RunCli(args).out)) {
            // "  --server URL ...", "  devices   ...", "  130  cancelled ..."
            const size_t start = line.find_first_not_of(' ');
            if (start != 2 || line.rfind("  -h,", 0) == 0) {
                continue;
            }
            words.push_back(line.substr(2, line.find_first_of(" =", 2) - 2));
        }
    }
    ASSERT_GE(words.size(), 20u);
    for (std::string word : words) {
        // roff writes a hyphen that must stay one as "\-".
        for (size_t at = word.find('-'); at != std::string::npos; at = word.find('-', at + 2)) {
            word.replace(at, 1, "\\-");
        }
        const bool exitStatus = std::isdigit(static_cast<unsigned char>(word[0])) != 0;
        const std::string wanted = exitStatus ? ".B " + word + "\n" : word;
        EXPECT_NE(man.find(wanted), std::string::npos) << word;
    }
}

// What was written stays on record, for either program to show later.
TEST_F(TeelinkCli, UpdatesAndLogSavesAreInTheHistoryNewestLast) {
    EXPECT_NE(Run({"history"}).out.find("no update or log save recorded yet"), std::string::npos);
    StartServer();
    Device("r8", {"--model", "R8"});
    ASSERT_EQ(Run({"update", "course", "--area", "KOR"}).exit, 0);
    const std::string log = (m_files.Path() / "round.trv").string();
    ASSERT_EQ(Run({"save-log", log}).exit, 0);
    ASSERT_TRUE(std::filesystem::exists(m_state.Path() / "teelink" / "history.log"));

    const CCliResult json = Run({"--json", "history"});
    ASSERT_EQ(json.exit, 0) << json.err;
    const auto records = ParseJsonLines(json.out);
    ASSERT_TRUE(records.has_value()) << json.out;
    ASSERT_EQ(records->size(), 2u);
    const CJsonObject& update = (*records)[0];
    EXPECT_EQ(Text(update, "operation"), "course update");
    EXPECT_EQ(Text(update, "program"), "teelink-cli");
    EXPECT_EQ(Text(update, "model"), "R8");
    EXPECT_EQ(Text(update, "result"), "ok");
    EXPECT_EQ(update.at("blocks_written"), CJsonValue(int64_t{81}));
    EXPECT_EQ(update.at("blocks_total"), CJsonValue(int64_t{81}));
    EXPECT_EQ(Text(update, "package_sha256").size(), 64u);
    const CJsonObject& save = (*records)[1];
    EXPECT_EQ(Text(save, "operation"), "log save");
    EXPECT_EQ(Text(save, "file"), log);
    EXPECT_EQ(Text(save, "result"), "ok");

    const CCliResult plain = Run({"history"});
    const std::vector<std::string> lines = Lines(plain.out);
    ASSERT_EQ(lines.size(), 2u) << plain.out;
    EXPECT_NE(lines[0].find("course update  ok  R8"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("81 of 81 blocks"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("log save  ok"), std::string::npos) << lines[1];
}

// --verify reads every written block back: a sound device passes, one that
// stores other bytes than it was given fails with the block's address.
TEST_F(TeelinkCli, VerifyPassesOnASoundDeviceAndCatchesOneThatStoresWrongBytes) {
    StartServer();
    Device("sound", {"--model", "R8"});
    const CCliResult sound = Run({"update", "course", "--area", "KOR", "--verify"});
    ASSERT_EQ(sound.exit, 0) << sound.err;
    EXPECT_NE(sound.out.find("Verify: 100 %"), std::string::npos) << sound.out;
    EXPECT_EQ(Lines(sound.out).back(), "Complete, verified (81 blocks written)");
    m_devices.clear();

    Device("altered", {"--model", "R8", "--alter-stored"});
    const CCliResult altered = Run({"--json", "update", "course", "--area", "KOR", "--verify"});
    EXPECT_EQ(altered.exit, 1);
    EXPECT_NE(altered.err.find("differs from what was written"), std::string::npos) << altered.err;
    const auto lines = ParseJsonLines(altered.out);
    ASSERT_TRUE(lines.has_value()) << altered.out;
    EXPECT_EQ(Text(lines->back(), "outcome"), "verify failed");
    // Without --verify the same device's write looks complete: the check is what tells.
    EXPECT_EQ(Run({"update", "course", "--area", "KOR"}).exit, 0);
}

// Behind a proxy: every request goes by it, whether the command line names it
// or the environment does; --no-proxy goes around it; a proxy that refuses or
// is not there is named as the cause.
TEST_F(TeelinkCli, RequestsGoThroughTheProxyAndItsRefusalIsNamed) {
    StartServer();
    Device("r8", {"--model", "R8"});
    CTinyProxy proxy;
    ASSERT_TRUE(proxy.Ready());
    const CCliResult named = Run({"--proxy", proxy.Url(), "info"});
    ASSERT_EQ(named.exit, 0) << named.err;
    ASSERT_FALSE(proxy.Requests().empty());
    for (const std::string& url : proxy.Requests()) {
        EXPECT_EQ(url.rfind(ServerUrl() + "?", 0), 0u) << url;
    }
    const size_t byOption = proxy.Requests().size();

    ::setenv("http_proxy", proxy.Url().c_str(), 1);
    EXPECT_EQ(Run({"info"}).exit, 0);
    EXPECT_GT(proxy.Requests().size(), byOption);  // the environment's proxy
    const size_t byEnvironment = proxy.Requests().size();
    EXPECT_EQ(Run({"--no-proxy", "info"}).exit, 0);
    EXPECT_EQ(proxy.Requests().size(), byEnvironment);  // around it
    ::unsetenv("http_proxy");

    CTinyProxy refusing(true);
    ASSERT_TRUE(refusing.Ready());
    const CCliResult refused = Run({"--proxy", refusing.Url(), "info"});
    EXPECT_EQ(refused.exit, 4);
    EXPECT_NE(refused.err.find("HTTP status 403 (through the proxy " + refusing.Url()),
              std::string::npos)
        << refused.err;
    const std::string dead = "http://127.0.0.1:" + std::to_string(UnusedPort());
    const CCliResult absent = Run({"--proxy", dead, "info"});
    EXPECT_EQ(absent.exit, 4);
    EXPECT_NE(absent.err.find("the proxy " + dead + " refused the connection"), std::string::npos)
        << absent.err;
}

// doctor: one run tells what stands in the way, step by step, with what to do.
TEST_F(TeelinkCli, DoctorNamesEachObstacleAndWhatToDo) {
    StartServer();
    Device("r8", {"--model", "R8"});
    const CCliResult well = Run({"--json", "doctor"});
    const auto steps = ParseJsonLines(well.out);
    ASSERT_TRUE(steps.has_value()) << well.out;
    std::map<std::string, CJsonObject> byStep;
    bool allOk = true;
    for (const CJsonObject& step : *steps) {
        byStep[Text(step, "step")] = step;
        allOk = allOk && step.at("ok") == CJsonValue(true);
    }
    for (const char* step : {"device", "proxy", "server", "free space"}) {
        ASSERT_TRUE(byStep.count(step)) << step;
        EXPECT_EQ(byStep[step].at("ok"), CJsonValue(true)) << step << ": " << well.out;
    }
    EXPECT_TRUE(byStep.count("udev rule"));  // installed or not, it is looked at
    EXPECT_EQ(well.exit, allOk ? 0 : 1);

    m_devices.clear();
    m_server.reset();
    const CCliResult ill = Run({"doctor"});
    EXPECT_EQ(ill.exit, 1);
    EXPECT_NE(ill.out.find("FAIL  device: no device found"), std::string::npos) << ill.out;
    EXPECT_NE(ill.out.find("FAIL  server: cannot reach " + std::string(kDeadServer) +
                           ": connection refused"),
              std::string::npos)
        << ill.out;
    EXPECT_NE(ill.out.find("what to do: connect the device"), std::string::npos);
}

}  // namespace

}  // namespace teelink
