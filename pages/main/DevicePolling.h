#pragma once

#include <atomic>
#include <functional>
#include <thread>

class CTeelinkDoc;

// What one polling tick does with the number of devices it found.
enum class PollAction {
    ShowNoDevice,    // 0: not-connected picture and hint, Start buttons off
    IdentifyDevice,  // 1, newly seen: read identity and course date first
    RefreshDevice,   // 1, already shown: refresh the display only
    TooManyDevices,  // 2 or more: message 10, nothing else changes
};

// The polling state: whether one identified device is shown. Kept while the
// page is hidden, so a device that stayed connected is not read again.
class CPollState {
public:
    PollAction Decide(int count) const;
    // After the tick has acted on `action` (and the reads succeeded).
    void Apply(PollAction action);
    bool m_bDeviceShown = false;
};

// Reads the identity and then the course data date of a newly seen device on a
// thread of its own, so that a slow or silent device never freezes the window.
// The page waits for `done` (posted to the user-interface thread by the caller's
// callback) before it reads the document fields the reads wrote.
class CDeviceReadWorker {
public:
    ~CDeviceReadWorker() { Join(); }
    // `done(ok)` runs on the worker thread once both reads have ended.
    void Start(CTeelinkDoc& doc, std::function<void(bool ok)> done);
    bool Running() const { return m_running.load(); }
    void Join();

private:
    std::thread m_thread;
    std::atomic<bool> m_running{false};
};
