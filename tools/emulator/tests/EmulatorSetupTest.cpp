// How the emulator is told what to do: the fault plan that picks each command's
// faults, the command line of the executable, and the transport it chooses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "device/EmulatorBus.h"
#include "device/Protocol.h"
#include "emulator/EmulatorOptions.h"
#include "emulator/EmulatorTransport.h"
#include "emulator/FaultPlan.h"
#include "testsupport/DeviceTestSupport.h"

namespace teelink {

namespace {

TEST(FaultPlan, FaultsWaitForTheirCommandButUnplugCountsFromTheFirst) {
    CEmulatorFaults faults;
    faults.refuseAckFor = CMD_READ_BLOCK;
    faults.stallAfterPayloads = 3;
    faults.unplugAfterCommands = 2;
    faults.fromCommand = 3;
    CFaultPlan plan(faults);

    plan.Begin(1);
    EXPECT_FALSE(plan.RefusesAck(CMD_READ_BLOCK));
    EXPECT_FALSE(plan.StallsAfter(3));
    EXPECT_FALSE(plan.UnplugsAfterThis());
    plan.Begin(2);
    EXPECT_FALSE(plan.RefusesAck(CMD_READ_BLOCK));
    EXPECT_TRUE(plan.UnplugsAfterThis());
    plan.Begin(3);
    EXPECT_TRUE(plan.RefusesAck(CMD_READ_BLOCK));
    EXPECT_FALSE(plan.RefusesAck(CMD_READ_IDENTITY));
    EXPECT_FALSE(plan.StallsAfter(2));
    EXPECT_TRUE(plan.StallsAfter(3));
}

TEST(FaultPlan, AnyCommandSelectsEveryCommandAndNothingActsUnasked) {
    CEmulatorFaults faults;
    faults.noAckFor = CEmulatorFaults::ANY_COMMAND;
    CFaultPlan plan(faults);
    plan.Begin(1);
    for (uint8_t code : {CMD_READ_IDENTITY, CMD_READ_BLOCK, CMD_WRITE_BLOCK, CMD_READ_FAVORITES}) {
        EXPECT_TRUE(plan.WithholdsAck(code)) << int{code};
        EXPECT_FALSE(plan.RefusesAck(code)) << int{code};
    }
    EXPECT_FALSE(plan.StallsAfter(0));
    EXPECT_FALSE(plan.WithholdsFinalAck());
    EXPECT_FALSE(plan.IgnoresEnd());
    EXPECT_FALSE(plan.UnplugsAfterThis());
}

class EmulatorOptions : public ::testing::Test {
protected:
    bool Parse(std::vector<std::string> args) {
        args.insert(args.begin(), "teelink-device-emulator");
        std::vector<const char*> argv;
        for (const std::string& a : args) {
            argv.push_back(a.c_str());
        }
        options = CEmulatorOptions();
        error.clear();
        return ParseEmulatorOptions(static_cast<int>(argv.size()), argv.data(), options, error);
    }
    std::string WriteFile(const std::string& name, const std::string& bytes) const {
        const std::string path = m_bus.Dir() + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    CTempBus m_bus;
    CEmulatorOptions options;
    std::string error;
};

TEST_F(EmulatorOptions, TheSampleFavouritesAreReplacedSlotBySlotOrEmptiedWhole) {
    ASSERT_TRUE(Parse({})) << error;
    const auto sample = options.config.favorites;
    EXPECT_EQ(sample[15], 0x01);  // slot 1 holds a course
    ASSERT_TRUE(Parse({"--favorite", "2:0:0:0:"})) << error;
    EXPECT_TRUE(std::all_of(options.config.favorites.begin() + 30,
                            options.config.favorites.begin() + 45,
                            [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(sample.begin(), sample.begin() + 30, options.config.favorites.begin()));
    ASSERT_TRUE(Parse({"--favorites-file", "/dev/null"})) << error;
    EXPECT_TRUE(std::all_of(options.config.favorites.begin(), options.config.favorites.end(),
                            [](uint8_t b) { return b == 0; }));
}

TEST_F(EmulatorOptions, LaterOptionsOverrideEarlierOnesInCommandLineOrder) {
    const std::string table = WriteFile("favorites.bin", std::string(240, '\x11'));
    ASSERT_TRUE(Parse({"--favorites-file", table, "--favorite", "1:0x102:3:4:170101"})) << error;
    EXPECT_EQ(options.config.favorites[0], 0x11);
    EXPECT_EQ(options.config.favorites[15], 0x02);  // slot 1, n little-endian
    EXPECT_EQ(options.config.favorites[16], 0x01);
    EXPECT_EQ(options.config.favorites[18], 0x04);

    ASSERT_TRUE(Parse({"--favorite", "1:0x102:3:4:170101", "--favorites-file", table}));
    EXPECT_EQ(options.config.favorites[15], 0x11);

    ASSERT_TRUE(Parse({"--log-fill", "0", "--log-file", WriteFile("log.bin", "ab")}));
    EXPECT_EQ(options.config.logImage, (std::vector<uint8_t>{'a', 'b'}));
    ASSERT_TRUE(Parse({"--label", "one", "--label", "two", "--course-date", "none"}));
    EXPECT_EQ(options.config.label, "two");
    EXPECT_FALSE(options.config.courseDate.has_value());
}

TEST_F(EmulatorOptions, ValuesReachTheDeviceConfiguration) {
    ASSERT_TRUE(Parse({"--vendor-id", "0x1234", "--product-id", "abcd", "--model", "KS2",
                       "--system-version", "2.01", "--stall-after", "0x3f", "--no-ack", "write",
                       "--unplug-after", "7", "--faults-from", "2", "--no-final-ack", "--preload",
                       "0x400000:" + WriteFile("p.bin", "xyz")}))
        << error;
    const CEmulatorConfig& c = options.config;
    EXPECT_EQ(c.vendorId, 0x1234);
    EXPECT_EQ(c.productId, 0xABCD);
    EXPECT_EQ(c.identity, MakeIdentityRecord("KS2", "A01", "2.01"));
    EXPECT_EQ(c.faults.stallAfterPayloads, 63);
    EXPECT_EQ(c.faults.noAckFor, CMD_WRITE_BLOCK);
    EXPECT_EQ(c.faults.unplugAfterCommands, 7);
    EXPECT_EQ(c.faults.fromCommand, 2u);
    EXPECT_TRUE(c.faults.noFinalAck);
    ASSERT_EQ(c.preloads.size(), 1u);
    EXPECT_EQ(c.preloads[0].address, 0x400000u);
    EXPECT_EQ(c.preloads[0].bytes, (std::vector<uint8_t>{'x', 'y', 'z'}));
}

TEST_F(EmulatorOptions, BadValuesNameTheirOption) {
    for (const auto& [option, value] :
         std::vector<std::pair<std::string, std::string>>{{"--vendor-id", "10000"},
                                                          {"--model", "R7XX"},
                                                          {"--course-date", "1703"},
                                                          {"--stall-after", "64"},
                                                          {"--unplug-after", "0"},
                                                          {"--report-interval-us", "-1"},
                                                          {"--favorite", "16:1:1:1:x"},
                                                          {"--preload", "0x100"},
                                                          {"--refuse-ack", "sometimes"},
                                                          {"--log-file", "/nonexistent/log.bin"}}) {
        EXPECT_FALSE(Parse({option, value})) << option << " " << value;
        EXPECT_EQ(error.rfind(option, 0), 0u) << error;
    }
    EXPECT_FALSE(Parse({"--no-such-option"}));
    EXPECT_FALSE(Parse({"--bus"}));
    ASSERT_TRUE(Parse({"--help"}));
    EXPECT_TRUE(options.help);
}

// What the serving thread relies on: Accept never waits, a connection shows
// on Listener() first, and a withdrawn transport takes nothing more.
TEST_F(EmulatorOptions, EachBusTransportAnnouncesItsOwnKindUntilWithdrawn) {
    namespace fs = std::filesystem;
    std::vector<std::pair<std::string, emubus::Kind>> kinds = {{"tcp", emubus::Kind::Tcp}};
#ifndef _WIN32
    kinds.emplace_back("socket", emubus::Kind::Socket);
#endif
    for (const auto& [option, kind] : kinds) {
        SCOPED_TRACE(option);
        ASSERT_TRUE(Parse({"--bus", m_bus.Dir(), "--transport", option})) << error;
        const auto transport = MakeEmulatorTransport(options.config.transport);
        ASSERT_TRUE(transport->Open(options.config, error)) << error;
        const std::string file = transport->Where();
        const auto name = emubus::ParseSocketName(fs::path(file).filename().string());
        ASSERT_TRUE(name.has_value()) << file;
        EXPECT_EQ(name->kind, kind);
        EXPECT_EQ(transport->DevicePath(), std::string(emubus::kPathPrefix) + file);
        EXPECT_EQ(transport->HostPath(), "");
        EXPECT_EQ(transport->Accept(), nullptr);

        CEmulatorBusBackend backend(m_bus.Dir());
        const auto tool = backend.Open(transport->DevicePath());
        ASSERT_NE(tool, nullptr);
        loopback::PollEntry listener{transport->Listener(), loopback::kReadable, 0};
        ASSERT_EQ(loopback::Poll(&listener, 1, kNormalTimeoutMs), 1);
        EXPECT_NE(transport->Accept(), nullptr);

        transport->Withdraw();
        EXPECT_FALSE(fs::exists(fs::path(file)));
        EXPECT_FALSE(transport->Reachable());
        EXPECT_EQ(transport->Accept(), nullptr);
        transport->Withdraw();
    }
}

// A gadget that is not there fails the start and leaves the bus untouched:
// the device must not turn up on the bus instead.
TEST_F(EmulatorOptions, AGadgetThatIsNotThereIsNoDeviceAnywhere) {
    ASSERT_TRUE(Parse({"--bus", m_bus.Dir(), "--gadget", m_bus.Dir() + "/hidg7"})) << error;
    CDeviceEmulator device(options.config);
    EXPECT_FALSE(device.Start());
#ifdef __linux__
    EXPECT_NE(device.LastError().find("/hidg7"), std::string::npos) << device.LastError();
#endif
    EXPECT_TRUE(std::filesystem::is_empty(m_bus.Dir()));
    EXPECT_FALSE(device.Status().plugged);
    device.Stop();
}

}  // namespace

}  // namespace teelink
