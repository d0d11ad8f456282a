#pragma once

// The query strings the update server is asked with, taken apart strictly: a
// malformed query must come back as a malformed answer, never as a guess.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace teelink {

// Key and value of every "key=value" pair, percent-decoded. nullopt when a pair
// has no '=', a key is empty or repeated, or a '%' escape is broken.
std::optional<std::map<std::string, std::string>> ParseQuery(std::string_view query);

// A decimal number of at most ten digits (leading zeros count), with a leading
// '-' when `allowSign`, in [min, max]; nullopt otherwise. Query values and the
// numbers of the content tables are read alike.
std::optional<int64_t> ParseDecimal(std::string_view text, int64_t min, int64_t max,
                                    bool allowSign = false);

}  // namespace teelink
