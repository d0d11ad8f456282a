#pragma once

namespace teelink {

// The exit status of teelink-cli; scripts branch on these, so they never change
// meaning (the man page and --help list them).
inline constexpr int CLI_EXIT_DONE = 0;
inline constexpr int CLI_EXIT_FAILED = 1;  // the reason is on standard error
inline constexpr int CLI_EXIT_USAGE = 2;
inline constexpr int CLI_EXIT_NO_DEVICE = 3;  // none, or several without --device
inline constexpr int CLI_EXIT_NO_SERVER = 4;  // the update server could not be reached
// A device is connected, but this user may not open it (no udev rule yet).
inline constexpr int CLI_EXIT_NO_ACCESS = 5;
// update --verify: the device refused to read back what was written, so
// nothing says that it holds it (a difference read back is CLI_EXIT_FAILED).
inline constexpr int CLI_EXIT_NOT_VERIFIED = 6;
inline constexpr int CLI_EXIT_CANCELLED = 130;  // what a shell reports for Ctrl-C

}  // namespace teelink
