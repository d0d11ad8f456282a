#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "device/EmulatorBus.h"
#include "device/LoopbackSocket.h"
#include "testsupport/DeviceTestSupport.h"

namespace teelink {

namespace {

using DeviceDiscovery = DeviceTest;

CEmulatorConfig Labelled(CEmulatorConfig config, std::string label) {
    config.label = std::move(label);
    return config;
}

std::vector<std::string> Paths(const CDeviceList& list) {
    std::vector<std::string> paths;
    for (const CDevice& device : list.Found()) {
        paths.push_back(device.Path());
    }
    return paths;
}

TEST_F(DeviceDiscovery, ADeviceTakenEarlierKeepsItsPathWhenTheListEmpties) {
    CDeviceEmulator& emulated = StartDevice();
    ASSERT_EQ(m_list.Enumerate(), 1);
    const CDevice taken = m_list.Found().front();
    emulated.Unplug();
    EXPECT_EQ(m_list.Enumerate(), 0);
    EXPECT_EQ(m_list.Count(), 0);
    EXPECT_TRUE(m_list.Found().empty());
    // The value a worker holds is still that device, which has gone.
    EXPECT_EQ(taken.Path(), emulated.DevicePath());
    CDeviceChannel channel;
    EXPECT_EQ(OpenChannel(taken, channel).Code(), ERR_OPEN);

    CDeviceList missingBus(BusOnly(m_bus.Dir() + "/absent"));
    EXPECT_EQ(missingBus.Enumerate(), 0);
}

TEST_F(DeviceDiscovery, CountsOnlyOpenableInterfacesWithBothIds) {
    StartDevice(Labelled(Config(), "match"));
    CEmulatorConfig otherProduct = Labelled(Config(), "other-product");
    otherProduct.productId = 0x5751;
    StartDevice(otherProduct);
    CEmulatorConfig otherVendor = Labelled(Config(), "other-vendor");
    otherVendor.vendorId = 0x1234;
    StartDevice(otherVendor);
    // A plain file with a bus name, a listener that has gone, and other files.
    std::ofstream(m_bus.Dir() + "/hid-0483-5750-plainfile.sock") << "x";
    std::ofstream(m_bus.Dir() + "/hid-0483-5750-plainfile.tcp") << "x";
    std::ofstream(m_bus.Dir() + "/notes.txt") << "x";
    if (StreamTransport()) {
        WriteDeadAnnouncement(m_bus.Dir() + "/hid-0483-5750-dead.tcp");
    } else {
#ifndef _WIN32
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s/hid-0483-5750-dead.sock",
                      m_bus.Dir().c_str());
        const int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        close(fd);
#endif
    }

