#include "update/UpdateRun.h"

#include "catalogue/Catalogue.h"
#include "core/TeelinkDoc.h"
#include "server/RequestForms.h"

namespace teelink {

CUpdateRun::CUpdateRun(IUpdateReport& report, IUserNotifier& notifier)
    : m_report(report), m_notifier(notifier) {
    m_job.m_pLastRemainMinutes = &m_nLastRemainMinutes;
    m_job.m_pStop = &m_worker.StopFlag();
}

CUpdateRun::~CUpdateRun() {
    Stop();
    Join();
}

std::optional<std::string> CUpdateRun::PackageUrl(const CTeelinkDoc& doc) {
    switch (doc.m_nUpdateMode) {
        case UPDATE_COURSE_DATA: {
            const int index = doc.m_nAreaIndex;
            if (index < 0 || static_cast<size_t>(index) >= doc.m_areaList.size()) {
                return std::nullopt;
            }
            return CourseDataUrl(doc.m_strScriptUrl, doc.m_strModel,
                                 doc.m_areaList[static_cast<size_t>(index)].code,
                                 doc.m_strCourseDate);
        }
        case UPDATE_SYSTEM_DATA:
            return SystemDataUrl(doc.m_strScriptUrl, doc.m_strModel, doc.m_strModelCode);
        case UPDATE_FAVORITE_DATA:
            return FavoriteDataUrl(doc.m_strScriptUrl, doc.m_strModel, FavouriteUpdateKeys(doc));
        default:
            return std::nullopt;
    }
}

bool CUpdateRun::StartDownload(const CTeelinkDoc& doc) {
    if (!m_worker.JoinIfDone()) {
        return false;
    }
    const auto url = PackageUrl(doc);
    if (!url) {
        return false;
    }
    m_job.m_strUrl = *url;
    m_job.m_nUpdateMode = doc.m_nUpdateMode;
    m_job.m_bCancel.store(false);
    const CServerSettings settings = doc.m_serverSettings;
    m_worker.Start([this, settings](const std::atomic<bool>&) {
        DownloadWorker(m_job, m_report, m_notifier, settings);
    });
    return true;
}

void CUpdateRun::StartWrite(const CDeviceList& devices, const CWriteSettings& settings) {
    m_worker.Join();  // the download posted its result as its last act
    m_job.m_writeStart = std::chrono::steady_clock::now();
    m_job.m_nBlocksWritten.store(0);
    m_worker.Start([this, &devices, settings](const std::atomic<bool>&) {
        WriteWorker(m_job, m_report, m_notifier, devices, settings);
    });
}

}  // namespace teelink
