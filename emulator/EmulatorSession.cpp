#include "emulator/EmulatorSession.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace {

bool WouldBlock() {
    return errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK;
}

}  // namespace

CDeviceEmulator::Io CDeviceEmulator::CSession::Receive(uint8_t payload[REPORT_PAYLOAD_SIZE]) {
    for (;;) {
        Pace();
        if (const Io io = WaitFor(POLLIN); io != Io::Ok) {
            return io;
        }
        uint8_t message[REPORT_SIZE];
        const ssize_t got = recv(m_fd, message, sizeof message, MSG_DONTWAIT | MSG_TRUNC);
        if (got < 0 && WouldBlock()) {
            continue;
        }
        if (got <= 0) {
            return Io::Closed;
        }
        m_carried = true;
        Transferred();
        if (got != static_cast<ssize_t>(REPORT_SIZE)) {
            CCommandRecord record;
            record.outcome = "ignored: report of " + std::to_string(got) + " bytes";
            m_owner.Record(std::move(record));
            continue;
        }
        std::memcpy(payload, message + 1, REPORT_PAYLOAD_SIZE);
        return Io::Ok;
    }
}

CDeviceEmulator::Io CDeviceEmulator::CSession::Send(const uint8_t payload[REPORT_PAYLOAD_SIZE]) {
    uint8_t message[REPORT_SIZE] = {};
    std::memcpy(message + 1, payload, REPORT_PAYLOAD_SIZE);
    for (;;) {
        Pace();
        const ssize_t sent = send(m_fd, message, sizeof message, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent == static_cast<ssize_t>(sizeof message)) {
            Transferred();
            return Io::Ok;
        }
        if (sent >= 0 || !WouldBlock()) {
            return Io::Closed;
        }
        if (const Io io = WaitFor(POLLOUT); io != Io::Ok) {
            return io;
        }
    }
}

CDeviceEmulator::Io CDeviceEmulator::CSession::Stall() {
    for (;;) {
        pollfd fds[2];
        if (!Poll(0, fds)) {
            return Io::Closed;
        }
        if ((fds[0].revents & POLLIN) && m_owner.WakeRequested()) {
            return Io::Stopped;
        }
        if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            return Io::Closed;
        }
    }
}

void CDeviceEmulator::CSession::StopTaking() {
    shutdown(m_fd, SHUT_RD);
}

bool CDeviceEmulator::CSession::Poll(short events, pollfd (&fds)[2]) {
    for (;;) {
        fds[0] = {m_owner.m_wakeRead, POLLIN, 0};
        fds[1] = {m_fd, events, 0};
        if (poll(fds, 2, -1) >= 0) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

CDeviceEmulator::Io CDeviceEmulator::CSession::WaitFor(short events) {
    for (;;) {
        pollfd fds[2];
        if (!Poll(events, fds)) {
            return Io::Closed;
        }
        // Unplugging is immediate; a stop first lets the device finish what
        // the tool has already sent, such as a last end command.
        if ((fds[0].revents & POLLIN) && m_owner.m_unplugRequested) {
            return Io::Stopped;
        }
        if (fds[1].revents != 0) {
            return Io::Ok;  // ready, or hung up: the transfer itself tells
        }
        if ((fds[0].revents & POLLIN) && m_owner.m_stopRequested) {
            return Io::Stopped;
        }
    }
}

// At most one report per interval, whichever direction it goes.
void CDeviceEmulator::CSession::Pace() {
    if (m_owner.m_config.reportIntervalUs == 0) {
        return;
    }
    std::this_thread::sleep_until(m_nextSlot);
}

void CDeviceEmulator::CSession::Transferred() {
    if (m_owner.m_config.reportIntervalUs == 0) {
        return;
    }
    // Slots keep to a fixed grid while reports stream, as USB frames do, so a
    // late wake-up does not push every later report back; after a pause the
    // grid starts again from now.
    const auto now = std::chrono::steady_clock::now();
    const auto interval = std::chrono::microseconds(m_owner.m_config.reportIntervalUs);
    m_nextSlot += interval;
    if (m_nextSlot <= now) {
        m_nextSlot = now + interval;
    }
}
