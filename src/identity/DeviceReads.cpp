#include "identity/DeviceReads.h"

#include "core/TeelinkDoc.h"
#include "device/DeviceChannel.h"
#include "device/IdentityRecord.h"
#include "device/Protocol.h"

namespace teelink {

Result<DeviceIdentity> ReadIdentityOf(const CDevice& device) {
    CDeviceChannel channel;
    if (Status open = OpenChannel(device, channel); !open) {
        return open.TakeFailure();
    }
    Status read = ReadIdentity(channel);
    CloseChannel(channel);
    if (!read) {
        return read.TakeFailure();
    }
    const auto identity = ParseIdentityRecord(channel.data.data());
    if (!identity) {
        return CFailure("");
    }
    return *identity;
}

Result<std::wstring> ReadCourseDateOf(const CDevice& device) {
    CDeviceChannel channel;
    if (Status open = OpenChannel(device, channel); !open) {
        return open.TakeFailure();
    }
    Status read = ReadBlock(channel, COURSE_HEADER_ADDRESS);
    CloseChannel(channel);
    if (!read) {
        return read.TakeFailure();
    }
    // A device without course data has no date; that is no failure.
    return ParseCourseDataDate(channel.data.data()).value_or(NO_COURSE_DATE);
}

Status ReadDeviceIdentity(CTeelinkDoc& doc, const CDevice& device) {
    doc.CheckThread();
    auto identity = ReadIdentityOf(device);
    if (!identity) {
        return identity.TakeFailure();
    }
    doc.m_strModel = identity->model;
    doc.m_szModelId = identity->modelId;
    doc.m_strModelCode = identity->modelCode;
    doc.m_strSystemVersion = identity->systemVersion;
    return Success();
}

Status ReadCourseDataDate(CTeelinkDoc& doc, const CDevice& device) {
    doc.CheckThread();
    auto date = ReadCourseDateOf(device);
    doc.m_strCourseDate = date ? date.Value() : std::wstring(NO_COURSE_DATE);
    return date ? Success() : Status(date.TakeFailure());
}

}  // namespace teelink
