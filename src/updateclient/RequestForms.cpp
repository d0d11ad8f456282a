#include "updateclient/RequestForms.h"

#include <curl/curl.h>

#include "updateclient/TextConvert.h"

namespace teelink {

namespace {

std::string Num(long long v) {
    return std::to_string(v);
}

}  // namespace

std::string PercentEncode(std::string_view value) {
    // libcurl's encoder keeps exactly the unreserved characters (letters,
    // digits and "-._~") and writes every other byte as %XX.
    char* escaped = curl_easy_escape(nullptr, value.data(), static_cast<int>(value.size()));
    if (escaped == nullptr) {
        return {};
    }
    std::string out(escaped);
    curl_free(escaped);
    return out;
}

std::string PercentEncode(std::wstring_view value) {
    return PercentEncode(WideToUtf8(value));
}

std::string LatestVersionsUrl(const std::string& base) {
    return base + "?md=1";
}

std::string AreaListUrl(const std::string& base, int language) {
    return base + "?md=14&l=" + Num(language);
}

std::string CourseDataUrl(const std::string& base, std::wstring_view model,
                          std::wstring_view areaCode, std::wstring_view courseDate) {
    return base + "?md=4&pd=" + PercentEncode(model) + "&ga=" + PercentEncode(areaCode) +
           "&udate=" + PercentEncode(courseDate);
}

std::string SystemDataUrl(const std::string& base, std::wstring_view model,
                          std::wstring_view modelCode) {
    return base + "?md=3&pd=" + PercentEncode(model) + "&mdl=" + PercentEncode(modelCode);
}

std::string FavoriteDataUrl(const std::string& base, std::wstring_view model,
                            std::string_view keys) {
    return base + "?md=13&pd=" + PercentEncode(model) + "&f=" + PercentEncode(keys);
}

std::string CourseInfoUrl(const std::string& base, int language, uint16_t n, uint8_t s,
                          uint16_t g) {
    return base + "?md=5&l=" + Num(language) + "&n=" + Num(n) + "&s=" + Num(s) + "&g=" + Num(g);
}

std::string CatalogueUrl(const std::string& base, int language, std::wstring_view suffix) {
    return base + "?l=" + Num(language) + WideToUtf8(suffix);
}

}  // namespace teelink
