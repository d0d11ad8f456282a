#include "device/Protocol.h"

#include "common/ByteOrder.h"

#include <cstring>

namespace teelink {

namespace {

void BuildCommand(CDeviceChannel& channel, uint8_t code, uint32_t address, uint32_t checksum) {
    channel.command.fill(0);
    teelink::StoreLe32(&channel.command[0], CommandWord(code));
    teelink::StoreLe32(&channel.command[4], address);
    teelink::StoreLe32(&channel.command[8], checksum);
}

bool Acknowledged(const CDeviceChannel& channel) {
    return teelink::LoadLe32(channel.command.data()) == ACK_WORD;
}

// Sends the command and takes its acknowledgement: the opening of every
// command but the end notice.
int Exchange(CDeviceChannel& channel, int sendFailure) {
    if (!SendReport(channel, channel.command.data())) {
        return sendFailure;
    }
    if (!ReceiveReport(channel, channel.command.data())) {
        return ERR_READ_SET_ACK;
    }
    return Acknowledged(channel) ? 0 : ERR_ACK;
}

int ReadBlockCode(CDeviceChannel& channel, uint32_t address) {
    BuildCommand(channel, CMD_READ_BLOCK, address, 0);
    if (const int code = Exchange(channel, ERR_READ_SET_ADDR); code != 0) {
        return code;
    }
    for (size_t k = 0; k < PAYLOADS_PER_BLOCK; ++k) {
        if (!ReceiveReport(channel, channel.data.data() + k * REPORT_PAYLOAD_SIZE)) {
            return ERR_READ_DATA;
        }
    }
    return 0;
}

int WriteBlockCode(CDeviceChannel& channel, uint32_t address, const uint8_t block[BLOCK_SIZE]) {
    BuildCommand(channel, CMD_WRITE_BLOCK, address, BlockChecksum(block));
    if (!SendReport(channel, channel.command.data())) {
        return ERR_WRITE_SET_ADDR;
    }
    std::memset(channel.command.data(), 0, 16);
    if (!ReceiveReport(channel, channel.command.data())) {
        return ERR_READ_SET_ACK;
    }
    if (!Acknowledged(channel)) {
        return ERR_ACK;
    }
    for (size_t k = 0; k < PAYLOADS_PER_BLOCK; ++k) {
        if (!SendReport(channel, block + k * REPORT_PAYLOAD_SIZE)) {
            return ERR_WRITE_DATA;
        }
    }
    if (!ReceiveReport(channel, channel.command.data())) {
        return ERR_READ_SET_ACK;
    }
    return Acknowledged(channel) ? 0 : ERR_ACK;
}

int ReadFavoritesTableCode(CDeviceChannel& channel) {
    BuildCommand(channel, CMD_READ_FAVORITES, 0, 0);
    if (const int code = Exchange(channel, ERR_READ_SET_ADDR); code != 0) {
        return code;
    }
    for (size_t offset = 0; offset < FAVORITES_TABLE_SIZE; offset += REPORT_PAYLOAD_SIZE) {
        if (!ReceiveReport(channel, channel.data.data() + offset)) {
            return ERR_READ_DATA;
        }
    }
    return 0;
}

int ReadIdentityCode(CDeviceChannel& channel) {
    BuildCommand(channel, CMD_READ_IDENTITY, 0, 0);
    if (const int code = Exchange(channel, ERR_READ_SET_ADDR); code != 0) {
        return code;
    }
    std::memcpy(channel.data.data(), channel.command.data() + IDENTITY_ACK_OFFSET,
                IDENTITY_RECORD_SIZE);
    return 0;
}

// The failure of a code, with its text.
Status FromCode(int code) {
    if (code == 0) {
        return Success();
    }
    return CFailure(DeviceErrorText(code), code);
}

}  // namespace

Status ReadBlock(CDeviceChannel& channel, uint32_t address) {
    return FromCode(ReadBlockCode(channel, address));
}

Status WriteBlock(CDeviceChannel& channel, uint32_t address, const uint8_t block[BLOCK_SIZE]) {
    return FromCode(WriteBlockCode(channel, address, block));
}

Status ReadFavoritesTable(CDeviceChannel& channel) {
    return FromCode(ReadFavoritesTableCode(channel));
}

Status ReadIdentity(CDeviceChannel& channel) {
    return FromCode(ReadIdentityCode(channel));
}

void SendEnd(CDeviceChannel& channel) {
    BuildCommand(channel, CMD_END, 0, 0);
    SendReport(channel, channel.command.data());
}

uint32_t BlockChecksum(const uint8_t block[BLOCK_SIZE]) {
    uint32_t sum = 0;
    for (size_t i = 0; i < BLOCK_SIZE; ++i) {
        sum += block[i];
    }
    return sum;
}

const char* DeviceErrorText(int code) {
    switch (code) {
        case ERR_WRITE_SET_ADDR:
            return "write: set addr error";
        case ERR_READ_SET_ACK:
            return "read: set ack error";
        case ERR_ACK:
            return "ack error";
        case ERR_WRITE_DATA:
            return "write data error";
        case ERR_READ_SET_ADDR:
            return "read: set addr error";
        case ERR_READ_DATA:
            return "read data error";
        default:
            return "unknown error";
    }
}

}  // namespace teelink
