// Feeds client bytes to both decoders. Whatever decodes must encode and
// decode again to the same value, so a decoder that accepts something the
// encoder cannot reproduce is a finding too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "actions/codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace remote::actions;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  if (const auto action = decode_remote_action(text)) {
    const auto again = decode_remote_action(encode_remote_action(*action));
    if (!again || *again != *action) std::abort();
  }
  if (const auto operation = decode_remote_operation(remote_operation_type, text);
      operation && *operation) {
    const auto again =
        decode_remote_operation(remote_operation_type, encode_remote_operation(**operation));
    if (!again || !*again || **again != **operation) std::abort();
  }
  return 0;
}
