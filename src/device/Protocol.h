#pragma once

#include <cstdint>

#include "device/DeviceChannel.h"

namespace teelink {

// Command codes; the word on the wire is 0x55AA5500 plus the code, except for
// the identity command.
inline constexpr uint8_t CMD_END = 0x00;
inline constexpr uint8_t CMD_WRITE_BLOCK = 0x01;
inline constexpr uint8_t CMD_READ_BLOCK = 0x02;
inline constexpr uint8_t CMD_READ_FAVORITES = 0x05;
inline constexpr uint8_t CMD_READ_IDENTITY = 0x06;

inline constexpr uint32_t CMD_WORD_BASE = 0x55AA5500;
inline constexpr uint32_t CMD_WORD_IDENTITY = 0x55AA5606;
inline constexpr uint32_t ACK_WORD = 0xAAAAAAAA;

// The command word the device expects for a code.
constexpr uint32_t CommandWord(uint8_t code) {
    return code == CMD_READ_IDENTITY ? CMD_WORD_IDENTITY : CMD_WORD_BASE + code;
}

// Codes of the device operations' failures.
inline constexpr int ERR_WRITE_SET_ADDR = -1;
inline constexpr int ERR_READ_SET_ACK = -2;
inline constexpr int ERR_ACK = -3;
inline constexpr int ERR_WRITE_DATA = -4;
inline constexpr int ERR_READ_SET_ADDR = -5;
inline constexpr int ERR_READ_DATA = -6;

inline constexpr size_t PAYLOADS_PER_BLOCK = BLOCK_SIZE / REPORT_PAYLOAD_SIZE;
inline constexpr size_t FAVORITES_TRANSFER_SIZE = 256;
inline constexpr size_t FAVORITES_TABLE_SIZE = 240;
inline constexpr size_t IDENTITY_RECORD_SIZE = 32;
inline constexpr size_t IDENTITY_ACK_OFFSET = 4;

// Device addresses the tool reads.
inline constexpr uint32_t COURSE_HEADER_ADDRESS = 0x280000;
inline constexpr uint32_t LOG_IMAGE_ADDRESS = 0x23000;
inline constexpr uint32_t LOG_IMAGE_SIZE = 0x10000;

// Each operation runs one command on an open channel; a failure carries one of
// the codes above and its DeviceErrorText. None opens or closes the channel or
// shows anything: the job that runs it closes the channel, and its end shows
// the text.

// On success channel.data holds the 4096 bytes at address; on ERR_READ_DATA it
// holds the pieces that arrived.
Status ReadBlock(CDeviceChannel& channel, uint32_t address);
Status WriteBlock(CDeviceChannel& channel, uint32_t address, const uint8_t block[BLOCK_SIZE]);
// On success channel.data[0..255] holds the four payloads, the table in the first 240.
Status ReadFavoritesTable(CDeviceChannel& channel);
// On success channel.data[0..31] holds the identity record.
Status ReadIdentity(CDeviceChannel& channel);
// Tells the device to start its firmware update; nothing comes back.
void SendEnd(CDeviceChannel& channel);

// Sum of the bytes; at most 4096 * 255, so it never wraps.
uint32_t BlockChecksum(const uint8_t block[BLOCK_SIZE]);
const char* DeviceErrorText(int code);

}  // namespace teelink
