#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "BuildConfig.h"
#include "core/TeelinkDoc.h"
#include "device/DeviceList.h"

namespace teelink {

// What a run of the tool is wired to. The product uses the defaults: the compiled-in
// server URL, the real HID devices plus the emulator bus, the system browser and
// the platform's file dialog. GUI tests replace them before the application starts.
struct CAppOptions {
    std::string scriptUrl = teelink::build::kUpdateUrl;
    CDeviceBusConfig devices;
    std::wstring toolVersion = CTeelinkDoc::DefaultToolVersion();
    int pollPeriodMs = 1000;
    // The main page's entry to the favourites; the build decides, and tests of
    // the entry turn it on in a build without it.
    bool showFavourites = teelink::build::kShowFavourites;
    // The update history's file; empty: the user's state directory.
    std::filesystem::path historyFile;

    // Opens a web address in the user's browser; the result is not examined.
    std::function<void(const std::string& url)> openUrl;
    // Asks for a file to save to. Returns false when the user dismissed the dialog.
    std::function<bool(const std::wstring& proposedName, const std::wstring& filter,
                       std::wstring& chosenPath)>
        chooseSaveFile;
};

}  // namespace teelink
