#include "emulator/DeviceCommands.h"

#include <cstring>
#include <string>

#include "common/ByteOrder.h"
#include "device/Protocol.h"

namespace teelink {

namespace {

// The word of a refused acknowledgement: anything but the ACK word will do.
constexpr uint32_t REFUSAL_WORD = 0x55555555;
// Acknowledgement bytes after the identity record carry no meaning; a real
// device leaves whatever is there.
constexpr uint8_t ACK_TAIL_FILL = 0xEE;

}  // namespace

bool CDeviceEmulator::CCommands::ServeAll() {
    while (m_io == Io::Ok && !m_plan.UnplugsAfterThis()) {
        uint8_t command[REPORT_PAYLOAD_SIZE];
        if ((m_io = m_session.ReceiveCommand(command)) != Io::Ok) {
            break;
        }
        CCommandRecord record = Begin(command);
        Dispatch(record);
        m_device.Record(std::move(record));
    }
    return m_plan.UnplugsAfterThis() && m_io != Io::Stopped;
}

CCommandRecord CDeviceEmulator::CCommands::Begin(const uint8_t command[REPORT_PAYLOAD_SIZE]) {
    CCommandRecord record;
    record.word = teelink::LoadLe32(command);
    record.address = teelink::LoadLe32(command + 4);
    record.checksum = teelink::LoadLe32(command + 8);
    {
        std::lock_guard lock(m_device.m_mutex);
        record.sequence = ++m_device.m_status.commands;
        m_device.m_changed.notify_all();  // watchers may act while the command is served
    }
    m_plan.Begin(record.sequence);
    return record;
}

void CDeviceEmulator::CCommands::Dispatch(CCommandRecord& record) {
    // Only a block write takes more from the tool than its command report.
    if (record.word != CommandWord(CMD_WRITE_BLOCK)) {
        InputEnded();
    }
    switch (record.word) {
        case CommandWord(CMD_READ_IDENTITY):
            return ReadIdentity(record);
        case CommandWord(CMD_READ_BLOCK):
            return ReadBlock(record);
        case CommandWord(CMD_READ_FAVORITES):
            return ReadFavorites(record);
        case CommandWord(CMD_WRITE_BLOCK):
            return WriteBlock(record);
        case CommandWord(CMD_END):
            return End(record);
        default:
            return Unknown(record);
    }
}

void CDeviceEmulator::CCommands::ReadIdentity(CCommandRecord& record) {
    if (Acknowledge(CMD_READ_IDENTITY, record, m_device.m_config.identity.data())) {
        record.outcome = "ok";
    }
}

void CDeviceEmulator::CCommands::ReadBlock(CCommandRecord& record) {
    if (Acknowledge(CMD_READ_BLOCK, record)) {
        SendPayloads(m_device.ReadMemory(record.address, BLOCK_SIZE), record);
    }
}

void CDeviceEmulator::CCommands::ReadFavorites(CCommandRecord& record) {
    if (Acknowledge(CMD_READ_FAVORITES, record)) {
        const auto& table = m_device.m_config.favorites;
        std::vector<uint8_t> transfer(FAVORITES_TRANSFER_SIZE, 0);
        std::copy(table.begin(), table.end(), transfer.begin());
        SendPayloads(transfer, record);
    }
}

void CDeviceEmulator::CCommands::WriteBlock(CCommandRecord& record) {
    if (!Acknowledge(CMD_WRITE_BLOCK, record)) {
        return;
    }
    std::vector<uint8_t> block(BLOCK_SIZE);
    const bool whole = MovePayloads(PAYLOADS_PER_BLOCK, record, [&](size_t k) {
        return m_session.Receive(block.data() + k * REPORT_PAYLOAD_SIZE);
    });
    if (!whole) {
        return;
    }
    // Flash is not touched with a block that arrived damaged.
    const bool intact = BlockChecksum(block.data()) == record.checksum;
    if (!intact) {
        record.outcome = "refused: checksum";
    } else {
        if (m_plan.AltersStored()) {
            block[0] = static_cast<uint8_t>(~block[0]);
        }
        m_device.WriteMemory(record.address, block);
        record.outcome = m_plan.AltersStored() ? "fault: stored altered" : "ok";
        if (m_plan.WithholdsFinalAck()) {
            record.outcome = "fault: stored, no final ack";
            m_io = m_session.Stall();
            return;
        }
    }
    InputEnded();
    SendWord(intact ? ACK_WORD : REFUSAL_WORD);
}

void CDeviceEmulator::CCommands::End(CCommandRecord& record) {
    if (m_plan.IgnoresEnd()) {
        record.outcome = "fault: ignored";
        return;
    }
    record.outcome = "ok: firmware update started";
    std::lock_guard lock(m_device.m_mutex);
    ++m_device.m_status.endCommands;
}

void CDeviceEmulator::CCommands::Unknown(CCommandRecord& record) {
    SendWord(REFUSAL_WORD);
    record.outcome = "refused: unknown command";
}

bool CDeviceEmulator::CCommands::Acknowledge(uint8_t code, CCommandRecord& record,
                                             const uint8_t* identity) {
    if (m_plan.WithholdsAck(code)) {
        record.outcome = "fault: no ack";
        m_io = m_session.Stall();
        return false;
    }
    uint8_t ack[REPORT_PAYLOAD_SIZE] = {};
    const bool refuse = m_plan.RefusesAck(code);
    teelink::StoreLe32(ack, refuse ? REFUSAL_WORD : ACK_WORD);
    if (identity != nullptr) {
        std::memcpy(ack + IDENTITY_ACK_OFFSET, identity, IDENTITY_RECORD_SIZE);
        std::memset(ack + IDENTITY_ACK_OFFSET + IDENTITY_RECORD_SIZE, ACK_TAIL_FILL,
                    REPORT_PAYLOAD_SIZE - IDENTITY_ACK_OFFSET - IDENTITY_RECORD_SIZE);
    }
    m_io = m_session.Send(ack);
    if (refuse) {
        record.outcome = "fault: refused ack";
        return false;
    }
    return m_io == Io::Ok;
}

void CDeviceEmulator::CCommands::SendWord(uint32_t word) {
    uint8_t payload[REPORT_PAYLOAD_SIZE] = {};
    teelink::StoreLe32(payload, word);
    m_io = m_session.Send(payload);
}

void CDeviceEmulator::CCommands::SendPayloads(const std::vector<uint8_t>& bytes,
                                              CCommandRecord& record) {
    const bool whole = MovePayloads(bytes.size() / REPORT_PAYLOAD_SIZE, record, [&](size_t k) {
        return m_session.Send(bytes.data() + k * REPORT_PAYLOAD_SIZE);
    });
    if (whole) {
        record.outcome = "ok";
    }
}

bool CDeviceEmulator::CCommands::MovePayloads(size_t count, CCommandRecord& record,
                                              const std::function<Io(size_t)>& move) {
    for (size_t k = 0; k < count; ++k) {
        if (m_plan.StallsAfter(record.payloads)) {
            record.outcome = "fault: stalled after " + std::to_string(record.payloads);
            m_io = m_session.Stall();
            return false;
        }
        if ((m_io = move(k)) != Io::Ok) {
            record.outcome = "abandoned after " + std::to_string(record.payloads);
            return false;
        }
        ++record.payloads;
        std::lock_guard lock(m_device.m_mutex);
        ++m_device.m_status.payloads;
        m_device.m_changed.notify_all();  // a test may act in the middle of a block
    }
    return true;
}

void CDeviceEmulator::CCommands::InputEnded() {
    if (m_plan.UnplugsAfterThis()) {
        m_session.StopTaking();
    }
}

}  // namespace teelink
