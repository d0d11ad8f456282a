#include "core/Worker.h"

namespace teelink {

CWorker::~CWorker() {
    RequestStop();
    Join();
}

void CWorker::Start(Job job) {
    Join();
    m_stop.store(false);
    m_running.store(true);
    m_thread = std::thread([this, job = std::move(job)] {
        job(m_stop);
        m_running.store(false);
    });
}

void CWorker::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) {
        m_thread.join();
    }
}

}  // namespace teelink
