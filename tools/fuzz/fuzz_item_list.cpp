// md=6 to md=12: the catalogue list header and body. The body is the L + 1
// bytes after the header when they are there, as the client passes it.
#include <algorithm>
#include <cstdlib>
#include <span>
#include <vector>

#include "updateclient/Answers.h"

namespace teelink {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto length = ParseListHeader(std::span(data, std::min<size_t>(size, 5)));
    if (!length || size < 5) {
        return 0;
    }
    const size_t bodySize = static_cast<size_t>(*length) + 1;
    // The client refuses a body of another size before parsing; parse what came
    // anyway, in a buffer of its own so that a read past it is caught.
    const size_t available = std::min(size - 5, bodySize);
    const std::vector<uint8_t> body(data + 5, data + 5 + available);
    std::vector<CItemList> items;
    const bool complete = ParseListBody(body, items);
    if (items.size() > 255 || (complete && !body.empty() && items.size() != body[0])) {
        std::abort();
    }
    for (const CItemList& item : items) {
        if (item.name.size() > 255) {
            std::abort();
        }
    }
    return 0;
}

}  // namespace teelink
