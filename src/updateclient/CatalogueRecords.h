#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace teelink {

// One area of the area list (md=14).
struct CAreaList {
    std::wstring code;
    std::wstring name;
};

inline constexpr uint32_t FLAG_HOLEVIEW = 1;

// One entry of a course directory level (md=6 to md=12).
struct CItemList {
    uint16_t id = 0;
    uint8_t sub = 0;
    uint16_t number = 0;
    uint32_t flags = 0;
    std::wstring name;
};

// One favourite course slot as the device and the server describe it.
struct FavoriteSlot {
    uint16_t n = 0;  // first course number; 0 marks an empty slot
    uint8_t s = 0;
    uint16_t g = 0;
    std::array<char, 11> deviceDate{};  // ten 8-bit characters and a zero byte
    std::array<char, 11> serverDate{};
    std::wstring name;

    void Reset() { *this = FavoriteSlot{}; }
};

inline constexpr int FAVORITE_SLOT_COUNT = 16;

}  // namespace teelink
