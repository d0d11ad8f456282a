// md=3, md=4, md=13: the 7-byte package header.
#include <cstdlib>
#include <span>

#include "server/Answers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto announced = ParsePackageHeader(std::span(data, size));
    const bool valid = size >= PACKAGE_HEADER_SIZE && HasAnswerFraming(std::span(data, size));
    if (announced.has_value() != valid) {
        std::abort();
    }
    if (announced) {
        const uint32_t expected =
            data[3] | (data[4] << 8) | (data[5] << 16) | (static_cast<uint32_t>(data[6]) << 24);
        if (*announced != expected) {
            std::abort();
        }
    }
    return 0;
}
