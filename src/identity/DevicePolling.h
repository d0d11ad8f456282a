#pragma once

#include <string>
#include <vector>

#include "core/JobContext.h"
#include "device/DeviceProblem.h"
#include "device/IdentityRecord.h"

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

// What the identity job learns of a device.
struct CIdentified {
    DeviceIdentity identity;
    std::wstring courseDate;
    std::string path;
};

// Reads the identity and then the course data date of the context's device, on
// a worker, so that a slow or silent device never freezes the window.
Result<CIdentified> IdentifyJob(const CJobContext& context);

// The job's result into the document, on its thread: the device's fields and,
// last, its path; after a failure the document describes no device that was
// read (its path is cleared).
void ApplyIdentified(CTeelinkDoc& doc, const Result<CIdentified>& identified);

}  // namespace teelink
