// md=1: the four version fields of the latest-versions answer.
#include <cstdlib>
#include <span>

#include "updateclient/Answers.h"

namespace teelink {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    const auto fields = ParseLatestVersions(bytes);
    if (fields.has_value() != HasAnswerFraming(bytes)) {
        std::abort();
    }
    if (fields) {
        // A field is what stands before a ':' within its first 20 bytes.
        for (const std::string& field : *fields) {
            if (field.size() > 19 || field.find(':') != std::string::npos) {
                std::abort();
            }
        }
    }
    return 0;
}

}  // namespace teelink
