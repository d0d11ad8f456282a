#pragma once

// The transfer rule every transport keeps: a report counts only when all of it
// moved, within the transfer limit. A wait interrupted by a signal is taken up
// again with what is left of the limit rather than failing at once.

#include <chrono>
#include <cstddef>
#include <functional>

namespace teelink {

// One attempt at the transfer, given the milliseconds left: returns the bytes
// moved, 0 for a wait that ran out, or a negative value for a failure, setting
// `interrupted` when that failure was only a signal.
using TransferAttempt = std::function<int(int remainingMs, bool& interrupted)>;

// True when an attempt moved exactly `whole` bytes before `timeoutMs` passed.
bool WholeReportWithin(int timeoutMs, size_t whole, const TransferAttempt& attempt);

}  // namespace teelink
