#include "device/DeviceList.h"

#include "device/DeviceBackend.h"
#include "device/EmulatorBus.h"
#include "device/HidapiBackend.h"

namespace teelink {

CDeviceList::CDeviceList(CDeviceBusConfig config) : m_config(std::move(config)) {
    if (m_config.useHidapi) {
        m_backends.push_back(std::make_shared<CHidapiBackend>());
    }
    if (!m_config.emulatorBusDir.empty()) {
        m_backends.push_back(std::make_shared<CEmulatorBusBackend>(m_config.emulatorBusDir));
    }
}

CDeviceList::~CDeviceList() = default;
CDeviceList::CDeviceList(CDeviceList&&) noexcept = default;
CDeviceList& CDeviceList::operator=(CDeviceList&&) noexcept = default;

int CDeviceList::Enumerate() {
    m_found.clear();
    m_unusable.clear();
    m_count = 0;
    std::string workingPath;  // the interface being examined
    const auto unusable = [this](const CUnusableDevice& device) {
        if (m_unusable.size() < MAX_DEVICE_PATHS) {
            m_unusable.push_back(device);
        }
    };
    for (const auto& backend : m_backends) {
        backend->Enumerate(
            ZORVIK_VENDOR_ID, ZORVIK_PRODUCT_ID, workingPath,
            [this, &backend](const std::string& path) {
                if (m_count < MAX_DEVICE_PATHS) {
                    m_found.emplace_back(backend, path, m_config.transferTimeoutMs);
                }
                ++m_count;
            },
            unusable);
    }
    return m_count;
}

std::optional<CDevice> CDeviceList::At(const std::string& path) const {
    for (const auto& backend : m_backends) {
        if (backend->Owns(path)) {
            return CDevice(backend, path, m_config.transferTimeoutMs);
        }
    }
    return std::nullopt;
}

Result<std::unique_ptr<IReportTransport>> CDevice::Open() const {
    std::unique_ptr<IReportTransport> transport;
    if (m_backend != nullptr) {
        transport = m_backend->Open(m_path);
    }
    if (transport == nullptr) {
        return CFailure("USB Open Error", ERR_OPEN);
    }
    return transport;
}

}  // namespace teelink
