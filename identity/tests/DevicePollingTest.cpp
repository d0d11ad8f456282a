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

}  // namespace

}  // namespace teelink
