// Reads a JSON text from an untrusted client into a value, with the checks
// the stock reader lacks: a member name repeated within one object is an
// error (the stock reader keeps the last one silently), and size, depth and
// the number of values are bounded while reading.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "actions/codec.h"

namespace remote::actions {

Result<nlohmann::json> read_strict_json(std::string_view text);

// At most max_echoed_text_bytes of `text`, cut at a character boundary, for
// repeating client text inside an error message.
std::string echo_excerpt(std::string_view text);

}  // namespace remote::actions
