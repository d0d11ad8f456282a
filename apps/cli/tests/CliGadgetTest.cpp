// teelink-cli as a user runs it, without --bus: through hidapi and the host's
// hidraw against teelink-device-emulator on a USB HID gadget, and against the
// reference update server. These run inside the kernel test's guest
// (./run kernel-test) and skip elsewhere.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <memory>

#include "cli/tests/CliTestSupport.h"
#include "common/ByteOrder.h"
#include "emulator/DeviceEmulator.h"
#include "update/PackageReader.h"

namespace teelink {

namespace {

// teelink-device-emulator serving on a gadget node, ready once it has said so.
class CGadgetEmulatorExe {
public:
    CGadgetEmulatorExe(const std::string& node, std::vector<std::string> options)
        : m_process([&] {
              std::vector<std::string> argv = {TEELINK_EMULATOR_EXE, "--gadget", node};
              argv.insert(argv.end(), options.begin(), options.end());
              return argv;
          }()) {
        // "listening on /dev/hidg0 (the host's /dev/hidraw0)"
        EXPECT_TRUE(m_process.WaitForOutput("\n")) << m_process.Err();
        const std::string& out = m_process.Out();
        const size_t from = out.find("the host's ");
        const size_t to = out.find(')', from);
        if (from != std::string::npos && to != std::string::npos) {
            m_devicePath = out.substr(from + 11, to - from - 11);
        }
        EXPECT_FALSE(m_devicePath.empty()) << out << m_process.Err();
    }
    // A device left running is pulled out properly, or its gadget would stay
    // bound with nobody serving it.
    ~CGadgetEmulatorExe() {
        if (!m_ended) {
            Stop();
        }
    }
    CGadgetEmulatorExe(const CGadgetEmulatorExe&) = delete;
    CGadgetEmulatorExe& operator=(const CGadgetEmulatorExe&) = delete;
    const std::string& DevicePath() const { return m_devicePath; }
    // Stopped the way Ctrl-C does, so that it writes its inspection files.
    int Stop() {
        m_process.Signal(SIGINT);
        return Finish();
    }
    // For a device that unplugs itself and so ends by itself.
    int Finish() {
        m_ended = true;
        return m_process.Finish();
    }

private:
    CChildProcess m_process;
    bool m_ended = false;
    std::string m_devicePath;
};

class CliOnGadget : public ::testing::Test {
protected:
    void SetUp() override {
        if (DefaultEmulatorConfig("").transport != EmulatorTransport::Gadget) {
            GTEST_SKIP() << "needs the emulated devices on USB HID gadgets (./run kernel-test)";
        }
        m_nodes = GadgetsFromEnvironment();
        m_server = std::make_unique<CUpdateServerExe>();
    }
    CGadgetEmulatorExe& Device(size_t gadget, std::vector<std::string> options) {
        return *m_devices.emplace_back(
            std::make_unique<CGadgetEmulatorExe>(m_nodes.at(gadget), std::move(options)));
    }
    CCliResult Run(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--server", m_server->ScriptUrl()});
        return RunCli(args);
    }
    std::string File(const std::string& name) const { return (m_files.Path() / name).string(); }

