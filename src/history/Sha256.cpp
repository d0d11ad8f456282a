#include "history/Sha256.h"

#include <algorithm>
#include <array>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

namespace teelink {

namespace {

std::string Hex(const std::array<unsigned char, 32>& digest) {
    std::string out;
    for (const unsigned char byte : digest) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", byte);
        out += two;
    }
    return out;
}

}  // namespace

#ifdef _WIN32

std::string Sha256Hex(const uint8_t* data, size_t size) {
    std::array<unsigned char, 32> digest{};
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) {
        return {};
    }
    bool ok = true;
    // BCryptHash takes a ULONG; a package is far below 4 GiB, but feed it in parts.
    BCRYPT_HASH_HANDLE hash = nullptr;
    ok = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0;
    for (size_t done = 0; ok && done < size;) {
        const ULONG part = static_cast<ULONG>(std::min<size_t>(size - done, 1u << 30));
        ok = BCryptHashData(hash, const_cast<PUCHAR>(data + done), part, 0) == 0;
        done += part;
    }
    ok = ok && BCryptFinishHash(hash, digest.data(), 32, 0) == 0;
    if (hash != nullptr) {
        BCryptDestroyHash(hash);
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return ok ? Hex(digest) : std::string();
}

#else

std::string Sha256Hex(const uint8_t* data, size_t size) {
    std::array<unsigned char, 32> digest{};
    unsigned int length = 0;
    if (EVP_Digest(data, size, digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
        length != 32) {
        return {};
    }
    return Hex(digest);
}

#endif

}  // namespace teelink
