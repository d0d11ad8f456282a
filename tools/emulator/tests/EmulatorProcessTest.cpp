// The teelink-device-emulator executable as users and scripts run it.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/ByteOrder.h"
#include "core/MessageTable.h"
#include "core/TeelinkDoc.h"
#include "device/Protocol.h"
#include "identity/DeviceReads.h"
#include "testsupport/DeviceTestSupport.h"

extern char** environ;

namespace teelink {

namespace {

// The emulator executable with its stdout on a pipe; killed if still running.
class CEmulatorProcess {
public:
    explicit CEmulatorProcess(std::vector<std::string> arguments) {
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        arguments.insert(arguments.begin(), TEELINK_EMULATOR_EXE);
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, TEELINK_EMULATOR_EXE, &actions, nullptr, argv.data(), environ) !=
            0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        m_stdout = out[0];
    }

    ~CEmulatorProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_stdout >= 0) {
            close(m_stdout);
        }
    }

    // The first line it prints; empty if it ended without one.
    std::string FirstLine() {
        std::string line;
        char c = 0;
        while (m_stdout >= 0 && read(m_stdout, &c, 1) == 1 && c != '\n') {
            line.push_back(c);
        }
        return line;
    }

    // Exit status once it has ended, or -1 when it did not end normally.
    int Wait() {
        int status = 0;
        const pid_t pid = m_pid;
        m_pid = -1;
        if (pid <= 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
            return -1;
        }
        return WEXITSTATUS(status);
    }

    void Signal(int number) const { kill(m_pid, number); }

private:
    pid_t m_pid = -1;
    int m_stdout = -1;
};

std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(EmulatorProcess, ServesTheToolAndCleansUpOnSigterm) {
    CTempBus bus;
    const std::string log = bus.Dir() + "/commands.txt";
    const std::string dump = bus.Dir() + "/memory.bin";
    CEmulatorProcess emulator({"--bus", bus.Dir(), "--transport", "socket", "--label", "cli",
                               "--model", "KS2", "--hardware-code", "B7", "--system-version",
                               "2.01", "--course-date", "180102", "--command-log", log,
                               "--memory-dump", dump});
    const std::string socket = bus.Dir() + "/hid-0483-5750-cli.sock";
    ASSERT_EQ(emulator.FirstLine(), "listening on " + socket);

    CDeviceList list(BusOnly(bus.Dir()));
    CRecordingNotifier notifier;
    CMessageTable messages;
    CTeelinkDoc doc(messages);
    ASSERT_EQ(list.Enumerate(), 1);
    ASSERT_TRUE(ReadDeviceIdentity(doc, list.Found().front()));
    ASSERT_TRUE(ReadCourseDataDate(doc, list.Found().front()));
    EXPECT_EQ(doc.m_strModel, L"KS2");
    EXPECT_EQ(doc.m_strModelCode, L"B7");
    EXPECT_EQ(doc.m_strSystemVersion, L"2.01");
    EXPECT_EQ(doc.m_strCourseDate, L"180102");

    const std::vector<uint8_t> block = Pattern(BLOCK_SIZE, 33);
    {
        CDeviceChannel channel;
        ASSERT_TRUE(OpenChannel(list.Found().front(), channel));
        ASSERT_EQ(WriteBlock(channel, 0x00400000, block.data()).Code(), 0);
        SendEnd(channel);
    }

    emulator.Signal(SIGTERM);
    EXPECT_EQ(emulator.Wait(), 0);
    EXPECT_FALSE(std::filesystem::exists(socket));

    const std::string commands = ReadText(log);
    EXPECT_NE(commands.find("READ_IDENTITY"), std::string::npos) << commands;
    EXPECT_NE(commands.find("READ_BLOCK     word=0x55aa5502 addr=0x00280000"), std::string::npos);
    EXPECT_NE(commands.find("WRITE_BLOCK    word=0x55aa5501 addr=0x00400000"), std::string::npos);
    EXPECT_NE(commands.find("END"), std::string::npos);

    // Runs of address, length, bytes: the course header page, then the block.
    const std::string memory = ReadText(dump);
    const std::string written(block.begin(), block.end());
    const size_t at = memory.find(written);
    ASSERT_NE(at, std::string::npos);
    ASSERT_GE(at, 8u);
    EXPECT_EQ(teelink::LoadLe32(reinterpret_cast<const uint8_t*>(memory.data() + at - 8)),
              0x00400000u);
    EXPECT_TRUE(notifier.Texts().empty());
}

TEST(EmulatorProcess, EndsByItselfWhenItUnplugs) {
    CTempBus bus;
    CEmulatorProcess emulator({"--bus", bus.Dir(), "--unplug-after", "1"});
    ASSERT_FALSE(emulator.FirstLine().empty());
    CDeviceList list(BusOnly(bus.Dir()));
    CRecordingNotifier notifier;
    ASSERT_EQ(list.Enumerate(), 1);
    CDeviceChannel channel;
    ASSERT_TRUE(OpenChannel(list.Found().front(), channel));
    EXPECT_EQ(ReadIdentity(channel).Code(), 0);
    EXPECT_EQ(emulator.Wait(), 0);
    EXPECT_EQ(ReadIdentity(channel).Code(), ERR_READ_SET_ADDR);
    EXPECT_EQ(list.Enumerate(), 0);
}

TEST(EmulatorProcess, RejectsABadCommandLine) {
    CEmulatorProcess unknown({"--no-such-option"});
    EXPECT_EQ(unknown.Wait(), 2);
    CEmulatorProcess badFault({"--no-ack", "sometimes"});
    EXPECT_EQ(badFault.Wait(), 2);
    CEmulatorProcess badLabel({"--bus", "/tmp", "--label", "a/b"});
    EXPECT_EQ(badLabel.Wait(), 1);
}

}  // namespace

}  // namespace teelink
