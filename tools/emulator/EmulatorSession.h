#pragma once

// The emulator's side of one connection (internal to emulator/).

#include <chrono>

#include "device/DeviceBackend.h"
#include "device/LoopbackSocket.h"
#include "emulator/DeviceEmulator.h"
#include "emulator/EmulatorTransport.h"

namespace teelink {

// Whole reports, paced, and interrupted by a stop or unplug request, on any
// link: the link moves the bytes, the session decides when to wait and what a
// transfer counts for.
class CDeviceEmulator::CSession final : public ILinkWaiter {
public:
    CSession(CDeviceEmulator& owner, CEmulatorLink& link);

    // Whether the connection may talk to the device (on tcp, only one that
    // sent the right token).
    bool Admitted() const { return m_admitted; }
    // True once a report went either way since the device was last idle:
    // probes that only connect are no session.
    bool CarriedSinceIdle() const { return m_carriedSinceIdle; }

    Io Receive(uint8_t payload[REPORT_PAYLOAD_SIZE]);
    // The next command: the device is idle while it waits for one.
    Io ReceiveCommand(uint8_t payload[REPORT_PAYLOAD_SIZE]);
    Io Send(const uint8_t payload[REPORT_PAYLOAD_SIZE]);
    // Waits until the tool has taken the report sent last: a device that is
    // about to drop off answers first.
    void Flush() { m_link.Flush(*this); }
    // Neither sends nor takes anything until the tool hangs up.
    Io Stall();
    // From now on the tool's writes fail, as they do on a device that has
    // gone; what the device still sends stays readable.
    void StopTaking() { m_link.StopTaking(); }

    LinkIo WaitFor(short events) override;
    void WaitAtMost(short events, std::chrono::milliseconds limit) override;
    void Ignored(long size) override;

private:
    // Waits for the wake-up or `events` on the connection; false when polling
    // fails, or when the connection is no longer there.
    bool Poll(short events, loopback::PollEntry (&entries)[2]);
    Io WaitForLink(short events);
    // Sleeps until the transfer's slot.
    void Pace();
    void Transferred();

    CDeviceEmulator& m_owner;
    CEmulatorLink& m_link;
    bool m_admitted = true;
    bool m_carriedSinceIdle = false;
    bool m_command = false;  // the report awaited is a command
    // Whether the current transfer had to wait for the connection.
    bool m_waited = false;
    std::chrono::steady_clock::time_point m_nextSlot{};
};

}  // namespace teelink
