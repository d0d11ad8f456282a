#pragma once

// The requests of the main page's start-up and the favourite-slot helpers that
// the update request keys on.

#include <string>

class CTeelinkDoc;
struct FavoriteSlot;

// md=1: 0, -1 the URL could not be opened, -2 malformed (no field changed).
int QueryLatestVersions(CTeelinkDoc& doc);
// The latest system version for the connected model, "---" for none.
std::wstring LatestVersionForModel(const CTeelinkDoc& doc);
// md=14: 0, -1, -2, -3 (records before the broken one are kept).
int DownloadAreaList(CTeelinkDoc& doc, int language);

bool SlotNeedsUpdate(const FavoriteSlot& slot);
// The 150-character value of the favourite course data request's `f`.
std::string FavouriteUpdateKeys(const CTeelinkDoc& doc);
