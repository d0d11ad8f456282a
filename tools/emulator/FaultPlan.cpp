#include "emulator/FaultPlan.h"

namespace teelink {

namespace {

bool Selects(const std::optional<uint8_t>& selector, uint8_t code) {
    return selector && (*selector == code || *selector == CEmulatorFaults::ANY_COMMAND);
}

}  // namespace

void CFaultPlan::Begin(uint64_t sequence) {
    // A device that fails midway: its faults wait for their command, but
    // unplugging counts from the first command whatever they say.
    const bool faultsAct = !m_configured.fromCommand || sequence >= *m_configured.fromCommand;
    m_active = faultsAct ? m_configured : CEmulatorFaults{};
    m_unplug = m_configured.unplugAfterCommands &&
               sequence >= static_cast<uint64_t>(*m_configured.unplugAfterCommands);
}

bool CFaultPlan::WithholdsAck(uint8_t code) const {
    return Selects(m_active.noAckFor, code);
}

bool CFaultPlan::RefusesAck(uint8_t code) const {
    return Selects(m_active.refuseAckFor, code);
}

bool CFaultPlan::StallsAfter(int moved) const {
    return m_active.stallAfterPayloads && moved == *m_active.stallAfterPayloads;
}

}  // namespace teelink
