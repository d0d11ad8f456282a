#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/Result.h"
#include "device/Device.h"
#include "device/DeviceBackend.h"

namespace teelink {

inline constexpr size_t BLOCK_SIZE = 4096;

// One device operation's connection to the device. Created closed by the thread
// that performs the operation and never shared; the destructor closes it, so a
// channel cannot outlive its operation with a handle still open.
class CDeviceChannel {
public:
    CDeviceChannel() = default;
    ~CDeviceChannel();
    CDeviceChannel(const CDeviceChannel&) = delete;
    CDeviceChannel& operator=(const CDeviceChannel&) = delete;

    bool IsOpen() const { return m_transport != nullptr; }
    int TimeoutMs() const { return m_timeoutMs; }

    // Transfer buffer: report id 0, then the payload.
    std::array<uint8_t, REPORT_SIZE> report{};
    // The command payload to send; also receives the acknowledgement.
    std::array<uint8_t, REPORT_PAYLOAD_SIZE> command{};
    // Receives data payloads.
    std::array<uint8_t, BLOCK_SIZE> data{};

private:
    friend Status OpenChannel(const CDevice&, CDeviceChannel&);
    friend void CloseChannel(CDeviceChannel&);
    friend bool SendReport(CDeviceChannel&, const uint8_t*);
    friend bool ReceiveReport(CDeviceChannel&, uint8_t*);

    std::unique_ptr<IReportTransport> m_transport;
    int m_timeoutMs = DEFAULT_TRANSFER_TIMEOUT_MS;
};

// Opens `device`; the failure "USB Open Error" (ERR_OPEN) when it cannot be
// opened: gone, not allowed, or never found. Shows nothing.
Status OpenChannel(const CDevice& device, CDeviceChannel& channel);

// Abandons whatever is pending and closes; does nothing on a closed channel.
void CloseChannel(CDeviceChannel& channel);

// One output report carrying 64 payload bytes; false when it was not taken
// within the transfer limit or the channel is closed.
bool SendReport(CDeviceChannel& channel, const uint8_t payload[REPORT_PAYLOAD_SIZE]);

// One input report; on true dest holds its 64 payload bytes, on false dest is
// untouched.
bool ReceiveReport(CDeviceChannel& channel, uint8_t dest[REPORT_PAYLOAD_SIZE]);

}  // namespace teelink
