#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BuildConfig.h"
#include "device/Device.h"
#include "device/DeviceProblem.h"

namespace teelink {

inline constexpr uint16_t ZORVIK_VENDOR_ID = 0x0483;
inline constexpr uint16_t ZORVIK_PRODUCT_ID = 0x5750;
inline constexpr int MAX_DEVICE_PATHS = 10;

// Where devices are looked for and how long one report may take. The product
// uses the defaults; tests point the bus at a directory of their own, leave
// hidapi out and shorten the limit.
struct CDeviceBusConfig {
    std::string emulatorBusDir = teelink::build::kEmulatorBus;  // "" = no emulator bus
    bool useHidapi = true;
    int transferTimeoutMs = DEFAULT_TRANSFER_TIMEOUT_MS;
};

// The places devices are found (made once, real devices first) and the devices
// the last enumeration found. Enumeration belongs to one thread (the window's);
// a worker gets the device it works on as a value and shares nothing with it.
class CDeviceList {
public:
    explicit CDeviceList(CDeviceBusConfig config = {});
    ~CDeviceList();
    CDeviceList(const CDeviceList&) = delete;
    CDeviceList& operator=(const CDeviceList&) = delete;
    CDeviceList(CDeviceList&&) noexcept;
    CDeviceList& operator=(CDeviceList&&) noexcept;

    const CDeviceBusConfig& Config() const { return m_config; }

    // Refreshes the list (real devices first, then emulated ones, each group
    // ordered by path) and returns the number of matching devices, which may
    // be more than the list keeps (MAX_DEVICE_PATHS). Reports nothing.
    int Enumerate();

    int Count() const { return m_count; }
    // The devices the last enumeration left out because another program holds
    // them or this user may not open them, at most MAX_DEVICE_PATHS.
    const std::vector<CUnusableDevice>& Unusable() const { return m_unusable; }
    // The devices the last enumeration found, at most MAX_DEVICE_PATHS.
    const std::vector<CDevice>& Found() const { return m_found; }

    // The device at `path` as one of this list's backends reaches it, whether
    // or not the last enumeration saw it; nullopt when no backend owns the path.
    std::optional<CDevice> At(const std::string& path) const;

private:
    CDeviceBusConfig m_config;
    std::vector<std::shared_ptr<IDeviceBackend>> m_backends;
    std::vector<CDevice> m_found;
    std::vector<CUnusableDevice> m_unusable;
    int m_count = 0;
};

}  // namespace teelink
