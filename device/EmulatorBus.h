#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "device/DeviceBackend.h"

// The emulator bus: every emulated HID interface is a listening SOCK_SEQPACKET
// Unix-domain socket named hid-VVVV-PPPP-LABEL.sock in one directory; a channel
// is one connection and every report one 65-byte message.
namespace emubus {

inline constexpr const char* kPathPrefix = "emu:";

struct SocketName {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::string label;
};

// Labels are letters, digits, '-' and '_'.
bool IsValidLabel(const std::string& label);
// The file name of an interface, or "" for an invalid label.
std::string MakeSocketName(uint16_t vendorId, uint16_t productId, const std::string& label);
// The ids and label of a bus file name; nullopt for any other file.
std::optional<SocketName> ParseSocketName(const std::string& fileName);

}  // namespace emubus

class CEmulatorBusBackend : public IDeviceBackend {
public:
    explicit CEmulatorBusBackend(std::string busDir);

    void Enumerate(uint16_t vendorId, uint16_t productId, std::string& workingPath,
                   const FoundFn& found) override;
    bool Owns(const std::string& path) const override;
    std::unique_ptr<IReportTransport> Open(const std::string& path) override;

private:
    std::string m_busDir;
};
