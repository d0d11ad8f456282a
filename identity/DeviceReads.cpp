#include "identity/DeviceReads.h"

#include "common/UserNotifier.h"
#include "core/TeelinkDoc.h"
#include "device/DeviceChannel.h"
#include "device/IdentityRecord.h"
#include "device/Protocol.h"

namespace teelink {

bool ReadDeviceIdentity(CTeelinkDoc& doc) {
    CDeviceChannel channel;
    if (!OpenChannel(doc.Devices(), channel, doc.Notifier())) {
        return false;
    }
    if (const int code = ReadIdentity(channel); code != 0) {
        CloseChannel(channel);
        doc.Notifier().ShowPlain(DeviceErrorText(code));
        return false;
    }
    CloseChannel(channel);
    // A record without the mark or with an unknown model is no device of ours;
    // the caller says so in its own words.
    const auto identity = ParseIdentityRecord(channel.data.data());
    if (!identity) {
        return false;
    }
    doc.m_strModel = identity->model;
    doc.m_szModelId = identity->modelId;
    doc.m_strModelCode = identity->modelCode;
    doc.m_strSystemVersion = identity->systemVersion;
    return true;
}

bool ReadCourseDataDate(CTeelinkDoc& doc) {
    doc.m_strCourseDate = NO_COURSE_DATE;
    CDeviceChannel channel;
    if (!OpenChannel(doc.Devices(), channel, doc.Notifier())) {
        return false;
    }
    const int code = ReadBlock(channel, COURSE_HEADER_ADDRESS);
    CloseChannel(channel);
    if (code != 0) {
        doc.Notifier().ShowPlain(DeviceErrorText(code));
        return false;
    }
    // A device without course data has no date; that is no failure.
    if (const auto date = ParseCourseDataDate(channel.data.data())) {
        doc.m_strCourseDate = *date;
    }
    return true;
}

}  // namespace teelink
