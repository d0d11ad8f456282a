#pragma once

// The device end of a Linux USB HID gadget (configfs, function "hid"): the
// emulated device as the tool meets a real one, through the host's USB stack.
// Plugging in binds the gadget to a free USB device controller, and the
// function's /dev/hidgN node then carries the reports: 64 bytes each way,
// without a report id. Pulling out unbinds it. The gadget itself (ids,
// configuration, report descriptor, report length 64) is made beforehand by
// whoever sets up the machine; this class only plugs and moves reports.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace teelink {

class CGadgetPort {
public:
    // Takes the first of `nodes` (/dev/hidgN names; a node exists only while
    // its gadget is bound) whose gadget nobody uses: not taken by this process
    // and not bound to a controller. Null, with the reason in `error`, when
    // none is free or the machine has no such gadget.
    static std::unique_ptr<CGadgetPort> Claim(const std::vector<std::string>& nodes,
                                              std::string& error);
    ~CGadgetPort();  // pulls the device out if it is in, and gives the gadget back
    CGadgetPort(const CGadgetPort&) = delete;
    CGadgetPort& operator=(const CGadgetPort&) = delete;

    // Gives the gadget these ids, binds it to a free controller, opens its node
    // (non-blocking) and, when the controller is one side of the dummy host
    // controller, waits until the host has made its hidraw node.
    bool Plug(uint16_t vendorId, uint16_t productId, std::string& error);
    // Closes the node and unbinds the gadget; on the dummy host controller
    // returns once the host's node has gone.
    void Pull();
    // False once the gadget is unbound, by Pull or by anyone else.
    bool Bound() const;

    int Fd() const { return m_fd; }
    const std::string& Node() const { return m_node; }
    // The host's node of this device (/dev/hidrawN) when the host is this
    // machine's dummy host controller; "" otherwise.
    const std::string& HostPath() const { return m_hostPath; }

private:
    CGadgetPort(std::string node, std::string gadgetDir);
    bool BindToFreeController(std::string& error);

    std::string m_node;
    std::string m_gadgetDir;  // /sys/kernel/config/usb_gadget/NAME
    std::string m_controller;
    std::string m_hostPath;
    int m_fd = -1;
};

}  // namespace teelink
