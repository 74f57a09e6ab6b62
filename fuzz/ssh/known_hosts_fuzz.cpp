// Arbitrary bytes into the trust-file reader: it must return a store or an
// error, never crash, and a store it returns must survive a round trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ssh/trust_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto store = remote::ssh::parse_known_hosts(bytes);
  if (!store) return 0;
  const auto written = remote::ssh::serialize_known_hosts(*store);
  if (!written) std::abort();  // whatever was read can be written
  const auto again = remote::ssh::parse_known_hosts(*written);
  if (!again || *again != *store) std::abort();
  return 0;
}
