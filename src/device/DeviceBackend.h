#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "device/DeviceLock.h"
#include "device/DeviceProblem.h"

namespace teelink {

// One report on the wire: report id 0, then the 64 payload bytes.
inline constexpr size_t REPORT_PAYLOAD_SIZE = 64;
inline constexpr size_t REPORT_SIZE = REPORT_PAYLOAD_SIZE + 1;

// An open device interface that moves whole reports. Each call waits at most
// timeoutMs and answers false on a time-out, a short transfer or a device that
// has gone; a timed-out transfer is abandoned when the transport is destroyed.
class IReportTransport {
public:
    virtual ~IReportTransport() = default;
    virtual bool Write(std::span<const uint8_t, REPORT_SIZE> report, int timeoutMs) = 0;
    // On true, report[0] is the report id and report[1..64] the payload.
    virtual bool Read(std::span<uint8_t, REPORT_SIZE> report, int timeoutMs) = 0;
};

// A place where device interfaces are found: the platform's HID devices or the
// emulator bus. One backend serves the enumerating thread and every worker at
// once: its calls keep no state between them, or guard what they keep.
class IDeviceBackend {
public:
    using FoundFn = std::function<void(const std::string& path)>;

    virtual ~IDeviceBackend() = default;

    // Calls found for every interface with the given ids that can be opened
    // right now, in a stable order, and unusable for every one that is there
    // but that another program holds or this user may not open (it is not
    // counted). workingPath holds each candidate while it is examined.
    // Failures end the search quietly.
    virtual void Enumerate(uint16_t vendorId, uint16_t productId, std::string& workingPath,
                           const FoundFn& found, const UnusableFn& unusable) = 0;

    // Whether a path from Enumerate belongs to this backend.
    virtual bool Owns(const std::string& path) const = 0;

    // Null when the interface cannot be opened, or another Teelink holds it.
    // The transport holds a claim on the interface until it is destroyed.
    virtual std::unique_ptr<IReportTransport> Open(const std::string& path) = 0;

    // Claims the interface for this process (CDeviceClaim), so that a job can
    // keep it between its channels. A backend without a lock takes every claim.
    virtual ClaimResult Claim(const std::string& path, CDeviceClaim& claim) {
        (void)path;
        (void)claim;
        return ClaimResult::Taken;
    }
};

}  // namespace teelink
