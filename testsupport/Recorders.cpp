#include "testsupport/Recorders.h"

namespace teelink {

void CRecordingNotifier::ShowPlain(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_texts.push_back(text);
}

std::vector<std::string> CRecordingNotifier::Texts() const {
    std::lock_guard lock(m_mutex);
    return m_texts;
}

void CRecordingNotifier::Clear() {
    std::lock_guard lock(m_mutex);
    m_texts.clear();
}

}  // namespace teelink
