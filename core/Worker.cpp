#include "core/Worker.h"

namespace teelink {

CWorker::~CWorker() {
    RequestStop();
    Join();
}

void CWorker::Start(Job job) {
    {
        std::lock_guard lock(m_mutex);
        if (m_running.load()) {
            m_pending = std::move(job);
            return;
        }
    }
    Join();
    m_stop.store(false);
    m_running.store(true);
    m_followed = false;
    m_thread = std::thread([this, job = std::move(job)]() mutable { Run(std::move(job)); });
}

void CWorker::Run(Job job) {
    for (;;) {
        job(m_stop);
        std::lock_guard lock(m_mutex);
        if (!m_pending) {
            m_running.store(false);
            return;
        }
        job = std::move(m_pending);
        m_pending = nullptr;
        m_followed = true;
        m_stop.store(false);
    }
}

void CWorker::RequestStop() {
    std::lock_guard lock(m_mutex);
    m_pending = nullptr;
    m_stop.store(true);
}

void CWorker::JoinUnlessFollowed() {
    {
        std::lock_guard lock(m_mutex);
        if (m_pending || m_followed) {
            return;
        }
    }
    Join();
}

void CWorker::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) {
        m_thread.join();
    }
}

}  // namespace teelink
