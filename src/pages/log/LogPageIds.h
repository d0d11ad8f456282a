#pragma once

namespace teelink {

// Control ids of the log page (shared with tests).
enum LogPageControl : int {
    IDC_LOG_EXIT = 1001,
    IDC_LOG_PROGRESS = 1005,
    IDC_LOG_CANCEL = 1006,
    IDC_LOG_STATUS = 1008,
};

}  // namespace teelink
