#pragma once

// The benchmark process's own memory, as Linux reports it.

#include <algorithm>
#include <climits>
#include <fstream>
#include <string>
#include <string_view>

#include "common/Text.h"

namespace teelink {

namespace bench {

// A "kB" field of /proc/self/status ("VmRSS", "VmHWM"), or -1.
inline long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) {
            // "VmHWM:    1234 kB"
            std::string_view value = std::string_view(line).substr(prefix.size());
            value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
            value = value.substr(0, value.find_first_not_of("0123456789"));
            return teelink::ParseNumber<long>(value, 0, LONG_MAX).value_or(-1);
        }
    }
    return -1;
}

// Makes the peak resident size start again from the present one; false where
// /proc/self/clear_refs is not writable.
inline bool ResetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

}  // namespace bench

}  // namespace teelink
