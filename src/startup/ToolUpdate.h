#pragma once

#include <string>

namespace teelink {

// The tool's own update check and the websites it links to.

// True when the first two dotted fields of both versions are equal as text.
// Any difference counts, in both directions; fields 2 and later are ignored.
bool IsToolCurrent(const std::wstring& ownVersion, const std::wstring& latestVersion);

// Top page of the website for the interface language.
std::string WebsiteUrl(int language);
// Page where the marked-position log is uploaded (a top page outside Japanese).
std::string TrevLogPageUrl(int language);
// The tool's download page.
std::string ToolDownloadUrl();

}  // namespace teelink
