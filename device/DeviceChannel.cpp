#include "device/DeviceChannel.h"

#include <cstring>

#include "common/UserNotifier.h"

namespace teelink {

CDeviceChannel::~CDeviceChannel() {
    CloseChannel(*this);
}

bool OpenChannel(const CDeviceList& list, CDeviceChannel& channel, IUserNotifier& notifier) {
    CloseChannel(channel);
    // The first path, as the last enumeration left it: with no device present it
    // is empty or stale, and the open fails.
    const std::string& path = list.paths[0];
    for (const auto& backend : MakeDeviceBackends(list.Config())) {
        if (backend->Owns(path)) {
            channel.m_transport = backend->Open(path);
            break;
        }
    }
    if (!channel.IsOpen()) {
        notifier.ShowPlain("USB Open Error");
        return false;
    }
    channel.m_timeoutMs = list.Config().transferTimeoutMs;
    return true;
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
