// What the device tests cannot show with the emulated device on a USB HID
// gadget (the kernel test's guest), and why. Everything else runs there
// unchanged, with the tool's side on hidapi and the host's hidraw.
#include <gtest/gtest.h>

#include <string_view>

#include "testsupport/DeviceTestSupport.h"

namespace teelink {

namespace {

struct CGadgetSkip {
    std::string_view test;  // suite.name, or suite.* for a whole suite
    std::string_view why;
};

constexpr std::string_view kNoHangUp = "a USB device cannot see the host close its handle";

constexpr CGadgetSkip kGadgetSkips[] = {
    {"DeviceDiscovery.CountsOnlyOpenableInterfacesWithBothIds",
     "three devices at once and files only the emulator bus has; GadgetLink covers other ids"},
    {"DeviceDiscovery.TwoDevicesAreListedByName",
     "the bus orders devices by label, the host by hidraw number"},
    {"DeviceDiscovery.ElevenDevicesCountElevenAndKeepTenPaths",
     "eleven devices at once; the guest has two gadgets"},
    {"DeviceDiscovery.ARelativeBusDirectoryGivesAbsolutePaths", "a matter of the emulator bus"},
    {"DeviceDiscovery.WithoutABusEmulatedDevicesAreNeitherFoundNorOpened",
     "a matter of the emulator bus"},
    {"DeviceDiscovery.LinksFifosAndOversizedAnnouncementsAreNoInterfaces",
     "a matter of the emulator bus"},
    {"DeviceDiscovery.ABusThatOthersMayWriteToIsIgnored", "a matter of the emulator bus"},
    {"StreamBus.*", "the emulator bus's tcp kind"},
    {"DeviceWire.MalformedAnswersAreTransferFailures",
     "USB carries no report id, and the gadget's driver cuts long reports: "
     "GadgetLink shows what the host makes of short, long and empty ones"},
    {"DeviceWire.AClosedChannelTransfersNothingAndClosesTwiceSafely", kNoHangUp},
    {"DeviceProtocol.ACommandThatCannotBeSentFailsOnItsAddressStep",
     "an answer the host has taken can still be lost when the device drops off right after "
     "it: hidapi's read gives up on the hang-up before it reads what hidraw holds; "
     "GadgetLink pulls the device while the tool waits instead"},
    {"DocumentDeviceReads.AProtocolFailureIsShownAfterTheChannelIsClosed", kNoHangUp},
    {"DocumentDeviceReads.AFailedCourseDateReadIsShownAndLeavesTheDocumentAsItWas", kNoHangUp},
};

}  // namespace

std::string GadgetSkipReason() {
    if (!GadgetTransport()) {
        return {};
    }
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (info == nullptr) {
        return {};
    }
    const std::string suite = info->test_suite_name();
    const std::string test = suite + "." + info->name();
    for (const CGadgetSkip& skip : kGadgetSkips) {
        if (skip.test == test || skip.test == suite + ".*") {
            return "on a gadget: " + std::string(skip.why);
        }
    }
    return {};
}

}  // namespace teelink
