#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "common/UserNotifier.h"

namespace teelink {

// Records every plain message box instead of showing it. Thread-safe: workers
// report from their own threads.
class CRecordingNotifier : public IUserNotifier {
public:
    void ShowPlain(const std::string& text) override;
    std::vector<std::string> Texts() const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;
};

}  // namespace teelink
