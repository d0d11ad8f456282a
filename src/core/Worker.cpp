#include "core/Worker.h"

namespace teelink {

void CStopSource::Request(StopReason reason) {
    if (reason == StopReason::Owner) {
        m_reason.store(reason);
    } else {
        StopReason none = StopReason::None;
        m_reason.compare_exchange_strong(none, reason);
    }
    m_flag.store(true);
}

std::optional<CFailure> CStopSource::Interruption() const {
    if (!m_flag.load()) {
        return std::nullopt;
    }
    return m_reason.load() == StopReason::Cancel ? CFailure::Cancelled() : CFailure::Stopped();
}

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
    m_stop.Reset();
    m_running.store(true);
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
        m_stop.Reset();
    }
}

void CWorker::RequestStop(StopReason reason) {
    std::lock_guard lock(m_mutex);
    if (reason == StopReason::Owner) {
        m_pending = nullptr;
    }
    m_stop.Request(reason);
}

void CWorker::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) {
        m_thread.join();
    }
}

}  // namespace teelink