    std::vector<std::string> m_nodes;
    std::unique_ptr<CUpdateServerExe> m_server;
    CTempDir m_files{"teelink-cli-gadget"};
    std::vector<std::unique_ptr<CGadgetEmulatorExe>> m_devices;
};

// What a package leaves in the device's memory: each entry's payload at the
// address its header names, its last block padded with zeros.
std::map<uint32_t, std::vector<uint8_t>> PackageImage(const std::string& zipPath) {
    const std::vector<uint8_t> zip = ReadFileBytes(zipPath);
    CPackageReader reader;
    std::map<uint32_t, std::vector<uint8_t>> image;
    if (!reader.Open(zip.data(), zip.size())) {
        ADD_FAILURE() << "cannot read " << zipPath;
        return image;
    }
    for (uint64_t i = 0; i < reader.EntryCount(); ++i) {
        uint64_t size = 0;
        std::vector<uint8_t> entry;
        if (!reader.EntrySize(i, size) || size < 6 ||
            !reader.Extract(i, size, (entry.resize(size), entry.data()))) {
            ADD_FAILURE() << "entry " << i << " of " << zipPath;
            continue;
        }
        std::vector<uint8_t> payload(entry.begin() + 6, entry.end());
        payload.resize((payload.size() + 4095) / 4096 * 4096, 0);
        image[teelink::LoadLe32(entry.data() + 2)] = std::move(payload);
    }
    return image;
}

// The dump's bytes at [address, address + size); the dump holds runs of
// written pages, so a range inside one run is what was written there.
std::vector<uint8_t> DumpedBytes(const std::map<uint32_t, std::vector<uint8_t>>& runs,
                                 uint32_t address, size_t size) {
    for (const auto& [start, bytes] : runs) {
        if (start <= address && address - start + size <= bytes.size()) {
            const auto from = bytes.begin() + (address - start);
            return {from, from + static_cast<std::ptrdiff_t>(size)};
        }
    }
    return {};
}

TEST_F(CliOnGadget, DevicesInfoAndSaveLogGoThroughHidraw) {
    const std::string path = Device(0, {"--model", "R8", "--log-fill", "0x5A"}).DevicePath();
    const CCliResult devices = Run({"devices"});
    EXPECT_EQ(devices.exit, 0) << devices.err;
    EXPECT_EQ(devices.out, path + "\tR8\tA01\t1.05\t2017-03-15\n");

    const CCliResult info = Run({"info"});
    ASSERT_EQ(info.exit, 0) << info.err;
    EXPECT_NE(info.out.find("device:                " + path + "\n"), std::string::npos);
    EXPECT_NE(info.out.find("latest system version: 1.06\n"), std::string::npos) << info.out;

    const std::string trv = File("round.trv");
    const CCliResult log = Run({"save-log", trv});
    ASSERT_EQ(log.exit, 0) << log.err;
    const std::vector<uint8_t> bytes = ReadFileBytes(trv);
    ASSERT_EQ(bytes.size(), 6u + 65536u);
    EXPECT_EQ(std::count(bytes.begin() + 6, bytes.end(), 0x5A), 65536);
}

TEST_F(CliOnGadget, UpdatesLeaveTheServersPackagesInTheDevicesMemory) {
    const std::string dump = File("memory.bin");
    const std::string log = File("commands.txt");
    CGadgetEmulatorExe& device =
        Device(0, {"--model", "R8", "--memory-dump", dump, "--command-log", log});
    const CCliResult course = Run({"update", "course", "--area", "KOR"});
    ASSERT_EQ(course.exit, 0) << course.err;
    EXPECT_EQ(Lines(course.out).back(), "Complete (81 blocks written)");
    const CCliResult system = Run({"update", "system"});
    ASSERT_EQ(system.exit, 0) << system.err;
    ASSERT_EQ(device.Stop(), 0);

    const auto runs = ReadMemoryDump(dump);
    const std::string content = TEELINK_SAMPLE_CONTENT_DIR;
    for (const std::string package : {"/course/R8/KOR.zip", "/system/R8/A01.zip"}) {
        for (const auto& [address, bytes] : PackageImage(content + package)) {
            EXPECT_TRUE(DumpedBytes(runs, address, bytes.size()) == bytes)
                << package << " at 0x" << std::hex << address;
        }
    }
    // The system data ends with the firmware update's start.
    const std::vector<uint8_t> commands = ReadFileBytes(log);
    EXPECT_NE(std::string(commands.begin(), commands.end()).find("firmware update started"),
              std::string::npos);
}

TEST_F(CliOnGadget, AnUnplugDuringTheWriteFailsAndKeepsExactlyTheBlocksWritten) {
    const std::string dump = File("memory.bin");
    // Identity and date, then 20 blocks: the last one's answer still reaches
    // the tool before the device drops off.
    CGadgetEmulatorExe& device =
        Device(0, {"--model", "R8", "--unplug-after", "22", "--memory-dump", dump});
    const CCliResult result = Run({"--json", "update", "course", "--area", "KOR"});
    EXPECT_EQ(result.exit, 1) << result.err;
    const auto objects = ParseJsonLines(result.out);
    ASSERT_TRUE(objects && !objects->empty()) << result.out;
    const CJsonObject& last = objects->back();
    EXPECT_EQ(last.at("outcome"), CJsonValue(std::string("write failed")));
    EXPECT_EQ(last.at("message"), CJsonValue(std::string("Failed to write")));
    // The device answered the 20th block before it dropped off. The pull
    // finds the tool sending the next block's command or waiting for its
    // answer; or, as hidapi gives up a read on the hang-up even when the
    // answer is already in hidraw, still before block 20's answer: then the
    // tool counts 19.
    const int64_t blocks = std::get<int64_t>(last.at("blocks_written"));
    EXPECT_TRUE(blocks == 20 || blocks == 19) << blocks;
    EXPECT_TRUE(result.err.find("write: set addr error") != std::string::npos ||
                result.err.find("read: set ack error") != std::string::npos)
        << result.err;
    EXPECT_EQ(device.Finish(), 0);  // it unplugged itself and ended

    // Course data first, the header block last: the device holds the 20
    // blocks it stored, byte for byte, and nothing after them.
    const auto image = PackageImage(std::string(TEELINK_SAMPLE_CONTENT_DIR) + "/course/R8/KOR.zip");
    ASSERT_EQ(image.count(0x281000), 1u);
    const size_t written = 20 * 4096;
    const std::vector<uint8_t>& data = image.at(0x281000);
    ASSERT_GE(data.size(), written);
    const auto runs = ReadMemoryDump(dump);
    EXPECT_TRUE(DumpedBytes(runs, 0x281000, written) ==
                std::vector<uint8_t>(data.begin(), data.begin() + written));
    EXPECT_TRUE(DumpedBytes(runs, 0x281000 + static_cast<uint32_t>(written), 4096).empty());
}

// hidraw opens a node for as many programs as ask: while one Teelink writes,
// a second is told that the device is in use, by which program (the lock
// on the node, as the system's lock table shows it), and sends it nothing.
TEST_F(CliOnGadget, ASecondProgramIsToldTheDeviceIsInUseWhileOneWrites) {
    const std::string log = File("commands.txt");
    Device(0, {"--model", "R8", "--report-interval-us", "1000", "--command-log", log});
    CChildProcess writer(CliArgv(
        {"--server", m_server->ScriptUrl(), "--json", "update", "course", "--area", "KOR"}));
    ASSERT_TRUE(writer.WaitForOutput("\"phase\":\"write\",\"percent\":1}")) << writer.Err();
    const CCliResult info = Run({"info"});
    EXPECT_EQ(info.exit, 3);
    EXPECT_NE(info.err.find("is in use by teelink-cli (process "), std::string::npos) << info.err;
    EXPECT_EQ(writer.Finish(), 0) << writer.Err();
    const auto objects = ParseJsonLines(writer.Out());
    ASSERT_TRUE(objects && !objects->empty()) << writer.Out();
    EXPECT_EQ(objects->back().at("outcome"), CJsonValue(std::string("written")));
    EXPECT_EQ(Run({"info"}).exit, 0);
}

TEST_F(CliOnGadget, TwoDevicesAreBothListedAndACommandMustChooseOne) {
    ASSERT_GE(m_nodes.size(), 2u);
    const std::string r8 = Device(0, {"--model", "R8"}).DevicePath();
    const std::string ks2 = Device(1, {"--model", "KS2", "--system-version", "1.03"}).DevicePath();
    const CCliResult devices = Run({"devices"});
    EXPECT_EQ(devices.exit, 0) << devices.err;
    std::vector<std::string> expected = {r8 + "\tR8\tA01\t1.05\t2017-03-15",
                                         ks2 + "\tKS2\tA01\t1.03\t2017-03-15"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Lines(devices.out), expected);

    const CCliResult refused = Run({"info"});
    EXPECT_EQ(refused.exit, 3);
    EXPECT_NE(refused.err.find("2 devices connected"), std::string::npos) << refused.err;
    const CCliResult chosen = Run({"info", "--device", ks2});
    EXPECT_EQ(chosen.exit, 0) << chosen.err;
    EXPECT_NE(chosen.out.find("model:                 KS2\n"), std::string::npos);
}

}  // namespace

}  // namespace teelink
