#include "startup/StartupChecks.h"

#include "core/TeelinkDoc.h"
#include "startup/StartupRequests.h"
#include "startup/ToolUpdate.h"

namespace teelink {

StartupOutcome RunStartupChecks(CTeelinkDoc& doc, int language) {
    if (!QueryLatestVersions(doc)) {
        return StartupOutcome::ServerError;
    }
    if (!IsToolCurrent(doc.m_strToolVersion, doc.m_strLatestTool)) {
        return StartupOutcome::ToolOutdated;
    }
    if (!DownloadAreaList(doc, language)) {
        return StartupOutcome::ServerError;
    }
    return StartupOutcome::Ready;
}

}  // namespace teelink
