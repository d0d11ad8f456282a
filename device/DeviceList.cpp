#include "device/DeviceList.h"

#include "device/DeviceBackend.h"
#include "device/EmulatorBus.h"
#include "device/HidapiBackend.h"

namespace teelink {

std::vector<std::unique_ptr<IDeviceBackend>> MakeDeviceBackends(const CDeviceBusConfig& config) {
    std::vector<std::unique_ptr<IDeviceBackend>> backends;
    if (config.useHidapi) {
        backends.push_back(std::make_unique<CHidapiBackend>());
    }
    if (!config.emulatorBusDir.empty()) {
        backends.push_back(std::make_unique<CEmulatorBusBackend>(config.emulatorBusDir));
    }
    return backends;
}

int EnumerateDevices(CDeviceList& list) {
    list.count = 0;
    const auto store = [&list](const std::string& path) {
        if (list.count < MAX_DEVICE_PATHS) {
            list.paths[static_cast<size_t>(list.count)] = path;
        }
        ++list.count;
    };
    for (const auto& backend : MakeDeviceBackends(list.Config())) {
        backend->Enumerate(ZORVIK_VENDOR_ID, ZORVIK_PRODUCT_ID, list.workingPath, store);
    }
    return list.count;
}

void SelectDevicePath(CDeviceList& list, const std::string& path) {
    list.paths[0] = path;
    list.count = 1;
}

}  // namespace teelink
