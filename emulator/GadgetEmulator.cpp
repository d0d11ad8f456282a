// The emulated device on the device end of a USB HID gadget: the same
// commands, faults and inspection files as on the emulator bus, with the
// host's real USB stack (and the tool's hidapi backend) on the other side.
#include <chrono>
#include <cstdlib>
#include <string_view>

#ifndef _WIN32
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "emulator/DeviceCommands.h"
#include "emulator/DeviceEmulator.h"
#include "emulator/EmulatorSession.h"
#include "emulator/GadgetPort.h"

namespace teelink {

std::vector<std::string> GadgetsFromEnvironment() {
    std::vector<std::string> nodes;
    const char* listed = std::getenv("TEELINK_EMULATOR_GADGETS");
    std::string_view rest = listed != nullptr ? listed : "";
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        if (const std::string_view node = rest.substr(0, comma); !node.empty()) {
            nodes.emplace_back(node);
        }
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    if (nodes.empty()) {
        nodes.emplace_back("/dev/hidg0");
    }
    return nodes;
}

bool CDeviceEmulator::PlugGadget(std::string& error) {
    m_gadget = CGadgetPort::Claim(m_config.gadgets, error);
    if (!m_gadget) {
        return false;
    }
    if (!m_gadget->Plug(m_config.vendorId, m_config.productId, error)) {
        m_gadget.reset();
        return false;
    }
    m_socketPath = m_gadget->Node();
    m_hostPath = m_gadget->HostPath();
    std::lock_guard lock(m_mutex);
    m_watchFd = m_gadget->Fd();
    m_idle = false;
    return true;
}

// One session from plugging in to pulling out: the host's USB stack shows the
// device nothing of the tool opening and closing it.
void CDeviceEmulator::RunGadget() {
    {
        CSession session(*this, m_gadget->Fd());
        if (CCommands(*this, session).ServeAll()) {
            session.Flush();
            m_unplugRequested = true;
        }
        SetIdle(true, session.CarriedSinceIdle());
    }
    if (m_stopRequested) {
        return;  // Stop pulls it out
    }
    // Pulled out: asked to, by the fault plan, or by whoever unbound the gadget.
    WithdrawSocket();
    for (;;) {
        loopback::PollEntry wake{m_wakeWait, loopback::kReadable, 0};
        if (loopback::Poll(&wake, 1, -1) < 0) {
            return;
        }
        if (wake.revents & loopback::kReadable) {
            loopback::Drain(m_wakeWait);
        }
        if (m_stopRequested) {
            return;
        }
    }
}

void CDeviceEmulator::PullGadget() {
    if (!m_gadget) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_watchFd = -1;
    }
    m_gadget.reset();  // unbinds, and another device may take the gadget
}

bool CDeviceEmulator::GadgetBound() const {
    return m_gadget && m_gadget->Bound();
}

void CDeviceEmulator::SetIdle(bool idle, bool carried) {
    std::lock_guard lock(m_mutex);
    if (idle && carried) {
        ++m_status.sessionsEnded;
    }
    m_idle = idle;
    m_changed.notify_all();
}

bool CDeviceEmulator::SettledLocked() const {
    if (!m_status.plugged || m_watchFd < 0) {
        return true;  // nothing more will be served
    }
    if (!m_idle) {
        return false;
    }
#ifdef _WIN32
    return true;
#else
    // What the tool wrote is in the node before its write returns: a command
    // sent but not yet read is seen here.
    pollfd entry{m_watchFd, POLLIN, 0};
    return poll(&entry, 1, 0) == 0;
#endif
}

#ifdef _WIN32

CDeviceEmulator::Io CDeviceEmulator::CSession::ReceiveGadgetReport(uint8_t (&)[REPORT_SIZE]) {
    return Io::Closed;
}

CDeviceEmulator::Io CDeviceEmulator::CSession::SendGadgetReport(const uint8_t*) {
    return Io::Closed;
}

void CDeviceEmulator::CSession::Flush() {}

#else

CDeviceEmulator::Io CDeviceEmulator::CSession::ReceiveGadgetReport(
    uint8_t (&message)[REPORT_SIZE]) {
    for (;;) {
        const ssize_t got = read(m_socket, message + 1, REPORT_PAYLOAD_SIZE);
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (m_command) {
                m_owner.SetIdle(true, m_carriedSinceIdle);
                m_carriedSinceIdle = false;
            }
            const Io io = WaitFor(loopback::kReadable);
            if (m_command) {
                m_owner.SetIdle(false, false);
            }
            if (io != Io::Ok) {
                return io;
            }
            continue;
        }
        if (got <= 0) {
            return Io::Closed;  // the host disabled the function
        }
        m_carried = m_carriedSinceIdle = true;
        message[0] = 0;
        if (got == static_cast<ssize_t>(REPORT_PAYLOAD_SIZE)) {
            return Io::Ok;
        }
        IgnoreReport(static_cast<long>(got));
    }
}

CDeviceEmulator::Io CDeviceEmulator::CSession::SendGadgetReport(
    const uint8_t payload[REPORT_PAYLOAD_SIZE]) {
    Pace();
    for (;;) {
        // The node holds one report until the host has fetched it; the next
        // write waits for that, as an interrupt endpoint's one buffer does.
        const ssize_t sent = write(m_socket, payload, REPORT_PAYLOAD_SIZE);
        if (sent == static_cast<ssize_t>(REPORT_PAYLOAD_SIZE)) {
            m_carried = m_carriedSinceIdle = true;
            Transferred();
            return Io::Ok;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (const Io io = WaitFor(loopback::kWritable); io != Io::Ok) {
                return io;
            }
            continue;
        }
        return Io::Closed;
    }
}

void CDeviceEmulator::CSession::Flush() {
    if (!Gadget()) {
        return;
    }
    // A host that stopped reading must not keep the device in forever.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < deadline) {
        loopback::PollEntry entries[2] = {{m_owner.m_wakeWait, loopback::kReadable, 0},
                                          {m_socket, loopback::kWritable, 0}};
        if (loopback::Poll(entries, 2, kGadgetCheckMs) < 0 ||
            (entries[1].revents & loopback::kWritable) ||
            ((entries[0].revents & loopback::kReadable) && m_owner.WakeRequested())) {
            return;
        }
    }
}

#endif

}  // namespace teelink
