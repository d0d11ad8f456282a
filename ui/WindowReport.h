#pragma once

#include <wx/event.h>

#include <functional>

#include "core/Worker.h"
#include "ui/BoxQueue.h"

namespace teelink {

// Carries a worker's reports to the window's thread: bar positions at once,
// results and notices through the box queue, so that they wait for any box
// the user is looking at and keep their order. The last report joins the
// worker it reaps before the handler sees it.
template <typename Message>
class CWindowReport : public CDeliveringReport<Message> {
public:
    using ProgressHandler = std::function<void(int bar, int position)>;
    using PostHandler = std::function<void(Message message, int param)>;

    CWindowReport(wxEvtHandler& window, CBoxQueue& boxes, ProgressHandler onProgress,
                  PostHandler onPost)
        : m_window(window),
          m_boxes(boxes),
          m_onProgress(std::move(onProgress)),
          m_onPost(std::move(onPost)) {}

    void Progress(int bar, int position) override {
        m_window.CallAfter([this, bar, position] { m_onProgress(bar, position); });
    }
    void Post(Message message, int param) override {
        m_boxes.Post(m_window, [this, message, param] { m_onPost(message, param); });
    }
    void Finish(Message message, int param) override {
        m_boxes.Post(m_window, [this, message, param] {
            this->LastReportDelivered();
            m_onPost(message, param);
        });
    }

private:
    wxEvtHandler& m_window;
    CBoxQueue& m_boxes;
    ProgressHandler m_onProgress;
    PostHandler m_onPost;
};

}  // namespace teelink
