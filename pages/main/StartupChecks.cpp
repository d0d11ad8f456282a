#include "pages/main/StartupChecks.h"

#include "app/TeelinkDoc.h"
#include "pages/main/ToolUpdate.h"
#include "server/StartupRequests.h"

StartupOutcome RunStartupChecks(CTeelinkDoc& doc, int language) {
    if (QueryLatestVersions(doc) != 0) {
        return StartupOutcome::ServerError;
    }
    if (!IsToolCurrent(doc.m_strToolVersion, doc.m_strLatestTool)) {
        return StartupOutcome::ToolOutdated;
    }
    if (DownloadAreaList(doc, language) != 0) {
        return StartupOutcome::ServerError;
    }
    return StartupOutcome::Ready;
}
