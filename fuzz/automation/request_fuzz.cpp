// Request lines come from any process of the same user; the parser must
// turn every byte string into a request or an error, and every reply it
// leads to must be one well-formed line.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "automation/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const auto request = kova::automation::parse_request(line);
  std::string reply = request ? kova::automation::reply_ok(request->id_json, "null")
                              : kova::automation::reply_error(request.error().id_json, request.error().code,
                                                              request.error().message);
  if (reply.find('\n') != reply.size() - 1) __builtin_trap();
  reply.pop_back();
  if (!kova::automation::parse_reply(reply)) __builtin_trap();
  return 0;
}
