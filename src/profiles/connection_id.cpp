#include "profiles/connection_id.h"

#include <uuid/uuid.h>

namespace remote::profiles {

namespace {
constexpr std::size_t canonical_text_chars = 36;
}

ConnectionId ConnectionId::random() {
  Bytes bytes{};
  uuid_generate_random(bytes.data());
  return ConnectionId(bytes);
}

std::optional<ConnectionId> ConnectionId::parse(std::string_view text) {
  // The range form never reads past the view, so text with an embedded NUL
  // or without a terminator is judged on exactly its own characters.
  Bytes bytes{};
  if (uuid_parse_range(text.data(), text.data() + text.size(), bytes.data()) != 0) {
    return std::nullopt;
  }
  return ConnectionId(bytes);
}

std::string ConnectionId::to_string() const {
  char out[canonical_text_chars + 1] = {};
  uuid_unparse_lower(bytes_.data(), out);
  return std::string(out, canonical_text_chars);
}

}  // namespace remote::profiles
