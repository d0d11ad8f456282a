#pragma once

// A matching device that is there but cannot be used: it is not counted (the
// window shows no device), yet whoever asks is told why and what to do.

#include <functional>
#include <string>

namespace teelink {

enum class DeviceProblem {
    InUse,         // another program holds it
    NoPermission,  // this user may not open it
};

struct CUnusableDevice {
    std::string path;
    DeviceProblem problem = DeviceProblem::InUse;
    // The program that holds it, as "name (process N)", where the system can
    // tell; empty otherwise.
    std::string holder;

    bool operator==(const CUnusableDevice&) const = default;
};

using UnusableFn = std::function<void(const CUnusableDevice&)>;

// What happened: "the device at P is in use by ..." or "... but this user may
// not open it". `shown` makes the path and the holder's name fit to show
// (a terminal escapes what it would obey).
using ShownFn = std::function<std::string(const std::string&)>;
std::string DescribeUnusable(
    const CUnusableDevice& device,
    const ShownFn& shown = [](const std::string& text) { return text; });
// What to do about it: wait for the other program, or install the rule file
// (Linux) or ask for access, then plug the device in again.
std::string RemedyFor(DeviceProblem problem);
// "in_use" or "permission", for machine-read output.
const char* ProblemKey(DeviceProblem problem);

// The program holding the advisory lock on the file at `path`, as "name
// (process N)"; empty where the system does not say (no /proc/locks).
std::string LockHolder(const std::string& path);

}  // namespace teelink
