#pragma once

// One Teelink at a time on a device. Linux hidraw has no exclusive open, and
// an emulated device queues a second connection behind the first: without a
// lock two tools could write one device at once, their blocks interleaved.

#include <string>

namespace teelink {

enum class ClaimResult {
    Taken,         // this process holds the device now
    InUse,         // another program holds it
    NoPermission,  // this user may not open the file
    Unavailable,   // the lock cannot be taken at all (no such file, no locks there)
};

// A claim of this process on one device: an advisory lock (flock) on a file,
// the hidraw node itself or a lock file beside an emulated device's socket.
// Claims on one file within a process share the lock, so a job can hold the
// device across its channels while each channel holds it too; the lock goes
// when the last claim does. Other processes that take the same lock (every
// Teelink) are kept out; programs that take none are not. Without flock
// (Windows) a claim is always taken and locks nothing.
class CDeviceClaim {
public:
    CDeviceClaim() = default;
    ~CDeviceClaim();
    CDeviceClaim(CDeviceClaim&& other) noexcept;
    CDeviceClaim& operator=(CDeviceClaim&& other) noexcept;
    CDeviceClaim(const CDeviceClaim&) = delete;
    CDeviceClaim& operator=(const CDeviceClaim&) = delete;

    // Claims the device whose lock is the file at `lockPath`, creating the
    // file when `create` (a lock file of our own; never a device node).
    ClaimResult Take(const std::string& lockPath, bool create);
    void Release();
    bool Held() const { return !m_key.empty(); }

private:
    std::string m_key;  // the lock file's path while held
};

}  // namespace teelink
