#pragma once

#include <wx/event.h>

#include <functional>

#include "core/JobRunner.h"
#include "core/Worker.h"
#include "ui/BoxQueue.h"

namespace teelink {

// The window's thread as the owner of a job runner: results arrive through
// the box queue, so that they wait for any box the user is looking at and
// keep their order with the job's notices.
class CWindowThread : public IOwnerThread {
public:
    CWindowThread(wxEvtHandler& window, CBoxQueue& boxes) : m_window(window), m_boxes(boxes) {}
    void Deliver(std::function<void()> call) override { m_boxes.Post(m_window, std::move(call)); }

private:
    wxEvtHandler& m_window;
    CBoxQueue& m_boxes;
};

// Carries a job's reports to the window's thread: bar positions at once,
// notices and the job's result through the box queue, so that they wait for
// any box the user is looking at and keep their order.
template <typename Message>
class CWindowReport : public IWorkerReport<Message>, public CWindowThread {
public:
    using ProgressHandler = std::function<void(int bar, int position)>;
    using PostHandler = std::function<void(Message message, int param)>;

    CWindowReport(wxEvtHandler& window, CBoxQueue& boxes, ProgressHandler onProgress,
                  PostHandler onPost)
        : CWindowThread(window, boxes),
          m_window(window),
          m_onProgress(std::move(onProgress)),
          m_onPost(std::move(onPost)) {}

    void Progress(int bar, int position) override {
        m_window.CallAfter([this, bar, position] { m_onProgress(bar, position); });
    }
    void Post(Message message, int param) override {
        Deliver([this, message, param] { m_onPost(message, param); });
    }

private:
    wxEvtHandler& m_window;
    ProgressHandler m_onProgress;
    PostHandler m_onPost;
};

}  // namespace teelink
