#include "startup/StartupChecks.h"

#include "core/TeelinkDoc.h"
#include "startup/StartupRequests.h"
#include "startup/ToolUpdate.h"

namespace teelink {

CStartup RunStartupChecks(CTeelinkDoc& doc, int language, const std::atomic<bool>* stop) {
    Status versions = QueryLatestVersions(doc, stop);
    if (!versions) {
        return {StartupOutcome::ServerError, std::move(versions)};
    }
    if (!IsToolCurrent(doc.m_strToolVersion, doc.m_strLatestTool)) {
        return {StartupOutcome::ToolOutdated, {}};
    }
    Status areas = DownloadAreaList(doc, language, stop);
    if (!areas) {
        return {StartupOutcome::ServerError, std::move(areas)};
    }
    return {};
}

}  // namespace teelink
