#include "identity/DevicePolling.h"

#include "core/TeelinkDoc.h"
#include "identity/DeviceReads.h"

namespace teelink {

PollAction CPollState::Decide(int count) const {
    if (count >= 2) {
        return PollAction::TooManyDevices;
    }
    if (count == 1) {
        return m_bDeviceShown ? PollAction::RefreshDevice : PollAction::IdentifyDevice;
    }
    return PollAction::ShowNoDevice;
}

void CPollState::Apply(PollAction action) {
    switch (action) {
        case PollAction::ShowNoDevice:
            m_bDeviceShown = false;
            break;
        case PollAction::IdentifyDevice:
        case PollAction::RefreshDevice:
            m_bDeviceShown = true;
            break;
        case PollAction::TooManyDevices:
            break;
    }
}

void IdentifyJob(CTeelinkDoc& doc, IWorkerReport<IdentifyMessage>& report) {
    const bool ok = ReadDeviceIdentity(doc) && ReadCourseDataDate(doc);
    report.Post(ok ? IDENTIFY_DONE : IDENTIFY_FAILED, 0);
}

}  // namespace teelink
