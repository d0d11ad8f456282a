#include "device/DeviceChannel.h"

#include <cstring>

namespace teelink {

CDeviceChannel::~CDeviceChannel() {
    CloseChannel(*this);
}

Status OpenChannel(const CDevice& device, CDeviceChannel& channel) {
    CloseChannel(channel);
    auto transport = device.Open();
    if (!transport) {
        return transport.TakeFailure();
    }
    channel.m_transport = std::move(transport.Value());
    channel.m_timeoutMs = device.TimeoutMs();
    return Success();
}

void CloseChannel(CDeviceChannel& channel) {
    channel.m_transport.reset();
}

bool SendReport(CDeviceChannel& channel, const uint8_t payload[REPORT_PAYLOAD_SIZE]) {
    if (!channel.IsOpen() || payload == nullptr) {
        return false;
    }
    channel.report[0] = 0;
    std::memcpy(channel.report.data() + 1, payload, REPORT_PAYLOAD_SIZE);
    return channel.m_transport->Write(channel.report, channel.m_timeoutMs);
}

bool ReceiveReport(CDeviceChannel& channel, uint8_t dest[REPORT_PAYLOAD_SIZE]) {
    if (!channel.IsOpen() || dest == nullptr) {
        return false;
    }
    channel.report.fill(0);
    if (!channel.m_transport->Read(channel.report, channel.m_timeoutMs)) {
        return false;
    }
    // The report id is not examined.
    std::memcpy(dest, channel.report.data() + 1, REPORT_PAYLOAD_SIZE);
    return true;
}

}  // namespace teelink
