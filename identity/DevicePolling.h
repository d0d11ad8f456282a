#pragma once

#include <string>
#include <vector>

#include "core/JobContext.h"
#include "core/Worker.h"
#include "device/DeviceProblem.h"

namespace teelink {

class CTeelinkDoc;

// What one polling tick does with the devices it found.
enum class PollAction {
    ShowNoDevice,    // none: not-connected picture and hint, Start buttons off
    IdentifyDevice,  // one that is not the identified one: read identity and course date
    RefreshDevice,   // the identified one, still there: refresh the display only
    TooManyDevices,  // two or more: message 10, nothing else changes
};

// The polling state: whether one identified device is shown, and whether the
// last tick saw several. Kept while the page is hidden, so the device that
// stayed connected is not read again; a different device (another path, or
// whatever is left after two or more were seen) always is.
class CPollState {
public:
    // `count` devices found; `path` the one found when there is one;
    // `identifiedPath` the device the document describes ("" for none).
    PollAction Decide(int count, const std::string& path, const std::string& identifiedPath) const;
    // After the tick has acted on `action` (and the reads succeeded).
    void Apply(PollAction action);

    bool m_bDeviceShown = false;
    bool m_bSawSeveral = false;
};

// The window shows no device for one that is there but cannot be used (held by
// another program, or not this user's to open); its log says why and what to
// do, once when such a device appears, not on every tick.
class CUnusableLog {
public:
    // The log lines for the devices in `unusable` that the last call did not
    // have (a device that goes and comes back is told again).
    std::vector<std::string> Changes(const std::vector<CUnusableDevice>& unusable);

private:
    std::vector<CUnusableDevice> m_told;
};

// What the identity job reports when it ends.
enum class IdentifyMessage : int {
    Done,    // identity, course data date and the device's path are in the document
    Failed,  // a read failed; its text has been shown
};

// Reads the identity and then the course data date of the context's device, on
// a worker, so that a slow or silent device never freezes the window. On
// success the device's path goes into the document last, with the fields it
// describes. The page reads the document once the job has ended.
void IdentifyJob(CTeelinkDoc& doc, const CJobContext& context,
                 IWorkerReport<IdentifyMessage>& report);

}  // namespace teelink
