#pragma once

// The device end of a Linux USB HID gadget as a transport (internal to
// emulator/): the same commands, faults and inspection files as on the
// emulator bus, with the host's real USB stack (and the tool's hidapi backend)
// on the other side.

#include "emulator/EmulatorTransport.h"
#include "emulator/GadgetPort.h"

namespace teelink {

// One connection from plugging in to pulling out: the host's USB stack shows
// the device nothing of the tool opening and closing it.
class CGadgetTransport : public CEmulatorTransport {
public:
    bool Open(const CEmulatorConfig& config, std::string& error) override;
    void Withdraw() override { m_port.reset(); }  // unbinds; another device may take it
    const std::string& Where() const override { return m_node; }
    // The host's hidraw node: the gadget is found like a real device.
    std::string DevicePath() const override { return m_hostPath; }
    std::string HostPath() const override { return m_hostPath; }
    std::unique_ptr<CEmulatorLink> Accept() override;
    bool Reachable() const override { return m_port && !m_linked; }
    int PendingFd() const override { return m_port ? m_port->Fd() : -1; }

private:
    std::unique_ptr<CGadgetPort> m_port;
    // Kept past pulling out, as the device's paths are.
    std::string m_node;
    std::string m_hostPath;
    bool m_linked = false;  // the one connection has been handed out
};

}  // namespace teelink
