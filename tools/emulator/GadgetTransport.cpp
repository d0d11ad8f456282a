#include "emulator/GadgetTransport.h"

#include <cstdlib>
#include <string_view>

#ifndef _WIN32
#include <unistd.h>

#include <cerrno>
#endif

namespace teelink {

namespace {

// A gadget's node gives no sign when someone else unbinds the gadget: its
// reads and writes just never complete. The binding is looked at now and then.
constexpr int kGadgetCheckMs = 200;
// A host that stopped reading must not keep the device in forever.
constexpr auto kFlushLimit = std::chrono::seconds(2);

// Every report is one read or write of its 64 payload bytes on the node: USB
// carries no report id for a device without numbered reports.
class CGadgetLink : public CEmulatorLink {
public:
    explicit CGadgetLink(const CGadgetPort& port) : m_port(port) {}

    loopback::Socket Handle() const override { return static_cast<loopback::Socket>(m_port.Fd()); }
    LinkIo Receive(uint8_t (&message)[REPORT_SIZE], ILinkWaiter& waiter) override;
    LinkIo Send(const uint8_t (&message)[REPORT_SIZE], ILinkWaiter& waiter) override;
    // The node holds one report until the host has fetched it.
    void Flush(ILinkWaiter& waiter) override {
        waiter.WaitAtMost(loopback::kWritable, kFlushLimit);
    }
    // Nothing to do: the unplug that follows makes the tool's writes fail.
    void StopTaking() override {}
    bool SeesHangUp() const override { return false; }
    int CheckIntervalMs() const override { return kGadgetCheckMs; }
    bool Present() const override { return m_port.Bound(); }

private:
    const CGadgetPort& m_port;
};

#ifdef _WIN32

LinkIo CGadgetLink::Receive(uint8_t (&)[REPORT_SIZE], ILinkWaiter&) {
    return LinkIo::Closed;
}

LinkIo CGadgetLink::Send(const uint8_t (&)[REPORT_SIZE], ILinkWaiter&) {
    return LinkIo::Closed;
}

#else

LinkIo CGadgetLink::Receive(uint8_t (&message)[REPORT_SIZE], ILinkWaiter& waiter) {
    for (;;) {
        const ssize_t got = read(m_port.Fd(), message + 1, REPORT_PAYLOAD_SIZE);
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (const LinkIo io = waiter.WaitFor(loopback::kReadable); io != LinkIo::Ok) {
                return io;
            }
            continue;
        }
        if (got <= 0) {
            return LinkIo::Closed;  // the host disabled the function
        }
        message[0] = 0;
        if (got == static_cast<ssize_t>(REPORT_PAYLOAD_SIZE)) {
            return LinkIo::Ok;
        }
        waiter.Ignored(static_cast<long>(got));
    }
}

LinkIo CGadgetLink::Send(const uint8_t (&message)[REPORT_SIZE], ILinkWaiter& waiter) {
    for (;;) {
        // The node holds one report until the host has fetched it; the next
        // write waits for that, as an interrupt endpoint's one buffer does.
        const ssize_t sent = write(m_port.Fd(), message + 1, REPORT_PAYLOAD_SIZE);
        if (sent == static_cast<ssize_t>(REPORT_PAYLOAD_SIZE)) {
            return LinkIo::Ok;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (const LinkIo io = waiter.WaitFor(loopback::kWritable); io != LinkIo::Ok) {
                return io;
            }
            continue;
        }
        return LinkIo::Closed;
    }
}

#endif

}  // namespace

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

bool CGadgetTransport::Open(const CEmulatorConfig& config, std::string& error) {
    m_port = CGadgetPort::Claim(config.gadgets, error);
    if (!m_port) {
        return false;
    }
    if (!m_port->Plug(config.vendorId, config.productId, error)) {
        m_port.reset();
        return false;
    }
    m_node = m_port->Node();
    m_hostPath = m_port->HostPath();
    m_linked = false;
    return true;
}

std::unique_ptr<CEmulatorLink> CGadgetTransport::Accept() {
    if (!Reachable()) {
        return nullptr;
    }
    m_linked = true;
    return std::make_unique<CGadgetLink>(*m_port);
}

}  // namespace teelink
