#pragma once

// The URL of every request form of the update server. Values are inserted
// percent-encoded (bytes outside letters, digits and "-._~"), so that values from
// the device or the server cannot change the query; ordinary values stay the
// bytes they are.

#include <cstdint>
#include <string>
#include <string_view>

namespace teelink {

std::string PercentEncode(std::string_view value);
std::string PercentEncode(std::wstring_view value);

std::string LatestVersionsUrl(const std::string& base);                      // md=1
std::string AreaListUrl(const std::string& base, int language);              // md=14
std::string CourseDataUrl(const std::string& base, std::wstring_view model,  // md=4
                          std::wstring_view areaCode, std::wstring_view courseDate);
std::string SystemDataUrl(const std::string& base, std::wstring_view model,  // md=3
                          std::wstring_view modelCode);
std::string FavoriteDataUrl(const std::string& base, std::wstring_view model,  // md=13
                            std::string_view keys);
std::string CourseInfoUrl(const std::string& base, int language, uint16_t n, uint8_t s,
                          uint16_t g);  // md=5
// md=6 to md=12: "?l=" and the language, then the level's query suffix.
std::string CatalogueUrl(const std::string& base, int language, std::wstring_view suffix);

}  // namespace teelink
