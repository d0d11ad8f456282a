// md=14: the area list, as the client reads it (one zero-filled buffer of
// 1024 bytes) and over the raw bytes of any length.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <span>
#include <vector>

#include "updateclient/Answers.h"

namespace teelink {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<CAreaList> areas;
    const int raw = ParseAreaList(std::span(data, size), areas);
    if (raw != 0 && raw != -2 && raw != -3) {
        std::abort();
    }

    std::array<uint8_t, STARTUP_ANSWER_SIZE> buffer{};
    std::copy_n(data, std::min(size, buffer.size()), buffer.begin());
    areas.clear();
    const int read = ParseAreaList(buffer, areas);
    if ((read != 0 && read != -2 && read != -3) || areas.size() > 255) {
        std::abort();
    }
    return 0;
}

}  // namespace teelink
