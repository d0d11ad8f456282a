#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "device/DeviceBackend.h"

namespace teelink {

// The emulator bus: every emulated HID interface is announced by a file in one
// directory, named after its ids and a label, in one of two kinds:
// - hid-VVVV-PPPP-LABEL.sock, a listening SOCK_SEQPACKET Unix-domain socket
//   (POSIX systems): a channel is one connection, every report one message;
// - hid-VVVV-PPPP-LABEL.tcp, a text file "PORT TOKEN\n" for a listener on
//   127.0.0.1 (every system): a channel is one connection that first sends the
//   token, then reports as frames of exactly 65 bytes.
// Either way a transfer counts only when the whole report moved within its limit.
namespace emubus {

inline constexpr const char* kPathPrefix = "emu:";
inline constexpr size_t kTokenSize = 32;  // lower-case hexadecimal digits
// The lock file beside an interface's file ("hid-....sock.lock"), which a tool
// holds while it uses the interface (CDeviceClaim); no bus file.
inline constexpr const char* kLockSuffix = ".lock";
// "PORT TOKEN\n" at its longest is 39 bytes; a file longer than this is none.
inline constexpr size_t kMaxAnnouncementSize = 64;

// The two kinds of bus file.
enum class Kind { Socket, Tcp };

struct SocketName {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::string label;
    Kind kind = Kind::Socket;
};

struct Announcement {
    uint16_t port = 0;
    std::string token;
};

// Labels are letters, digits, '-' and '_'.
bool IsValidLabel(const std::string& label);
// The file name of an interface, or "" for an invalid label.
std::string MakeSocketName(uint16_t vendorId, uint16_t productId, const std::string& label,
                           Kind kind = Kind::Socket);
// The ids, label and kind of a bus file name; nullopt for any other file.
std::optional<SocketName> ParseSocketName(const std::string& fileName);

// The text of a .tcp file, and back; nullopt for anything but a port from 1 to
// 65535 and a token of kTokenSize lower-case hexadecimal digits.
std::string FormatAnnouncement(const Announcement& announcement);
std::optional<Announcement> ParseAnnouncement(const std::string& text);
// The announcement in a .tcp file; nullopt when it cannot be read or is
// malformed, is no plain file (a link, a FIFO, a device) or is longer than
// kMaxAnnouncementSize. The read never blocks and never follows a link.
std::optional<Announcement> ReadAnnouncement(const std::string& path);
// A fresh random token.
std::string MakeToken();

}  // namespace emubus

class CEmulatorBusBackend : public IDeviceBackend {
public:
    explicit CEmulatorBusBackend(std::string busDir);

    void Enumerate(uint16_t vendorId, uint16_t productId, std::string& workingPath,
                   const FoundFn& found, const UnusableFn& unusable) override;
    bool Owns(const std::string& path) const override;
    std::unique_ptr<IReportTransport> Open(const std::string& path) override;
    ClaimResult Claim(const std::string& path, CDeviceClaim& claim) override;

private:
    std::string m_busDir;
};

}  // namespace teelink
