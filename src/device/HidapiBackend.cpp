#include "device/HidapiBackend.h"

#include <hidapi.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "device/WholeReport.h"

#ifdef _WIN32
#include <windows.h>
#if HID_API_VERSION >= HID_API_MAKE_VERSION(0, 14, 0)
#include <hidapi_winapi.h>

#define TEELINK_HID_WRITE_TIMEOUT 1
#endif
#endif

namespace teelink {

namespace {

// hid_init is not thread-safe, and hidapi keeps its last global error in shared
// state; enumeration (user-interface thread) and opens (workers) go through here.
std::mutex& HidapiMutex() {
    static std::mutex mutex;
    return mutex;
}

void InitialiseHidapiOnce() {
    static std::once_flag once;
    std::call_once(once, [] { hid_init(); });
}

struct HidDeviceCloser {
    void operator()(hid_device* device) const { hid_close(device); }
};
using HidDevicePtr = std::unique_ptr<hid_device, HidDeviceCloser>;

enum class Probe { Opened, InUse, NoPermission, Failed };

// Whether nobody else holds the interface: the device is opened alone for an
// instant. Windows can insist on that (share mode 0); macOS hidapi opens
// exclusively by itself; Linux hidraw has no exclusive open, so there the probe
// proves only that this user may open the node, and the claim's lock on the
// node keeps other Teelinks out.
Probe ProbeInterface(const std::string& path) {
#ifdef _WIN32
    const int length = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 0) {
        return Probe::Failed;
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), length);
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        // An interface that another program has open refuses a second,
        // exclusive open; Windows does not say which program.
        const DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ? Probe::InUse
                                                                                : Probe::Failed;
    }
    CloseHandle(handle);
    return Probe::Opened;
#else
    HidDevicePtr device(hid_open_path(path.c_str()));
    return device != nullptr ? Probe::Opened : Probe::Failed;
#endif
}

class CHidapiTransport : public IReportTransport {
public:
    CHidapiTransport(HidDevicePtr device, CDeviceClaim claim)
        : m_claim(std::move(claim)), m_device(std::move(device)) {}

    ~CHidapiTransport() override {
        std::lock_guard lock(HidapiMutex());
        m_device.reset();
    }

    // hid_write has no limit parameter. Linux bounds an interrupt transfer at
    // 5 s in the kernel; Windows hidapi from 0.14 on takes its limit separately.
    bool Write(std::span<const uint8_t, REPORT_SIZE> report, int timeoutMs) override {
#ifdef TEELINK_HID_WRITE_TIMEOUT
        hid_winapi_set_write_timeout(m_device.get(), static_cast<unsigned long>(timeoutMs));
#else
        (void)timeoutMs;
#endif
        return WholeReportWithin(timeoutMs, report.size(), [&](int, bool& interrupted) {
            errno = 0;
            const int written = hid_write(m_device.get(), report.data(), report.size());
            interrupted = written < 0 && errno == EINTR;
            return written;
        });
    }

    // Without report ids hidapi delivers the payload alone on every platform.
    bool Read(std::span<uint8_t, REPORT_SIZE> report, int timeoutMs) override {
        uint8_t payload[REPORT_PAYLOAD_SIZE] = {};
        const bool whole =
            WholeReportWithin(timeoutMs, sizeof payload, [&](int remainingMs, bool& interrupted) {
                errno = 0;
                const int got =
                    hid_read_timeout(m_device.get(), payload, sizeof payload, remainingMs);
                interrupted = got < 0 && errno == EINTR;
                return got;
            });
        if (!whole) {
            return false;
        }
        report[0] = 0;
        std::memcpy(report.data() + 1, payload, sizeof payload);
        return true;
    }

private:
    CDeviceClaim m_claim;  // first: released after the device is closed
    HidDevicePtr m_device;
};

}  // namespace

CHidapiBackend::CHidapiBackend() {
    InitialiseHidapiOnce();
}

void CHidapiBackend::Enumerate(uint16_t vendorId, uint16_t productId, std::string& workingPath,
                               const FoundFn& found, const UnusableFn& unusable) {
    std::vector<std::string> candidates;
    {
        std::lock_guard lock(HidapiMutex());
        // NULL means none found as well as failure; both leave nothing to count.
        hid_device_info* all = hid_enumerate(vendorId, productId);
        for (hid_device_info* info = all; info != nullptr; info = info->next) {
            if (info->path != nullptr && info->vendor_id == vendorId &&
                info->product_id == productId) {
                candidates.emplace_back(info->path);
            }
        }
        hid_free_enumeration(all);
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());

    for (const std::string& path : candidates) {
        workingPath = path;
        CDeviceClaim claim;  // held through the probe
        const ClaimResult claimed = Claim(path, claim);
        if (claimed == ClaimResult::InUse) {
            unusable({path, DeviceProblem::InUse, LockHolder(path)});
            continue;
        }
        if (claimed == ClaimResult::NoPermission) {
            unusable({path, DeviceProblem::NoPermission, {}});
            continue;
        }
        if (claimed != ClaimResult::Taken) {
            continue;
        }
        Probe probe = Probe::Failed;
        {
            std::lock_guard lock(HidapiMutex());
            probe = ProbeInterface(path);
        }
        if (probe == Probe::Opened) {
            found(path);
        } else if (probe == Probe::InUse) {
            unusable({path, DeviceProblem::InUse, {}});
        }
    }
}

bool CHidapiBackend::Owns(const std::string& path) const {
    return !path.empty() && !path.starts_with("emu:");
}

ClaimResult CHidapiBackend::Claim(const std::string& path, CDeviceClaim& claim) {
#ifdef _WIN32
    (void)path;
    (void)claim;
    return ClaimResult::Taken;
#else
    return claim.Take(path, false);
#endif
}

std::unique_ptr<IReportTransport> CHidapiBackend::Open(const std::string& path) {
    CDeviceClaim claim;
    if (Claim(path, claim) != ClaimResult::Taken) {
        return nullptr;
    }
    std::lock_guard lock(HidapiMutex());
#ifdef _WIN32
    // hidapi opens with the device shared; a device another program holds
    // (another Teelink's channel) fails this exclusive open instead.
    if (ProbeInterface(path) != Probe::Opened) {
        return nullptr;
    }
#endif
    HidDevicePtr device(hid_open_path(path.c_str()));
    if (!device) {
        return nullptr;
    }
    return std::make_unique<CHidapiTransport>(std::move(device), std::move(claim));
}

}  // namespace teelink
