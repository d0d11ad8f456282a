#include "pages/main/DevicePolling.h"

#include "app/TeelinkDoc.h"

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

void CDeviceReadWorker::Start(CTeelinkDoc& doc, std::function<void(bool ok)> done) {
    Join();
    m_running.store(true);
    m_thread = std::thread([this, &doc, done = std::move(done)] {
        const bool ok = doc.ReadDeviceIdentity() && doc.ReadCourseDataDate();
        m_running.store(false);
        done(ok);
    });
}

void CDeviceReadWorker::Join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}
