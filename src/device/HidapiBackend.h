#pragma once

#include "device/DeviceBackend.h"

namespace teelink {

// Real USB HID devices through hidapi. Paths are hidapi's own (hidraw nodes on
// Linux, interface paths on Windows, IOService paths on macOS).
class CHidapiBackend : public IDeviceBackend {
public:
    CHidapiBackend();

    void Enumerate(uint16_t vendorId, uint16_t productId, std::string& workingPath,
                   const FoundFn& found, const UnusableFn& unusable) override;
    bool Owns(const std::string& path) const override;
    std::unique_ptr<IReportTransport> Open(const std::string& path) override;
    // On Linux an advisory lock on the hidraw node (hidraw has no exclusive
    // open); on Windows the probe's exclusive open keeps others out instead.
    ClaimResult Claim(const std::string& path, CDeviceClaim& claim) override;
};

}  // namespace teelink
