#pragma once

namespace teelink {

// Control ids of the update page (shared with tests).
enum UpdatePageControl : int {
    IDC_UPDATE_EXIT = 1002,
    IDC_DOWNLOAD_LABEL = 1023,
    IDC_WRITE_LABEL = 1024,
    IDC_NOTICE = 1025,
    IDC_UPDATE_CANCEL = 1026,
    IDC_DOWNLOAD_BAR = 1027,
    IDC_WRITE_BAR = 1028,
    IDC_REMAIN_TIME = 1032,
};

}  // namespace teelink
