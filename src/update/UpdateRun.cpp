#include "update/UpdateRun.h"

#include "catalogue/Catalogue.h"
#include "core/TeelinkDoc.h"
#include "device/DeviceList.h"
#include "updateclient/RequestForms.h"
#include "updateclient/TextConvert.h"

namespace teelink {

CUpdateRun::CUpdateRun(IUpdateReport& report, IOwnerThread& owner, IUserNotifier& notifier,
                       EndHandler onEnd)
    : m_report(report), m_onEnd(std::move(onEnd)), m_runner(owner, notifier) {}

std::optional<CUpdateOrder> CUpdateRun::OrderFor(const CTeelinkDoc& doc) {
    doc.CheckThread();
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
    if (m_runner.Running()) {
        return false;
    }
    auto order = OrderFor(doc);
    if (!order) {
        return false;
    }
    order->write = write;
    order->historyFile = m_historyFile;
    order->history = HistoryStart(doc, m_historyProgram);
    // The identified device, by its path; a device that has gone since is no
    // longer found, and the write fails to open it.
    CDevice device = devices.At(doc.m_strDevicePath).value_or(CDevice());
    m_runner.Start(
        CJobPlace{device, doc.m_serverSettings},
        [this, order = *order](const CJobContext& context) {
            return UpdateJob(m_job, order, context, m_report);
        },
        [this](Status& end) { m_onEnd(EndMessage(end, m_job.m_phase.load())); });
    return true;
}

}  // namespace teelink
