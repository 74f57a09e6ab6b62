// Arbitrary FramebufferUpdate bodies into a small framebuffer, under the
// requested format or a format chosen by the input; links only the codec.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "rfb/update.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace remote::rfb;
  if (size < 19) return 0;
  const auto width = static_cast<std::uint16_t>(1 + data[0] % 64);
  const auto height = static_cast<std::uint16_t>(1 + data[1] % 64);
  PixelFormat format = requested_pixel_format;
  if (data[2] & 1) format = decode_pixel_format(std::span(data + 3, 16).first<16>());
  MemoryStream in(std::span(data + 19, size - 19));
  Framebuffer fb = Framebuffer::create(width, height);
  std::vector<std::uint8_t> scratch;
  while (in.remaining() > 0) {
    if (!read_update(in, fb, format, scratch)) break;
  }
  return 0;
}
