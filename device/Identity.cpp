// The document's device reads: which device is connected and how old its
// course data is.
#include "app/TeelinkDoc.h"
#include "app/UserNotifier.h"
#include "device/DeviceChannel.h"
#include "device/IdentityRecord.h"
#include "device/Protocol.h"

bool CTeelinkDoc::ReadDeviceIdentity() {
    CDeviceChannel channel;
    if (!OpenChannel(Devices(), channel, Notifier())) {
        return false;
    }
    if (const int code = ReadIdentity(channel); code != 0) {
        CloseChannel(channel);
        Notifier().ShowPlain(DeviceErrorText(code));
        return false;
    }
    CloseChannel(channel);
    // A record without the mark or with an unknown model is no device of ours;
    // the caller says so in its own words.
    const auto identity = ParseIdentityRecord(channel.data.data());
    if (!identity) {
        return false;
    }
    m_strModel = identity->model;
    m_szModelId = identity->modelId;
    m_strModelCode = identity->modelCode;
    m_strSystemVersion = identity->systemVersion;
    return true;
}

bool CTeelinkDoc::ReadCourseDataDate() {
    m_strCourseDate = NO_COURSE_DATE;
    CDeviceChannel channel;
    if (!OpenChannel(Devices(), channel, Notifier())) {
        return false;
    }
    const int code = ReadBlock(channel, COURSE_HEADER_ADDRESS);
    CloseChannel(channel);
    if (code != 0) {
        Notifier().ShowPlain(DeviceErrorText(code));
        return false;
    }
    // A device without course data has no date; that is no failure.
    if (const auto date = ParseCourseDataDate(channel.data.data())) {
        m_strCourseDate = *date;
    }
    return true;
}
