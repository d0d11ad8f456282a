#pragma once

// How the emulated device meets the tool (internal to emulator/). A transport
// makes the device appear (a bus file, or a plugged-in gadget) and hands out
// its connections; a link moves one connection's reports. The device and its
// sessions see only these two, so the kind of transport is decided once, when
// the device starts (MakeEmulatorTransport).

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "device/DeviceBackend.h"
#include "device/LoopbackSocket.h"
#include "emulator/DeviceEmulator.h"

namespace teelink {

// How a transfer ended: done, the connection gone, or the device asked to
// stop or unplug.
enum class LinkIo { Ok, Closed, Stopped };

// The session that drives a link: a link waits through it, so that a stop or
// unplug request ends the wait whatever the connection is.
class ILinkWaiter {
public:
    // Until the connection is ready for `events` or hung up (Ok: the transfer
    // itself tells which), or the device is asked to stop or unplug.
    virtual LinkIo WaitFor(short events) = 0;
    // Until the connection is ready for `events`, a stop or unplug request, or
    // `limit`, whichever comes first.
    virtual void WaitAtMost(short events, std::chrono::milliseconds limit) = 0;
    // The tool sent a report of `size` bytes, which the device ignores.
    virtual void Ignored(long size) = 0;

protected:
    ~ILinkWaiter() = default;
};

// One connection between the device and the tool. Reports are REPORT_SIZE
// bytes with the report id at 0, whatever the connection carries.
class CEmulatorLink {
public:
    virtual ~CEmulatorLink() = default;

    // What polls wait on for this connection.
    virtual loopback::Socket Handle() const = 0;
    // Whether the connection may talk to the device at all.
    virtual bool Admit(ILinkWaiter&) { return true; }
    // The next report of the right size; reports of another size go to Ignored.
    virtual LinkIo Receive(uint8_t (&message)[REPORT_SIZE], ILinkWaiter& waiter) = 0;
    virtual LinkIo Send(const uint8_t (&message)[REPORT_SIZE], ILinkWaiter& waiter) = 0;
    // Waits until the tool has taken the report sent last, where a report can
    // still be on its way once sent; sockets keep it for the tool to read.
    virtual void Flush(ILinkWaiter&) {}
    // From now on the tool's writes fail, as they do on a device that has gone.
    virtual void StopTaking() {}
    // What a stalled device waits for on the connection, and whether what came
    // is the tool hanging up.
    virtual short HangUpEvents() const { return 0; }
    virtual bool HungUp(short revents) const { return (revents & loopback::kHangUp) != 0; }
    // False where the device cannot see the tool hang up: a session then ends
    // each time the device, having moved reports, waits for a command with
    // none to read.
    virtual bool SeesHangUp() const { return true; }
    // A connection that gives no sign when it goes is looked at this often
    // (-1: it gives one), and ends when no longer present.
    virtual int CheckIntervalMs() const { return -1; }
    virtual bool Present() const { return true; }
    // Ends the connection; `pulledOut` when the device is going with it.
    virtual void End(bool /*pulledOut*/) {}
};

// Where the device is, and where its connections come from. Used by one
// thread at a time: the device's serving thread while it runs.
class CEmulatorTransport {
public:
    virtual ~CEmulatorTransport() = default;

    // Makes the device appear; false with the reason in `error`.
    virtual bool Open(const CEmulatorConfig& config, std::string& error) = 0;
    // Makes it disappear; safe to call twice.
    virtual void Withdraw() = 0;
    // The bus file, or the gadget's device node.
    virtual const std::string& Where() const = 0;
    // The device as the tool's device list shows it.
    virtual std::string DevicePath() const = 0;
    // The host's own node of the device, or "" where the tool reaches it
    // through Where() itself.
    virtual std::string HostPath() const { return {}; }

    // The next connection when one is at hand, without waiting; null otherwise.
    virtual std::unique_ptr<CEmulatorLink> Accept() = 0;
    // What to wait on for the next connection; kNoSocket when nothing is.
    virtual loopback::Socket Listener() const { return loopback::kNoSocket; }
    // Whether another connection can still come: a device nobody can reach
    // any more is pulled out.
    virtual bool Reachable() const = 0;
    // Where the tool's reports wait until the device reads them, for seeing
    // a command sent but not yet served; -1 where a session ends with its
    // connection and nothing needs to be seen.
    virtual int PendingFd() const { return -1; }
};

std::unique_ptr<CEmulatorTransport> MakeEmulatorTransport(EmulatorTransport kind);

}  // namespace teelink