    EXPECT_EQ(m_list.Enumerate(), 1);
    EXPECT_EQ(Paths(m_list), std::vector<std::string>{m_devices[0]->DevicePath()});
    // Probes are not sessions: the device saw nobody talk to it.
    EXPECT_EQ(m_devices[0]->Status().sessionsEnded, 0u);
}

TEST_F(DeviceDiscovery, TwoDevicesAreListedByName) {
    StartDevice(Labelled(Config(), "b"));
    StartDevice(Labelled(Config(), "a"));
    EXPECT_EQ(m_list.Enumerate(), 2);
    EXPECT_EQ(Paths(m_list),
              (std::vector<std::string>{m_devices[1]->DevicePath(), m_devices[0]->DevicePath()}));
}

TEST_F(DeviceDiscovery, ElevenDevicesCountElevenAndKeepTenPaths) {
    for (int i = 0; i < 11; ++i) {
        char label[8];
        std::snprintf(label, sizeof label, "d%02d", i);
        StartDevice(Labelled(Config(), label));
    }
    EXPECT_EQ(m_list.Enumerate(), 11);
    EXPECT_EQ(m_list.Count(), 11);
    ASSERT_EQ(m_list.Found().size(), 10u);
    for (size_t i = 0; i < m_list.Found().size(); ++i) {
        EXPECT_EQ(m_list.Found()[i].Path(), m_devices[i]->DevicePath());
    }
}

TEST_F(DeviceDiscovery, ARelativeBusDirectoryGivesAbsolutePaths) {
    // Relative to the bus's own parent: on Windows the bus may be on another drive.
    const std::filesystem::path previous = std::filesystem::current_path();
    const std::filesystem::path bus(m_bus.Dir());
    std::filesystem::current_path(bus.parent_path());
    CDeviceList list(BusOnly(bus.filename().string()));
    CDeviceEmulator& device = StartDevice();
    const int found = list.Enumerate();
    std::filesystem::current_path(previous);
    ASSERT_EQ(found, 1);
    const std::string path = list.Found().front().Path();
    EXPECT_EQ(path, device.DevicePath());
    ASSERT_EQ(path.substr(0, 4), "emu:");
    EXPECT_TRUE(std::filesystem::path(path.substr(4)).is_absolute()) << path;
}

TEST_F(DeviceDiscovery, ADeviceRemovedAfterDiscoveryCannotBeOpened) {
    CDeviceEmulator& device = StartDevice();
    ASSERT_EQ(m_list.Enumerate(), 1);
    device.Unplug();
    CDeviceChannel channel;
    const Status open = OpenChannel(m_list.Found().front(), channel);
    EXPECT_FALSE(channel.IsOpen());
    ASSERT_FALSE(open);
    EXPECT_EQ(open.Failure().Texts(), std::vector<std::string>{"USB Open Error"});
    EXPECT_EQ(m_list.Enumerate(), 0);
}

#ifndef _WIN32
// The lock another Teelink takes on a device: its own open of the file that a
// claim locks (the hidraw node, or the lock file beside an emulator's socket).
class COtherTeelink {
public:
    explicit COtherTeelink(const std::string& devicePath) {
        const bool emulated = devicePath.starts_with(emubus::kPathPrefix);
        const std::string file = emulated ? devicePath.substr(4) + emubus::kLockSuffix : devicePath;
        m_fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC | (emulated ? O_CREAT : 0), 0600);
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~COtherTeelink() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    COtherTeelink(const COtherTeelink&) = delete;
    COtherTeelink& operator=(const COtherTeelink&) = delete;
    bool Holds() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Two tools writing one device would interleave their blocks: a device that
// another Teelink holds is not counted, is said to be in use, is not opened,
// and a channel of ours keeps the other one out as long as it is open.
TEST_F(DeviceDiscovery, ADeviceAnotherTeelinkHoldsIsNeitherCountedNorOpened) {
    StartDevice();
    ASSERT_EQ(m_list.Enumerate(), 1);
    const CDevice device = m_list.Found().front();
    {
        const COtherTeelink other(device.Path());
        ASSERT_TRUE(other.Holds());
        EXPECT_EQ(m_list.Enumerate(), 0);
        // It is listed as held, by whom the system's lock table says: here
        // this very process, whose second open of the lock file plays the
        // other Teelink.
        ASSERT_EQ(m_list.Unusable().size(), 1U);
        const CUnusableDevice& held = m_list.Unusable().front();
        EXPECT_EQ(held.path, device.Path());
        EXPECT_EQ(held.problem, DeviceProblem::InUse);
#ifdef __linux__
        EXPECT_NE(held.holder.find("(process " + std::to_string(::getpid()) + ")"),
                  std::string::npos)
            << held.holder;
#endif
        CDeviceChannel channel;
        EXPECT_EQ(OpenChannel(device, channel).Code(), ERR_OPEN);
        // A job's claim is refused as well.
        CDeviceClaim claim;
        EXPECT_EQ(device.Claim(claim), ClaimResult::InUse);
    }
    EXPECT_EQ(m_list.Enumerate(), 1);
    EXPECT_TRUE(m_list.Unusable().empty());
    CDeviceChannel channel;
    ASSERT_TRUE(OpenChannel(device, channel));
    EXPECT_FALSE(COtherTeelink(device.Path()).Holds());
    // A job's claim and its channel share this process's lock: the job keeps
    // the device between two channels.
    CDeviceClaim claim;
    EXPECT_EQ(device.Claim(claim), ClaimResult::Taken);
    CloseChannel(channel);
    EXPECT_FALSE(COtherTeelink(device.Path()).Holds());
    claim.Release();
    EXPECT_TRUE(COtherTeelink(device.Path()).Holds());
}
#endif

TEST_F(DeviceDiscovery, OpeningWithNoDeviceEverFoundFails) {
    CDeviceChannel channel;
    const Status open = OpenChannel(CDevice(), channel);
    ASSERT_FALSE(open);
    EXPECT_EQ(open.Failure().Texts(), std::vector<std::string>{"USB Open Error"});
    // Opening shows nothing itself: the job that asked does, at its end.
    EXPECT_TRUE(m_notifier.Texts().empty());
}

TEST_F(DeviceDiscovery, WithoutABusEmulatedDevicesAreNeitherFoundNorOpened) {
    CDeviceEmulator& device = StartDevice();
    CDeviceList list(BusOnly(""));
    EXPECT_EQ(list.Enumerate(), 0);
    CDeviceChannel channel;
    const CDevice bypath = list.At(device.DevicePath()).value_or(CDevice());
    EXPECT_EQ(OpenChannel(bypath, channel).Code(), ERR_OPEN);
}

// The platform's HID backend (hidraw here, the Windows backend with its
// exclusive probe under Wine): a machine with none of our devices plugged in
// is the no-device state, quietly, never an error.
TEST_F(DeviceDiscovery, TheSystemsHidDevicesWithoutOursAreNoDeviceAndNoError) {
    CDeviceBusConfig config;
    config.emulatorBusDir = "";
    config.useHidapi = true;
    CDeviceList list(config);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list.Enumerate(), 0);
    }
    CDeviceChannel channel;
    const CDevice none = list.At("").value_or(CDevice());
    EXPECT_EQ(OpenChannel(none, channel).Code(), ERR_OPEN);
}

