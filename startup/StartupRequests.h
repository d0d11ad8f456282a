#pragma once

// The requests of the main page's start-up.

#include <string>

namespace teelink {

class CTeelinkDoc;

// md=1: 0, -1 the URL could not be opened, -2 malformed (no field changed).
int QueryLatestVersions(CTeelinkDoc& doc);
// The latest system version for the connected model, "---" for none.
std::wstring LatestVersionForModel(const CTeelinkDoc& doc);
// md=14: 0, -1, -2, -3 (records before the broken one are kept).
int DownloadAreaList(CTeelinkDoc& doc, int language);

}  // namespace teelink
