// Limits of the action library. Invocations arrive from automation clients,
// so their sizes are bounded before anything is decoded or copied.
#pragma once

#include <cstddef>

namespace kova::actions {

// Largest JSON text accepted for one invocation. The biggest change the
// applications send is one saved record of a few short texts; 1 MiB leaves
// room for generous texts while keeping a hostile client from making the
// decoder build a huge tree.
inline constexpr std::size_t max_invocation_json_bytes = 1024 * 1024;

// Longest type name of a registered change or operation ("remote.operation"
// is 16). Names are registry keys, never free text.
inline constexpr std::size_t max_type_name_bytes = 128;

// Longest identifier passed to humanize_identifier; labels are shown in one
// line, so anything longer is cut rather than processed.
inline constexpr std::size_t max_identifier_bytes = 256;

}  // namespace kova::actions
