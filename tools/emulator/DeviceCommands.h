#pragma once

// The device's commands over one connection (internal to emulator/).

#include <functional>
#include <vector>

#include "emulator/DeviceEmulator.h"
#include "emulator/EmulatorSession.h"
#include "emulator/FaultPlan.h"

namespace teelink {

// One handler per command word; the fault plan decides what goes wrong.
class CDeviceEmulator::CCommands {
public:
    CCommands(CDeviceEmulator& device, CSession& session)
        : m_device(device), m_session(session), m_plan(device.m_config.faults) {}

    // Serves commands until the connection ends, the device is stopped, or the
    // plan unplugs it. True when the device is to unplug itself now.
    bool ServeAll();

private:
    CCommandRecord Begin(const uint8_t command[REPORT_PAYLOAD_SIZE]);
    void Dispatch(CCommandRecord& record);

    void ReadIdentity(CCommandRecord& record);
    void ReadBlock(CCommandRecord& record);
    void ReadFavorites(CCommandRecord& record);
    void WriteBlock(CCommandRecord& record);
    void End(CCommandRecord& record);
    void Unknown(CCommandRecord& record);

    // The acknowledgement that opens every command but the end notice; true
    // when the command goes on.
    bool Acknowledge(uint8_t code, CCommandRecord& record, const uint8_t* identity = nullptr);
    void SendWord(uint32_t word);
    void SendPayloads(const std::vector<uint8_t>& bytes, CCommandRecord& record);
    // Moves `count` payloads with `move(k)`, stopping where the plan stalls;
    // true when all of them went.
    bool MovePayloads(size_t count, CCommandRecord& record, const std::function<Io(size_t)>& move);
    // Called once the tool has sent everything the current command takes.
    void InputEnded();

    CDeviceEmulator& m_device;
    CSession& m_session;
    CFaultPlan m_plan;
    Io m_io = Io::Ok;
};

}  // namespace teelink
