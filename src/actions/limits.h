// Limits of the action vocabulary's decoders. Their JSON comes from
// automation clients, so it is bounded before and while it is read.
#pragma once

#include <cstddef>

namespace remote::actions {

// Largest JSON text decoded. The largest legitimate value is a SendText of up
// to 64 KiB of input, which JSON escaping can grow sixfold (\uXXXX); 1 MiB
// holds that with room to spare while keeping a hostile text from building a
// large tree.
inline constexpr std::size_t max_json_bytes = 1024 * 1024;

// Deepest nesting of arrays and objects. Our own values nest three deep
// (variant, fields, host-key identity); members we ignore may add a little,
// nothing legitimate comes near 32.
inline constexpr std::size_t max_json_depth = 32;

// Most values (scalars, arrays and objects) in one text. A valid change or
// operation has fewer than twenty; the rest of the room is for members that
// clients add and we ignore. Checked as each value arrives, so a text of many
// tiny values cannot make the decoder allocate a node per byte.
inline constexpr std::size_t max_json_values = 4096;

// Longest piece of client text (a variant name, a key) repeated in an error
// message, so an error never echoes a megabyte back.
inline constexpr std::size_t max_echoed_text_bytes = 64;

}  // namespace remote::actions
