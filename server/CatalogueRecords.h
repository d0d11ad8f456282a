#pragma once

#include <cstdint>
#include <string>

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
