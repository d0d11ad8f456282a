#include "emulator/EmulatorSession.h"

#include <cstring>
#include <thread>

namespace teelink {

CDeviceEmulator::CSession::CSession(CDeviceEmulator& owner, CEmulatorLink& link)
    : m_owner(owner), m_link(link) {
    m_admitted = m_link.Admit(*this);
}

void CDeviceEmulator::CSession::Ignored(long size) {
    m_carriedSinceIdle = true;
    Transferred();
    CCommandRecord record;
    record.outcome = "ignored: report of " + std::to_string(size) + " bytes";
    m_owner.Record(std::move(record));
    Pace();
}

CDeviceEmulator::Io CDeviceEmulator::CSession::Receive(uint8_t payload[REPORT_PAYLOAD_SIZE]) {
    Pace();
    uint8_t message[REPORT_SIZE];
    if (const Io io = m_link.Receive(message, *this); io != Io::Ok) {
        return io;
    }
    m_carriedSinceIdle = true;
    Transferred();
    std::memcpy(payload, message + 1, REPORT_PAYLOAD_SIZE);
    return Io::Ok;
}

CDeviceEmulator::Io CDeviceEmulator::CSession::ReceiveCommand(
    uint8_t payload[REPORT_PAYLOAD_SIZE]) {
    m_command = true;
    const Io io = Receive(payload);
    m_command = false;
    return io;
}

CDeviceEmulator::Io CDeviceEmulator::CSession::Send(const uint8_t payload[REPORT_PAYLOAD_SIZE]) {
    uint8_t message[REPORT_SIZE] = {};
    std::memcpy(message + 1, payload, REPORT_PAYLOAD_SIZE);
    Pace();
    if (const Io io = m_link.Send(message, *this); io != Io::Ok) {
        return io;
    }
    m_carriedSinceIdle = true;
    Transferred();
    return Io::Ok;
}

CDeviceEmulator::Io CDeviceEmulator::CSession::Stall() {
    for (;;) {
        loopback::PollEntry entries[2];
        if (!Poll(m_link.HangUpEvents(), entries)) {
            return Io::Closed;
        }
        if ((entries[0].revents & loopback::kReadable) && m_owner.WakeRequested()) {
            return Io::Stopped;
        }
        if (m_link.HungUp(entries[1].revents)) {
            return Io::Closed;
        }
        if (entries[1].revents & loopback::kReadable) {
            // What the tool still sends stays unread, as a stalled device
            // leaves it; only its hanging up is looked for.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

bool CDeviceEmulator::CSession::Poll(short events, loopback::PollEntry (&entries)[2]) {
    entries[0] = {m_owner.m_wakeWait, loopback::kReadable, 0};
    entries[1] = {m_link.Handle(), events, 0};
    for (;;) {
        const int ready = loopback::Poll(entries, 2, m_link.CheckIntervalMs());
        if (ready != 0) {
            return ready > 0;
        }
        if (!m_link.Present()) {
            return false;
        }
    }
}

// Where the device cannot see the tool hang up, its waiting for a command
// that has not come ends a session.
CDeviceEmulator::Io CDeviceEmulator::CSession::WaitFor(short events) {
    if (!m_command || m_link.SeesHangUp()) {
        return WaitForLink(events);
    }
    m_owner.SetIdle(true, m_carriedSinceIdle);
    m_carriedSinceIdle = false;
    const Io io = WaitForLink(events);
    m_owner.SetIdle(false, false);
    return io;
}

CDeviceEmulator::Io CDeviceEmulator::CSession::WaitForLink(short events) {
    m_waited = true;
    for (;;) {
        loopback::PollEntry entries[2];
        if (!Poll(events, entries)) {
            return Io::Closed;
        }
        // Unplugging is immediate; a stop first lets the device finish what
        // the tool has already sent, such as a last end command.
        if ((entries[0].revents & loopback::kReadable) && m_owner.m_unplugRequested) {
            return Io::Stopped;
        }
        if (entries[1].revents != 0) {
            return Io::Ok;  // ready, or hung up: the transfer itself tells
        }
        if ((entries[0].revents & loopback::kReadable) && m_owner.m_stopRequested) {
            return Io::Stopped;
        }
    }
}

void CDeviceEmulator::CSession::WaitAtMost(short events, std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + limit;
    for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        loopback::PollEntry entries[2] = {{m_owner.m_wakeWait, loopback::kReadable, 0},
                                          {m_link.Handle(), events, 0}};
        if (loopback::Poll(entries, 2, static_cast<int>(left.count())) < 0 ||
            (entries[1].revents & events) ||
            ((entries[0].revents & loopback::kReadable) && m_owner.WakeRequested())) {
            return;
        }
    }
}

// At most one report per interval, whichever direction it goes.
void CDeviceEmulator::CSession::Pace() {
    m_waited = false;
    if (m_owner.m_config.reportIntervalUs == 0) {
        return;
    }
    std::this_thread::sleep_until(m_nextSlot);
}

void CDeviceEmulator::CSession::Transferred() {
    if (m_owner.m_config.reportIntervalUs == 0) {
        return;
    }
    // Slots keep to a fixed grid, as USB frames do: the bus's frame clock runs
    // whether or not anyone is ready. A transfer that was already waiting when
    // this thread woke took its frame, even when the wake-up came late (the
    // emulator's own scheduling is no part of the device), and the frames after
    // it keep their times, so the device catches up. A transfer that had to be
    // waited for takes the next frame that has not begun yet. A connection's
    // grid starts with its first report.
    const auto now = std::chrono::steady_clock::now();
    const auto interval = std::chrono::microseconds(m_owner.m_config.reportIntervalUs);
    if (m_nextSlot == std::chrono::steady_clock::time_point{}) {
        m_nextSlot = now;
    }
    m_nextSlot += interval;
    if (m_waited && m_nextSlot <= now) {
        m_nextSlot += ((now - m_nextSlot) / interval + 1) * interval;
    }
}

}  // namespace teelink
