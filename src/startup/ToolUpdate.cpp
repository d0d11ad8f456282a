#include "startup/ToolUpdate.h"

#include "BuildConfig.h"

namespace teelink {

namespace {

std::wstring DottedField(const std::wstring& version, int index) {
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        const size_t dot = version.find(L'.', start);
        if (dot == std::wstring::npos) {
            return L"";
        }
        start = dot + 1;
    }
    const size_t end = version.find(L'.', start);
    return version.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

std::string Address(const char* host, const char* path) {
    std::string url = std::string("http://") + host;
    if (path[0] != '/') {
        url += '/';
    }
    return url + path;
}

std::string JapaneseTop() {
    return Address(teelink::build::kWebHostJapan, "/");
}
std::string KoreanTop() {
    return Address(teelink::build::kWebHostKorea, "/");
}
std::string InternationalTop() {
    return Address(teelink::build::kWebHostInternational, "/");
}

}  // namespace

bool IsToolCurrent(const std::wstring& ownVersion, const std::wstring& latestVersion) {
    return DottedField(latestVersion, 0) == DottedField(ownVersion, 0) &&
           DottedField(latestVersion, 1) == DottedField(ownVersion, 1);
}

std::string WebsiteUrl(int language) {
    switch (language) {
        case 1:
        case 3:
        case 4:
            return InternationalTop();
        case 2:
            return KoreanTop();
        default:
            return JapaneseTop();
    }
}

std::string TrevLogPageUrl(int language) {
    switch (language) {
        case 1:
        case 2:
        case 3:
        case 4:
            return WebsiteUrl(language);
        default:
            return Address(teelink::build::kWebHostJapan, "mypage/PlayData/#REGTREV");
    }
}

std::string ToolDownloadUrl() {
    return Address(teelink::build::kWebHostJapan, "tlp/r8/update.php");
}

}  // namespace teelink
