#include "update/UpdateRun.h"

#include "catalogue/Catalogue.h"
#include "core/TeelinkDoc.h"
#include "device/DeviceList.h"
#include "server/RequestForms.h"
#include "server/TextConvert.h"

namespace teelink {

CUpdateRun::CUpdateRun(CDeliveringReport<UpdateMessage>& report, IUserNotifier& notifier)
    : m_report(report), m_notifier(notifier) {
    m_report.Reap(m_worker);
}

CUpdateRun::~CUpdateRun() {
    Stop();
}

void CUpdateRun::Stop() {
    m_worker.RequestStop();
    m_worker.Join();
}

std::optional<CUpdateOrder> CUpdateRun::OrderFor(const CTeelinkDoc& doc) {
    CUpdateOrder order;
    order.mode = doc.m_nUpdateMode;
    switch (doc.m_nUpdateMode) {
        case UPDATE_COURSE_DATA: {
            const int index = doc.m_nAreaIndex;
            if (index < 0 || static_cast<size_t>(index) >= doc.m_areaList.size()) {
                return std::nullopt;
            }
            order.url =
                CourseDataUrl(doc.m_strScriptUrl, doc.m_strModel,
                              doc.m_areaList[static_cast<size_t>(index)].code, doc.m_strCourseDate);
            return order;
        }
        case UPDATE_SYSTEM_DATA:
            order.url = SystemDataUrl(doc.m_strScriptUrl, doc.m_strModel, doc.m_strModelCode);
            return order;
        case UPDATE_FAVORITE_DATA:
            order.url =
                FavoriteDataUrl(doc.m_strScriptUrl, doc.m_strModel, FavouriteUpdateKeys(doc));
            return order;
        default:
            return std::nullopt;
    }
}

namespace {

// What a run's record knows from its start: who, what, and the device as it was.
CHistoryRecord HistoryStart(const CTeelinkDoc& doc, const std::string& program) {
    return HistoryRecordOf(doc, program,
                           doc.m_nUpdateMode == UPDATE_COURSE_DATA   ? "course update"
                           : doc.m_nUpdateMode == UPDATE_SYSTEM_DATA ? "system update"
                                                                     : "favourites update");
}

}  // namespace

bool CUpdateRun::Start(const CTeelinkDoc& doc, const CDeviceList& devices,
                       const CWriteSettings& write) {
    if (m_worker.Running()) {
        return false;
    }
    auto order = OrderFor(doc);
    if (!order) {
        return false;
    }
    order->write = write;
    order->historyFile = m_historyFile;
    order->history = HistoryStart(doc, m_historyProgram);
    m_job.m_bCancel.store(false);
    // The identified device, by its path; a device that has gone since is no
    // longer found, and the write fails to open it.
    CDevice device = devices.At(doc.m_strDevicePath).value_or(CDevice());
    m_worker.Start([this, order = *order, device,
                    server = doc.m_serverSettings](const std::atomic<bool>& stop) {
        const CJobContext context{device, m_notifier, server, stop};
        UpdateJob(m_job, order, context, m_report);
    });
    return true;
}

}  // namespace teelink
