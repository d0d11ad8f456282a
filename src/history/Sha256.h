#pragma once

// SHA-256 of a byte range as 64 lower-case hex digits, through the platform's
// own implementation (OpenSSL's libcrypto; BCrypt on Windows).

#include <cstddef>
#include <cstdint>
#include <string>

namespace teelink {

std::string Sha256Hex(const uint8_t* data, size_t size);

}  // namespace teelink
