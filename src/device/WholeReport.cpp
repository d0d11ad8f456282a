#include "device/WholeReport.h"

namespace teelink {

bool WholeReportWithin(int timeoutMs, size_t whole, const TransferAttempt& attempt) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        bool interrupted = false;
        const int moved = attempt(static_cast<int>(left > 0 ? left : 0), interrupted);
        if (moved >= 0 || !interrupted) {
            // A short transfer is no report: padding it would pass off zeros
            // as the device's answer.
            return moved >= 0 && static_cast<size_t>(moved) == whole;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
    }
}

}  // namespace teelink
