#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace teelink {

// An allocator whose containers leave new elements default-initialised: for
// bytes, untouched. A buffer that a download fills would otherwise be
// zero-filled first, paying every page fault before the first byte arrives.
template <typename T>
struct CDefaultInitAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = CDefaultInitAllocator<U>;
    };
    CDefaultInitAllocator() = default;
    template <typename U>
    CDefaultInitAllocator(const CDefaultInitAllocator<U>& other) noexcept
        : std::allocator<T>(other) {}

    template <typename U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// Bytes that are written before they are read.
using CByteBuffer = std::vector<uint8_t, CDefaultInitAllocator<uint8_t>>;

}  // namespace teelink
