#pragma once

// The emulator's side of one connection (internal to emulator/).

#include <chrono>

#include "device/DeviceBackend.h"
#include "device/LoopbackSocket.h"
#include "emulator/DeviceEmulator.h"

namespace teelink {

// Whole reports, paced, and interrupted by a stop or unplug request. On a
// sequenced-packet socket every report is one message; on tcp the connection
// first sends the device's token, then reports as frames of REPORT_SIZE bytes.
class CDeviceEmulator::CSession {
public:
    CSession(CDeviceEmulator& owner, loopback::Socket socket);

    // Whether the connection may talk to the device: on tcp, only one that
    // sent the right token. Probes that only connect are refused quietly.
    bool Admitted() const { return m_admitted; }
    // True once a report went either way: probes that only connect are no session.
    bool Carried() const { return m_carried; }

    Io Receive(uint8_t payload[REPORT_PAYLOAD_SIZE]);
    Io Send(const uint8_t payload[REPORT_PAYLOAD_SIZE]);
    // Neither sends nor takes anything until the tool hangs up.
    Io Stall();
    // From now on the tool's writes fail, as they do on a device that has
    // gone; what the device still sends stays readable.
    void StopTaking();

private:
    bool Stream() const { return m_owner.m_config.transport == emubus::Kind::Tcp; }
    // Reads exactly `size` bytes of the stream.
    Io ReceiveExactly(uint8_t* bytes, size_t size);
    Io ReceiveMessage(uint8_t (&message)[REPORT_SIZE]);
    // Waits for the wake-up or `events` on the connection; false when polling fails.
    bool Poll(short events, loopback::PollEntry (&entries)[2]);
    Io WaitFor(short events);
    // Sleeps until the transfer's slot.
    void Pace();
    void Transferred();

    CDeviceEmulator& m_owner;
    loopback::Socket m_socket;
    bool m_admitted = true;
    bool m_carried = false;
    // Whether the current transfer had to wait for the connection.
    bool m_waited = false;
    std::chrono::steady_clock::time_point m_nextSlot{};
};

}  // namespace teelink
