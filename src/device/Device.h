#pragma once

#include <memory>
#include <string>

#include "common/Result.h"
#include "device/DeviceBackend.h"

namespace teelink {

inline constexpr int DEFAULT_TRANSFER_TIMEOUT_MS = 5000;

// The code of a device that cannot be opened (gone, not allowed, not ours).
inline constexpr int ERR_OPEN = -10;

// One device interface as a value: its path, the backend that reaches it and
// the limit of each report. Copies share the backend, which is safe to use from
// any thread, so a worker can take its device along and outlive any list.
class CDevice {
public:
    CDevice() = default;
    CDevice(std::shared_ptr<IDeviceBackend> backend, std::string path,
            int transferTimeoutMs = DEFAULT_TRANSFER_TIMEOUT_MS)
        : m_backend(std::move(backend)), m_path(std::move(path)), m_timeoutMs(transferTimeoutMs) {}

    const std::string& Path() const { return m_path; }
    int TimeoutMs() const { return m_timeoutMs; }

    // A transport to the device; "USB Open Error" when it cannot be opened.
    Result<std::unique_ptr<IReportTransport>> Open() const;
    // Claims the device for this process while `claim` lives; Unavailable for
    // the empty value.
    ClaimResult Claim(CDeviceClaim& claim) const {
        return m_backend != nullptr ? m_backend->Claim(m_path, claim) : ClaimResult::Unavailable;
    }

private:
    std::shared_ptr<IDeviceBackend> m_backend;
    std::string m_path;
    int m_timeoutMs = DEFAULT_TRANSFER_TIMEOUT_MS;
};

}  // namespace teelink