#ifndef _WIN32
// What another local user could leave on the bus: a link named like an
// announcement that leads to an endless file, a FIFO that would block a read,
// a huge announcement. None is an interface, and none holds the search up.
TEST_F(DeviceDiscovery, LinksFifosAndOversizedAnnouncementsAreNoInterfaces) {
    const std::string dir = m_bus.Dir();
    std::filesystem::create_symlink("/dev/zero", dir + "/hid-0483-5750-zero.tcp");
    ASSERT_EQ(mkfifo((dir + "/hid-0483-5750-fifo.tcp").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((dir + "/hid-0483-5750-fifo2.sock").c_str(), 0600), 0);
    std::ofstream(dir + "/hid-0483-5750-big.tcp") << std::string(1 << 20, '1');
    CDeviceEmulator& real = StartDevice(Labelled(Config(), "real"));
    std::filesystem::create_symlink(
        real.SocketPath(), dir + "/hid-0483-5750-alias" +
                               std::filesystem::path(real.SocketPath()).extension().string());
    EXPECT_EQ(m_list.Enumerate(), 1);
    EXPECT_EQ(m_list.Found().front().Path(), real.DevicePath());
    EXPECT_FALSE(emubus::ReadAnnouncement(dir + "/hid-0483-5750-zero.tcp"));
    EXPECT_FALSE(emubus::ReadAnnouncement(dir + "/hid-0483-5750-fifo.tcp"));
    EXPECT_FALSE(emubus::ReadAnnouncement(dir + "/hid-0483-5750-big.tcp"));
    // Opened by a path the search never gave, a link is refused all the same.
    CDeviceChannel channel;
    const CDevice alias = m_list.At("emu:" + dir + "/hid-0483-5750-zero.tcp").value();
    EXPECT_EQ(OpenChannel(alias, channel).Code(), ERR_OPEN);
}

// A bus folder that others may write to is no bus the tool trusts.
TEST_F(DeviceDiscovery, ABusThatOthersMayWriteToIsIgnored) {
    StartDevice();
    ASSERT_EQ(m_list.Enumerate(), 1);
    std::filesystem::permissions(m_bus.Dir(), std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::add);
    EXPECT_EQ(m_list.Enumerate(), 0);
    const CDevice device = m_list.At(m_devices.front()->DevicePath()).value();
    CDeviceChannel channel;
    EXPECT_EQ(OpenChannel(device, channel).Code(), ERR_OPEN);
    std::filesystem::permissions(m_bus.Dir(), std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_EQ(m_list.Enumerate(), 1);
}
#endif

TEST(EmulatorBusNames, OnlyWellFormedNamesAreInterfaces) {
    const auto parsed = emubus::ParseSocketName("hid-0483-5750-my_dev-1.sock");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->vendorId, 0x0483);
    EXPECT_EQ(parsed->productId, 0x5750);
    EXPECT_EQ(parsed->label, "my_dev-1");
    for (const char* name :
         {"hid-0483-5750-.sock", "hid-0483-575-a.sock", "hid-0483-57G0-a.sock",
          "hid-0483-57A0-a.sock", "hid-0483-5750-a.b.sock", "hid-0483-5750-a.socket",
          "hid-0483-5750-a b.sock", "HID-0483-5750-a.sock", "hid-0483-5750a.sock"}) {
        EXPECT_FALSE(emubus::ParseSocketName(name)) << name;
    }
    EXPECT_TRUE(emubus::ParseSocketName("hid-0483-5750-x.sock"));
    EXPECT_EQ(emubus::MakeSocketName(0x0483, 0x5750, "x"), "hid-0483-5750-x.sock");
    EXPECT_EQ(emubus::MakeSocketName(0x0483, 0x5750, "../x"), "");
}

}  // namespace

}  // namespace teelink
