// md=3, md=4, md=13: the 7-byte package header.
#include <cstdlib>
#include <span>

#include "common/ByteOrder.h"
#include "updateclient/Answers.h"

namespace teelink {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto announced = ParsePackageHeader(std::span(data, size));
    const bool valid = size >= PACKAGE_HEADER_SIZE && HasAnswerFraming(std::span(data, size));
    if (announced.has_value() != valid) {
        std::abort();
    }
    if (announced) {
        if (*announced != teelink::LoadLe32(data + 3)) {
            std::abort();
        }
    }
    return 0;
}

}  // namespace teelink
