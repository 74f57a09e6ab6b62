// A readable dump of a whole document.
#pragma once

#include <string>

#include "document/document.h"

namespace kova::doc {

// Pretty JSON (two-space indent) of the current state, keys sorted. Every
// node says its type:
//   {"type": "map", "entries": {"key": node, ...}}
//   (maps nested deeper than 64 levels show {"type": "map", "truncated": true})
//   {"type": "text", "value": "..."}
//   {"type": "string" | "int" | "uint" | "float" | "counter" | "timestamp"
//           | "bool" | "bytes" | "null", "value": ...}
// Bytes are lower-case hex; a float that JSON cannot hold (NaN, infinity) is
// written as the string "nan", "inf" or "-inf".
std::string dump_json(const Document& doc);

}  // namespace kova::doc
