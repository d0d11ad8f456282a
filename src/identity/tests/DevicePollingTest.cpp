#include <gtest/gtest.h>

#include "identity/DevicePolling.h"

namespace teelink {

namespace {

// One tick: what it decides, then the state as the page leaves it when the
// device reads succeed.
PollAction Tick(CPollState& state, int count, const std::string& path,
                const std::string& identified) {
    const PollAction action = state.Decide(count, path, identified);
    state.Apply(action);
    return action;
}

TEST(DevicePolling, TheSameDeviceStayingIsReadOnceAndThenOnlyRefreshed) {
    CPollState state;
    EXPECT_EQ(Tick(state, 0, "", ""), PollAction::ShowNoDevice);
    EXPECT_EQ(Tick(state, 1, "/dev/hidraw3", ""), PollAction::IdentifyDevice);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Tick(state, 1, "/dev/hidraw3", "/dev/hidraw3"), PollAction::RefreshDevice);
    }
    // Back from another page with the device still there: no read.
    EXPECT_EQ(Tick(state, 1, "/dev/hidraw3", "/dev/hidraw3"), PollAction::RefreshDevice);
    EXPECT_EQ(Tick(state, 0, "", "/dev/hidraw3"), PollAction::ShowNoDevice);
    EXPECT_EQ(Tick(state, 1, "/dev/hidraw3", "/dev/hidraw3"), PollAction::IdentifyDevice);
}

TEST(DevicePolling, ADeviceThatTookTheShownOnesPlaceIsReadAnew) {
    CPollState state;
    Tick(state, 1, "emu:/bus/hid-0483-5750-r7.sock", "");
    // Replaced between two ticks, or swapped while another page was shown.
    EXPECT_EQ(Tick(state, 1, "emu:/bus/hid-0483-5750-ks2.sock", "emu:/bus/hid-0483-5750-r7.sock"),
              PollAction::IdentifyDevice);
}

TEST(DevicePolling, WhatIsLeftOfSeveralDevicesIsReadAnewEvenOnTheSamePath) {
    CPollState state;
    Tick(state, 1, "/dev/hidraw0", "");
    EXPECT_EQ(Tick(state, 2, "", "/dev/hidraw0"), PollAction::TooManyDevices);
    EXPECT_TRUE(state.m_bDeviceShown);  // the page keeps what it shows meanwhile
    EXPECT_EQ(Tick(state, 2, "", "/dev/hidraw0"), PollAction::TooManyDevices);
    EXPECT_EQ(Tick(state, 1, "/dev/hidraw0", "/dev/hidraw0"), PollAction::IdentifyDevice);
    EXPECT_EQ(Tick(state, 1, "/dev/hidraw0", "/dev/hidraw0"), PollAction::RefreshDevice);
}

// A device the window cannot use is logged once, when it appears, with what
// to do; not again on every tick while it stays, but again once it has gone
// and come back.
TEST(DevicePolling, AnUnusableDeviceIsLoggedOnceWithWhatToDo) {
    CUnusableLog log;
    const CUnusableDevice locked{"/dev/hidraw4", DeviceProblem::NoPermission, ""};
    const CUnusableDevice held{"/dev/hidraw5", DeviceProblem::InUse, "teelink-cli (process 7)"};
    const std::vector<std::string> first = log.Changes({locked});
    ASSERT_EQ(first.size(), 1U);
    EXPECT_NE(first[0].find("/dev/hidraw4 is connected, but this user may not open it"),
              std::string::npos);
#ifdef __linux__
    EXPECT_NE(first[0].find("70-zorvik.rules"), std::string::npos) << first[0];
#endif
    EXPECT_TRUE(log.Changes({locked}).empty());
    const std::vector<std::string> second = log.Changes({locked, held});
    ASSERT_EQ(second.size(), 1U);
    EXPECT_NE(second[0].find("in use by teelink-cli (process 7): try again"), std::string::npos)
        << second[0];
    EXPECT_TRUE(log.Changes({}).empty());
    EXPECT_EQ(log.Changes({locked}).size(), 1U);
}

}  // namespace

}  // namespace teelink
