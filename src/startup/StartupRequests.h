#pragma once

// The requests of the main page's start-up.

#include <atomic>
#include <string>

#include "common/Result.h"

namespace teelink {

class CTeelinkDoc;

// md=1. Failure codes: -1 the URL could not be opened, -2 malformed (no field
// changed). The failures carry no text: the caller shows its own message. A set
// `stop` flag ends an open request at once.
Status QueryLatestVersions(CTeelinkDoc& doc, const std::atomic<bool>* stop = nullptr);
// The latest system version for the connected model, "---" for none.
std::wstring LatestVersionForModel(const CTeelinkDoc& doc);
// md=14. Failure codes -1, -2, -3 (records before the broken one are kept).
Status DownloadAreaList(CTeelinkDoc& doc, int language, const std::atomic<bool>* stop = nullptr);

}  // namespace teelink
