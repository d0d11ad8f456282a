#include "identity/DeviceReads.h"

#include "core/TeelinkDoc.h"
#include "device/DeviceChannel.h"
#include "device/IdentityRecord.h"
#include "device/Protocol.h"

namespace teelink {

Status ReadDeviceIdentity(CTeelinkDoc& doc, const CDevice& device) {
    CDeviceChannel channel;
    if (Status open = OpenChannel(device, channel); !open) {
        return open;
    }
    Status read = ReadIdentity(channel);
    CloseChannel(channel);
    if (!read) {
        return read;
    }
    const auto identity = ParseIdentityRecord(channel.data.data());
    if (!identity) {
        return CFailure("");
    }
    doc.m_strModel = identity->model;
    doc.m_szModelId = identity->modelId;
    doc.m_strModelCode = identity->modelCode;
    doc.m_strSystemVersion = identity->systemVersion;
    return Success();
}

Status ReadCourseDataDate(CTeelinkDoc& doc, const CDevice& device) {
    doc.m_strCourseDate = NO_COURSE_DATE;
    CDeviceChannel channel;
    if (Status open = OpenChannel(device, channel); !open) {
        return open;
    }
    Status read = ReadBlock(channel, COURSE_HEADER_ADDRESS);
    CloseChannel(channel);
    if (!read) {
        return read;
    }
    // A device without course data has no date; that is no failure.
    if (const auto date = ParseCourseDataDate(channel.data.data())) {
        doc.m_strCourseDate = *date;
    }
    return Success();
}

}  // namespace teelink
