#pragma once

// The emulator's side of one connection (internal to emulator/).

#include <poll.h>

#include <chrono>

#include "device/DeviceBackend.h"
#include "emulator/DeviceEmulator.h"

// Whole reports, paced, and interrupted by a stop or unplug request.
class CDeviceEmulator::CSession {
public:
    CSession(CDeviceEmulator& owner, int fd) : m_owner(owner), m_fd(fd) {}

    // True once a report went either way: probes that only connect are no session.
    bool Carried() const { return m_carried; }

    Io Receive(uint8_t payload[REPORT_PAYLOAD_SIZE]);
    Io Send(const uint8_t payload[REPORT_PAYLOAD_SIZE]);
    // Neither sends nor takes anything until the tool hangs up.
    Io Stall();
    // From now on the tool's writes fail at once, as they do on a device that
    // has gone; what the device still sends stays readable.
    void StopTaking();

private:
    // Waits for the wake pipe or `events` on the connection; false when poll fails.
    bool Poll(short events, pollfd (&fds)[2]);
    Io WaitFor(short events);
    void Pace();
    void Transferred();

    CDeviceEmulator& m_owner;
    int m_fd;
    bool m_carried = false;
    std::chrono::steady_clock::time_point m_nextSlot{};
};
