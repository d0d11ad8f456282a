#include "emulator/EmulatorSession.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>

#include <cerrno>
#endif

#include <cstring>
#include <thread>

namespace teelink {

CDeviceEmulator::CSession::CSession(CDeviceEmulator& owner, loopback::Socket socket)
    : m_owner(owner), m_socket(socket) {
    if (Stream()) {
        uint8_t token[emubus::kTokenSize];
        m_admitted = ReceiveExactly(token, sizeof token) == Io::Ok &&
                     std::memcmp(token, m_owner.m_token.data(), sizeof token) == 0;
    }
}

CDeviceEmulator::Io CDeviceEmulator::CSession::ReceiveExactly(uint8_t* bytes, size_t size) {
    Io io = Io::Ok;
    size_t have = 0;
    const loopback::Moved moved = loopback::ReceiveAll(m_socket, bytes, size, have, [&] {
        io = WaitFor(loopback::kReadable);
        return io == Io::Ok;
    });
    return moved == loopback::Moved::All      ? Io::Ok
           : moved == loopback::Moved::GaveUp ? io
                                              : Io::Closed;
}

CDeviceEmulator::Io CDeviceEmulator::CSession::ReceiveMessage(uint8_t (&message)[REPORT_SIZE]) {
    if (Stream()) {
        return ReceiveExactly(message, REPORT_SIZE);
    }
    if (Gadget()) {
        return ReceiveGadgetReport(message);
    }
#ifdef _WIN32
    return Io::Closed;
#else
    for (;;) {
        const ssize_t got = recv(m_socket, message, sizeof message, MSG_DONTWAIT | MSG_TRUNC);
        if (got < 0 && loopback::WouldBlock()) {
            if (const Io io = WaitFor(loopback::kReadable); io != Io::Ok) {
                return io;
            }
            continue;
        }
        if (got <= 0) {
            return Io::Closed;
        }
        m_carried = true;
        if (got == static_cast<ssize_t>(REPORT_SIZE)) {
            return Io::Ok;
        }
        IgnoreReport(static_cast<long>(got));
    }
#endif
}

void CDeviceEmulator::CSession::IgnoreReport(long size) {
    Transferred();
    CCommandRecord record;
    record.outcome = "ignored: report of " + std::to_string(size) + " bytes";
    m_owner.Record(std::move(record));
    Pace();
}

CDeviceEmulator::Io CDeviceEmulator::CSession::Receive(uint8_t payload[REPORT_PAYLOAD_SIZE]) {
    Pace();
    uint8_t message[REPORT_SIZE];
    if (const Io io = ReceiveMessage(message); io != Io::Ok) {
        return io;
    }
    m_carried = true;
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
    if (Gadget()) {
        return SendGadgetReport(payload);
    }
    uint8_t message[REPORT_SIZE] = {};
    std::memcpy(message + 1, payload, REPORT_PAYLOAD_SIZE);
    Pace();
    // A packet socket takes the message whole or not at all; a stream may
    // take part of it.
    Io io = Io::Ok;
    size_t sent = 0;
    const loopback::Moved moved = loopback::SendAll(m_socket, message, sizeof message, sent, [&] {
        io = WaitFor(loopback::kWritable);
        return io == Io::Ok;
    });
    if (moved != loopback::Moved::All) {
        return moved == loopback::Moved::GaveUp ? io : Io::Closed;
    }
    Transferred();
    return Io::Ok;
}

CDeviceEmulator::Io CDeviceEmulator::CSession::Stall() {
    for (;;) {
        loopback::PollEntry entries[2];
        if (!Poll(Stream() ? loopback::kReadable : 0, entries)) {
            return Io::Closed;
        }
        if ((entries[0].revents & loopback::kReadable) && m_owner.WakeRequested()) {
            return Io::Stopped;
        }
        if (entries[1].revents & loopback::kHangUp) {
            return Io::Closed;
        }
        if (Stream() && (entries[1].revents & loopback::kReadable)) {
            // A stream tells a hang-up only by reading its end; what the tool
            // still sends is left unread, as a stalled device leaves it.
            uint8_t byte;
            if (recv(m_socket, reinterpret_cast<char*>(&byte), 1, MSG_PEEK) == 0) {
                return Io::Closed;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

void CDeviceEmulator::CSession::StopTaking() {
    if (Gadget()) {
        return;  // the unplug that follows makes the tool's writes fail
    }
#ifdef _WIN32
    shutdown(m_socket, SD_RECEIVE);
#else
    shutdown(m_socket, SHUT_RD);
#endif
}

bool CDeviceEmulator::CSession::Poll(short events, loopback::PollEntry (&entries)[2]) {
    entries[0] = {m_owner.m_wakeWait, loopback::kReadable, 0};
    entries[1] = {m_socket, events, 0};
    if (!Gadget()) {
        return loopback::Poll(entries, 2, -1) >= 0;
    }
    // A gadget's node gives no sign when someone else unbinds the gadget: its
    // reads and writes just never complete. The binding is looked at now and then.
    for (;;) {
        const int ready = loopback::Poll(entries, 2, kGadgetCheckMs);
        if (ready != 0) {
            return ready > 0;
        }
        if (!m_owner.GadgetBound()) {
            return false;
        }
    }
}

CDeviceEmulator::Io CDeviceEmulator::CSession::WaitFor(short events) {
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
