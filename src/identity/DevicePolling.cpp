#include "identity/DevicePolling.h"

#include <algorithm>

#include "core/TeelinkDoc.h"
#include "identity/DeviceReads.h"

namespace teelink {

PollAction CPollState::Decide(int count, const std::string& path,
                              const std::string& identifiedPath) const {
    if (count >= 2) {
        return PollAction::TooManyDevices;
    }
    if (count == 1) {
        // The shown device is known by its path: one that took its place
        // between two ticks, or that is left of several, is read anew.
        const bool same = m_bDeviceShown && !m_bSawSeveral && path == identifiedPath;
        return same ? PollAction::RefreshDevice : PollAction::IdentifyDevice;
    }
    return PollAction::ShowNoDevice;
}

void CPollState::Apply(PollAction action) {
    switch (action) {
        case PollAction::ShowNoDevice:
            m_bDeviceShown = false;
            m_bSawSeveral = false;
            break;
        case PollAction::IdentifyDevice:
        case PollAction::RefreshDevice:
            m_bDeviceShown = true;
            m_bSawSeveral = false;
            break;
        case PollAction::TooManyDevices:
            m_bSawSeveral = true;
            break;
    }
}

std::vector<std::string> CUnusableLog::Changes(const std::vector<CUnusableDevice>& unusable) {
    std::vector<std::string> lines;
    for (const CUnusableDevice& device : unusable) {
        if (std::find(m_told.begin(), m_told.end(), device) == m_told.end()) {
            lines.push_back(DescribeUnusable(device) + ": " + RemedyFor(device.problem));
        }
    }
    m_told = unusable;
    return lines;
}

Result<CIdentified> IdentifyJob(const CJobContext& context) {
    auto identity = ReadIdentityOf(context.device);
    if (!identity) {
        return identity.TakeFailure();
    }
    auto date = ReadCourseDateOf(context.device);
    if (!date) {
        return date.TakeFailure();
    }
    return CIdentified{identity.Value(), date.Value(), context.device.Path()};
}

void ApplyIdentified(CTeelinkDoc& doc, const Result<CIdentified>& identified) {
    doc.CheckThread();
    if (!identified) {
        doc.m_strDevicePath.clear();
        return;
    }
    const DeviceIdentity& identity = identified->identity;
    doc.m_strModel = identity.model;
    doc.m_szModelId = identity.modelId;
    doc.m_strModelCode = identity.modelCode;
    doc.m_strSystemVersion = identity.systemVersion;
    doc.m_strCourseDate = identified->courseDate;
    doc.m_strDevicePath = identified->path;
}

}  // namespace teelink
