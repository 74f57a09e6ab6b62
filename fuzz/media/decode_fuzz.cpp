// Arbitrary bytes as encoded frames: the decoder must never crash, and every
// picture it yields must hold exactly width x height RGBA pixels.
#include <cstdint>
#include <cstdlib>

#include "media/decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static kova::callstream::Decoder decoder;
  auto picture = decoder.decode({data, size});
  if (picture && picture->pixels.size() != std::size_t{picture->width} * picture->height * 4) {
    std::abort();
  }
  return 0;
}
