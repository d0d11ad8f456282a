// md=5: the course information header, then the K bytes of date and name, of
// which a short answer brings fewer.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "core/TeelinkDoc.h"
#include "updateclient/Answers.h"

namespace teelink {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t headerSize = std::min<size_t>(size, 4);
    const auto count = ParseCourseInfoHeader(std::span(data, headerSize));
    if (!count) {
        return 0;
    }
    const size_t received = std::min<size_t>(size - headerSize, *count);
    // Exactly what arrived, so that a read past the answer is caught.
    const std::vector<uint8_t> info(data + headerSize, data + headerSize + received);
    FavoriteSlot slot;
    slot.n = 1;
    ApplyCourseInfo(info, slot);
    if (slot.serverDate[10] != '\0' || std::strlen(slot.serverDate.data()) > 10) {
        std::abort();
    }
    return 0;
}

}  // namespace teelink
