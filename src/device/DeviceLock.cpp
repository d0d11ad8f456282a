#include "device/DeviceLock.h"

#include <map>
#include <mutex>
#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace teelink {

namespace {

// The locks this process holds, by file, with the claims on each: a second
// open file of ours would conflict with the first one's lock.
struct CHeldLock {
    int fd = -1;
    int claims = 0;
};

std::mutex& TableMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, CHeldLock>& Table() {
    static std::map<std::string, CHeldLock> table;
    return table;
}

#ifndef _WIN32
// The locked file's descriptor, or -1 with `result` saying why not.
int LockFile(const std::string& path, bool create, ClaimResult& result) {
    // A device node is opened read-write, as the channel will: a node this
    // user may not write is not a device this user can use.
    const int flags = O_RDWR | O_CLOEXEC | O_NOCTTY | (create ? O_CREAT | O_NOFOLLOW : 0);
    const int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0) {
        result = errno == EACCES || errno == EPERM ? ClaimResult::NoPermission
                                                   : ClaimResult::Unavailable;
        return -1;
    }
    int locked = 0;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        result = errno == EWOULDBLOCK ? ClaimResult::InUse : ClaimResult::Unavailable;
        ::close(fd);
        return -1;
    }
    result = ClaimResult::Taken;
    return fd;
}
#endif

}  // namespace

CDeviceClaim::~CDeviceClaim() {
    Release();
}

CDeviceClaim::CDeviceClaim(CDeviceClaim&& other) noexcept : m_key(std::exchange(other.m_key, {})) {}

CDeviceClaim& CDeviceClaim::operator=(CDeviceClaim&& other) noexcept {
    if (this != &other) {
        Release();
        m_key = std::exchange(other.m_key, {});
    }
    return *this;
}

ClaimResult CDeviceClaim::Take(const std::string& lockPath, bool create) {
    Release();
    if (lockPath.empty()) {
        return ClaimResult::Unavailable;
    }
    std::lock_guard lock(TableMutex());
    CHeldLock& held = Table()[lockPath];
    if (held.claims == 0) {
        ClaimResult result = ClaimResult::Taken;
#ifndef _WIN32
        held.fd = LockFile(lockPath, create, result);
#else
        (void)create;
#endif
        if (result != ClaimResult::Taken) {
            Table().erase(lockPath);
            return result;
        }
    }
    ++held.claims;
    m_key = lockPath;
    return ClaimResult::Taken;
}

void CDeviceClaim::Release() {
    if (m_key.empty()) {
        return;
    }
    std::lock_guard lock(TableMutex());
    const auto it = Table().find(m_key);
    if (it != Table().end() && --it->second.claims == 0) {
#ifndef _WIN32
        if (it->second.fd >= 0) {
            ::close(it->second.fd);  // the lock goes with the last descriptor
        }
#endif
        Table().erase(it);
    }
    m_key.clear();
}

}  // namespace teelink
