#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "BuildConfig.h"

namespace teelink {

inline constexpr uint16_t ZORVIK_VENDOR_ID = 0x0483;
inline constexpr uint16_t ZORVIK_PRODUCT_ID = 0x5750;
inline constexpr int MAX_DEVICE_PATHS = 10;
inline constexpr int DEFAULT_TRANSFER_TIMEOUT_MS = 5000;

// Where devices are looked for and how long one report may take. The product
// uses the defaults; tests point the bus at a directory of their own, leave
// hidapi out and shorten the limit.
struct CDeviceBusConfig {
    std::string emulatorBusDir = teelink::build::kEmulatorBus;  // "" = no emulator bus
    bool useHidapi = true;
    int transferTimeoutMs = DEFAULT_TRANSFER_TIMEOUT_MS;
};

// The devices found by the last enumeration. Only EnumerateDevices writes it
// (on the user-interface thread); device operations read the first path.
class CDeviceList {
public:
    explicit CDeviceList(CDeviceBusConfig config = {}) : m_config(std::move(config)) {}

    const CDeviceBusConfig& Config() const { return m_config; }

    // Number of matching devices found by the last enumeration, possibly more
    // than there are paths.
    int count = 0;
    // Entries at or beyond count keep the paths of earlier enumerations.
    std::array<std::string, MAX_DEVICE_PATHS> paths;
    // The interface being examined during an enumeration.
    std::string workingPath;

private:
    CDeviceBusConfig m_config;
};

// Refreshes the list (real devices first, then emulated ones, each group
// ordered by path) and returns its count. Reports nothing to the user.
int EnumerateDevices(CDeviceList& list);

// Makes `path` the list's only device. Device operations open the first path,
// so a front end that lets the user pick one of several devices points the
// list at it this way.
void SelectDevicePath(CDeviceList& list, const std::string& path);

}  // namespace teelink
