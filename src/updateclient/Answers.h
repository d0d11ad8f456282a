#pragma once

// Parsers of the update server's answers: functions over bytes, no network, so
// that each is tested directly and fuzzed.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "updateclient/CatalogueRecords.h"

namespace teelink {

struct FavoriteSlot;

// Every answer starts with "TL" and a zero byte.
bool HasAnswerFraming(std::span<const uint8_t> bytes);

// md=1 and md=14 are read once into a zero-filled buffer of this size.
inline constexpr size_t STARTUP_ANSWER_SIZE = 1024;

// md=1: tool, R7, R8 and KS2 versions as 8-bit texts; nullopt when the framing is wrong.
std::optional<std::array<std::string, 4>> ParseLatestVersions(std::span<const uint8_t> buffer);

// md=14 into `out` (appended in order): 0, -2 framing, -3 a record runs past the
// declared length or past the buffer (records before it stay appended).
int ParseAreaList(std::span<const uint8_t> buffer, std::vector<CAreaList>& out);

// Catalogue list (md=6 to md=12) header of 5 bytes: L, or nullopt when malformed.
std::optional<uint16_t> ParseListHeader(std::span<const uint8_t> header);
// The L + 1 body bytes into `out`; false when a record runs past the body (the
// records before it stay appended).
bool ParseListBody(std::span<const uint8_t> body, std::vector<CItemList>& out);

// md=5 header of up to 4 bytes (one read of 4): K, or nullopt when the framing is
// missing. An answer that ends after the framing has K = 0.
std::optional<uint8_t> ParseCourseInfoHeader(std::span<const uint8_t> header);
// The K bytes after the header: the server's data date and the course name. An
// answer shorter than the ten date characters leaves the missing ones zero.
void ApplyCourseInfo(std::span<const uint8_t> info, FavoriteSlot& slot);

// Package header of 7 bytes: the package size S, or nullopt when malformed.
inline constexpr size_t PACKAGE_HEADER_SIZE = 7;
std::optional<uint32_t> ParsePackageHeader(std::span<const uint8_t> header);

}  // namespace teelink
