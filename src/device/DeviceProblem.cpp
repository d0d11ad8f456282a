#include "device/DeviceProblem.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#ifdef __linux__
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

namespace teelink {

std::string DescribeUnusable(const CUnusableDevice& device, const ShownFn& shown) {
    switch (device.problem) {
        case DeviceProblem::InUse:
            return "the device at " + shown(device.path) + " is in use by " +
                   (device.holder.empty()
                        ? std::string("another program (another Teelink window or teelink-cli)")
                        : shown(device.holder));
        case DeviceProblem::NoPermission:
            return "the device at " + shown(device.path) +
                   " is connected, but this user may not open it";
    }
    return {};
}

std::string RemedyFor(DeviceProblem problem) {
    switch (problem) {
        case DeviceProblem::InUse:
            return "try again once it has finished";
        case DeviceProblem::NoPermission:
#ifdef __linux__
            return "install the rule file /usr/lib/udev/rules.d/70-zorvik.rules (the Teelink "
                   "package installs it), then plug the device in again";
#else
            return "ask the computer's administrator for access to the device, then plug it in "
                   "again";
#endif
    }
    return {};
}

const char* ProblemKey(DeviceProblem problem) {
    return problem == DeviceProblem::InUse ? "in_use" : "permission";
}

namespace {

#ifdef __linux__
// A line of /proc/locks: "1: FLOCK  ADVISORY  WRITE 1234 08:02:5678 0 EOF",
// the file as its filesystem's device (hexadecimal major:minor) and inode.
bool LockLineHolds(const std::string& line, const struct stat& file, long& pid) {
    std::istringstream in(line);
    std::string number, kind, mode, access, where;
    if (!(in >> number >> kind >> mode >> access >> pid >> where) || kind != "FLOCK") {
        return false;
    }
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) {
        return false;
    }
    return major == ::major(file.st_dev) && minor == ::minor(file.st_dev) &&
           inode == static_cast<unsigned long long>(file.st_ino);
}
#endif

}  // namespace

std::string LockHolder(const std::string& path) {
#ifdef __linux__
    struct stat file {};
    if (::stat(path.c_str(), &file) != 0) {
        return {};
    }
    std::ifstream locks("/proc/locks");
    std::string line;
    long pid = 0;
    while (std::getline(locks, line)) {
        if (LockLineHolds(line, file, pid) && pid > 0) {
            std::string name;
            std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/comm"), name);
            return (name.empty() ? std::string("a program") : name) + " (process " +
                   std::to_string(pid) + ")";
        }
    }
#else
    (void)path;
#endif
    return {};
}

}  // namespace teelink
