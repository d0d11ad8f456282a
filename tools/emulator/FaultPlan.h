#pragma once

#include <cstdint>

#include "emulator/DeviceEmulator.h"

namespace teelink {

// Which of the configured faults hit the command being served, and whether the
// device drops off the bus once it is done with it. Handlers ask; only this
// class knows how faults are selected and when they start to act.
class CFaultPlan {
public:
    explicit CFaultPlan(CEmulatorFaults faults) : m_configured(faults) {}

    // Settles the faults of the command with this sequence number (1 is the
    // first command of the device's life).
    void Begin(uint64_t sequence);

    bool WithholdsAck(uint8_t code) const;
    bool RefusesAck(uint8_t code) const;
    // True when a data phase stops once `moved` payloads have gone either way.
    bool StallsAfter(int moved) const;
    bool WithholdsFinalAck() const { return m_active.noFinalAck; }
    bool IgnoresEnd() const { return m_active.ignoreEnd; }
    bool AltersStored() const { return m_active.alterStored; }
    // The device unplugs once the current command is done.
    bool UnplugsAfterThis() const { return m_unplug; }

private:
    CEmulatorFaults m_configured;
    CEmulatorFaults m_active;  // nothing before the first command
    bool m_unplug = false;
};

}  // namespace teelink
