#include "emulator/GadgetPort.h"

#ifdef __linux__

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

namespace teelink {

namespace fs = std::filesystem;

namespace {

constexpr const char* kGadgetRoot = "/sys/kernel/config/usb_gadget";
constexpr const char* kControllers = "/sys/class/udc";
constexpr const char* kHidrawClass = "/sys/class/hidraw";
// The dummy host controller's two sides share their number: dummy_udc.N is
// the device side of dummy_hcd.N.
constexpr std::string_view kDummyController = "dummy_udc.";
constexpr unsigned kReportLength = 64;

// Binding and the host's enumeration take a fraction of a second on a real
// machine and a few under full emulation; these only bound a broken set-up.
constexpr auto kNodeLimit = std::chrono::seconds(10);
constexpr auto kHostLimit = std::chrono::seconds(30);
constexpr auto kStep = std::chrono::milliseconds(10);

// Gadgets taken by this process: in-process devices take turns on the pool.
std::mutex g_claimMutex;
std::set<std::string> g_claimed;

std::string ReadLine(const fs::path& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// configfs takes an attribute in one write.
bool WriteAttribute(const fs::path& path, const std::string& text, int& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    const ssize_t written = write(fd, text.data(), text.size());
    error = written < 0 ? errno : 0;
    close(fd);
    return written == static_cast<ssize_t>(text.size());
}

std::optional<unsigned> HidgMajor() {
    std::ifstream devices("/proc/devices");
    std::string line;
    while (std::getline(devices, line)) {
        unsigned major = 0;
        char name[32] = {};
        if (std::sscanf(line.c_str(), "%u %31s", &major, name) == 2 &&
            std::strcmp(name, "hidg") == 0) {
            return major;
        }
    }
    return std::nullopt;
}

// The device number of a /dev/hidgN name: the node's own while it exists,
// otherwise the function's minor N with the driver's major.
std::optional<dev_t> NodeNumber(const std::string& node) {
    struct stat info {};
    if (stat(node.c_str(), &info) == 0 && S_ISCHR(info.st_mode)) {
        return info.st_rdev;
    }
    const std::string name = fs::path(node).filename().string();
    unsigned minor = 0;
    char tail = 0;
    const auto major = HidgMajor();
    if (!major || std::sscanf(name.c_str(), "hidg%u%c", &minor, &tail) != 1) {
        return std::nullopt;
    }
    return makedev(*major, minor);
}

// The gadget whose hid function has `number`, or "".
std::string GadgetOf(dev_t number) {
    std::error_code ec;
    for (const auto& gadget : fs::directory_iterator(kGadgetRoot, ec)) {
        for (const auto& function : fs::directory_iterator(gadget.path() / "functions", ec)) {
            unsigned major = 0;
            unsigned minor = 0;
            if (function.path().filename().string().rfind("hid.", 0) == 0 &&
                std::sscanf(ReadLine(function.path() / "dev").c_str(), "%u:%u", &major, &minor) ==
                    2 &&
                makedev(major, minor) == number) {
                return gadget.path().string();
            }
        }
    }
    return {};
}

std::string ReportLengthProblem(const std::string& gadgetDir) {
    std::error_code ec;
    for (const auto& function : fs::directory_iterator(fs::path(gadgetDir) / "functions", ec)) {
        if (function.path().filename().string().rfind("hid.", 0) == 0) {
            const std::string length = ReadLine(function.path() / "report_length");
            if (length != std::to_string(kReportLength)) {
                return function.path().string() + " has report_length " + length + ", not 64";
            }
        }
    }
    return {};
}

bool Free(const std::string& gadgetDir) {
    return g_claimed.count(gadgetDir) == 0 && ReadLine(fs::path(gadgetDir) / "UDC").empty();
}

// Controllers that no gadget is bound to, in name order.
std::vector<std::string> FreeControllers() {
    std::set<std::string> used;
    std::error_code ec;
    for (const auto& gadget : fs::directory_iterator(kGadgetRoot, ec)) {
        used.insert(ReadLine(gadget.path() / "UDC"));
    }
    std::vector<std::string> free;
    for (const auto& controller : fs::directory_iterator(kControllers, ec)) {
        const std::string name = controller.path().filename().string();
        if (used.count(name) == 0) {
            free.push_back(name);
        }
    }
    std::sort(free.begin(), free.end());
    return free;
}

// The host's hidraw node of the device on the other side of `controller`, or "".
std::string HostNodeOf(const std::string& controller) {
    if (controller.rfind(kDummyController, 0) != 0) {
        return {};
    }
    const std::string host = "/dummy_hcd." + controller.substr(kDummyController.size()) + "/";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(kHidrawClass, ec)) {
        const fs::path target = fs::canonical(entry.path(), ec);
        if (!ec && target.string().find(host) != std::string::npos) {
            const std::string node = "/dev/" + entry.path().filename().string();
            if (fs::exists(node, ec)) {
                return node;
            }
        }
    }
    return {};
}

template <typename Condition>
bool WaitUntil(std::chrono::seconds limit, Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kStep);
    }
    return true;
}

