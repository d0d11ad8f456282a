#pragma once

#include "core/Worker.h"

namespace teelink {

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

// What the identity job posts when it ends.
enum IdentifyMessage : int {
    IDENTIFY_DONE = 0,    // identity and course data date are in the document
    IDENTIFY_FAILED = 1,  // a read failed; its text has been shown
};

// Reads the identity and then the course data date of a newly seen device, on
// a worker, so that a slow or silent device never freezes the window. The page
// reads the document fields the reads wrote once the job has posted.
void IdentifyJob(CTeelinkDoc& doc, IWorkerReport<IdentifyMessage>& report);

}  // namespace teelink
