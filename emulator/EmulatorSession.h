#pragma once

// The emulator's side of one connection (internal to emulator/).

#include <chrono>

#include "device/DeviceBackend.h"
#include "device/LoopbackSocket.h"
#include "emulator/DeviceEmulator.h"

namespace teelink {

// Whole reports, paced, and interrupted by a stop or unplug request. On a
// sequenced-packet socket every report is one message; on tcp the connection
// first sends the device's token, then reports as frames of REPORT_SIZE bytes;
// on a gadget's node every report is one read or write of its 64 payload
// bytes (USB carries no report id for a device without numbered reports), and
// the session lasts from plugging in to pulling out.
class CDeviceEmulator::CSession {
public:
    CSession(CDeviceEmulator& owner, loopback::Socket socket);

    // Whether the connection may talk to the device: on tcp, only one that
    // sent the right token. Probes that only connect are refused quietly.
    bool Admitted() const { return m_admitted; }
    // True once a report went either way: probes that only connect are no session.
    bool Carried() const { return m_carried; }
    bool CarriedSinceIdle() const { return m_carriedSinceIdle; }

    Io Receive(uint8_t payload[REPORT_PAYLOAD_SIZE]);
    // The next command: the device is idle while it waits for one.
    Io ReceiveCommand(uint8_t payload[REPORT_PAYLOAD_SIZE]);
    Io Send(const uint8_t payload[REPORT_PAYLOAD_SIZE]);
    // Waits until the tool has taken the report sent last: a device that is
    // about to drop off answers first. Only a gadget's report can still be
    // on its way; the sockets keep what was sent for the tool to read.
    void Flush();
    // Neither sends nor takes anything until the tool hangs up.
    Io Stall();
    // From now on the tool's writes fail, as they do on a device that has
    // gone; what the device still sends stays readable.
    void StopTaking();

private:
    bool Stream() const { return m_owner.m_config.transport == EmulatorTransport::Tcp; }
    bool Gadget() const { return m_owner.m_config.transport == EmulatorTransport::Gadget; }
    Io ReceiveGadgetReport(uint8_t (&message)[REPORT_SIZE]);
    Io SendGadgetReport(const uint8_t payload[REPORT_PAYLOAD_SIZE]);
    void IgnoreReport(long size);
    static constexpr int kGadgetCheckMs = 200;
    // Reads exactly `size` bytes of the stream.
    Io ReceiveExactly(uint8_t* bytes, size_t size);
    Io ReceiveMessage(uint8_t (&message)[REPORT_SIZE]);
    // Waits for the wake-up or `events` on the connection; false when polling
    // fails, or when a gadget has been unbound by anyone else.
    bool Poll(short events, loopback::PollEntry (&entries)[2]);
    Io WaitFor(short events);
    // Sleeps until the transfer's slot.
    void Pace();
    void Transferred();

    CDeviceEmulator& m_owner;
    loopback::Socket m_socket;
    bool m_admitted = true;
    bool m_carried = false;
    bool m_carriedSinceIdle = false;
    bool m_command = false;  // the report awaited is a command
    // Whether the current transfer had to wait for the connection.
    bool m_waited = false;
    std::chrono::steady_clock::time_point m_nextSlot{};
};

}  // namespace teelink