std::string Hex4(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", value);
    return text;
}

}  // namespace

CGadgetPort::CGadgetPort(std::string node, std::string gadgetDir)
    : m_node(std::move(node)), m_gadgetDir(std::move(gadgetDir)) {}

std::unique_ptr<CGadgetPort> CGadgetPort::Claim(const std::vector<std::string>& nodes,
                                                std::string& error) {
    std::lock_guard lock(g_claimMutex);
    error = nodes.empty() ? "no gadget named" : "";
    for (const std::string& node : nodes) {
        const auto number = NodeNumber(node);
        const std::string gadget = number ? GadgetOf(*number) : std::string();
        if (gadget.empty()) {
            error = "no USB HID gadget has the node " + node;
            continue;
        }
        if (const std::string problem = ReportLengthProblem(gadget); !problem.empty()) {
            error = problem;
            continue;
        }
        if (!Free(gadget)) {
            error = "the gadget of " + node + " is in use";
            continue;
        }
        g_claimed.insert(gadget);
        return std::unique_ptr<CGadgetPort>(new CGadgetPort(node, gadget));
    }
    return nullptr;
}

CGadgetPort::~CGadgetPort() {
    Pull();
    std::lock_guard lock(g_claimMutex);
    g_claimed.erase(m_gadgetDir);
}

bool CGadgetPort::BindToFreeController(std::string& error) {
    const fs::path udc = fs::path(m_gadgetDir) / "UDC";
    // Another process may take a controller between the look and the bind:
    // the kernel then refuses, and the next one is tried.
    for (const std::string& controller : FreeControllers()) {
        int code = 0;
        if (WriteAttribute(udc, controller, code)) {
            m_controller = controller;
            return true;
        }
        error = "binding to " + controller + ": " + std::strerror(code);
    }
    if (error.empty()) {
        error = "no free USB device controller";
    }
    return false;
}

bool CGadgetPort::Plug(uint16_t vendorId, uint16_t productId, std::string& error) {
    int code = 0;
    const fs::path dir(m_gadgetDir);
    if (!WriteAttribute(dir / "idVendor", Hex4(vendorId), code) ||
        !WriteAttribute(dir / "idProduct", Hex4(productId), code)) {
        error = m_gadgetDir + ": cannot set the ids: " + std::strerror(code);
        return false;
    }
    if (!BindToFreeController(error)) {
        return false;
    }
    const bool nodeMade = WaitUntil(kNodeLimit, [&] {
        m_fd = open(m_node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        return m_fd >= 0;
    });
    if (!nodeMade) {
        error = m_node + " did not appear (is the hid function in a configuration?)";
        Pull();
        return false;
    }
    if (m_controller.rfind(kDummyController, 0) == 0 &&
        !WaitUntil(kHostLimit, [&] { return !(m_hostPath = HostNodeOf(m_controller)).empty(); })) {
        error = "the host side of " + m_controller + " made no hidraw node";
        Pull();
        return false;
    }
    return true;
}

void CGadgetPort::Pull() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (m_controller.empty()) {
        return;
    }
    int ignored = 0;
    WriteAttribute(fs::path(m_gadgetDir) / "UDC", "\n", ignored);
    if (!m_hostPath.empty()) {
        WaitUntil(kNodeLimit, [&] { return HostNodeOf(m_controller).empty(); });
    }
    m_controller.clear();
    m_hostPath.clear();
}

bool CGadgetPort::Bound() const {
    return !m_controller.empty() && ReadLine(fs::path(m_gadgetDir) / "UDC") == m_controller;
}

}  // namespace teelink

#else  // USB gadgets are a Linux matter

namespace teelink {

CGadgetPort::CGadgetPort(std::string node, std::string gadgetDir)
    : m_node(std::move(node)), m_gadgetDir(std::move(gadgetDir)) {}

std::unique_ptr<CGadgetPort> CGadgetPort::Claim(const std::vector<std::string>&,
                                                std::string& error) {
    error = "USB gadgets exist only on Linux";
    return nullptr;
}

CGadgetPort::~CGadgetPort() = default;

bool CGadgetPort::Plug(uint16_t, uint16_t, std::string& error) {
    error = "USB gadgets exist only on Linux";
    return false;
}

void CGadgetPort::Pull() {}

bool CGadgetPort::Bound() const {
    return false;
}

bool CGadgetPort::BindToFreeController(std::string&) {
    return false;
}

}  // namespace teelink

#endif
