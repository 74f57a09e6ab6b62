// Arbitrary server bytes through the handshake and then the message loop's
// decoding, exactly as a session reads them (client writes are discarded).
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "rfb/handshake.h"
#include "rfb/update.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace remote::rfb;
  MemoryStream in(std::span(data, size));
  in.discard_writes();
  auto init = run_handshake(in, "password");
  if (!init) return 0;
  // Large framebuffers only slow the search down (every update copies the
  // held snapshot); the decoders clip the same way at any size.
  if (std::uint32_t{init->width} * init->height > 65536) return 0;
  Framebuffer fb = Framebuffer::create(init->width, init->height);
  std::vector<std::uint8_t> scratch;
  for (;;) {
    auto type = read_u8(in);
    if (!type) break;
    const VncFrame held = fb.snapshot();  // every update then copies on write
    if (!read_server_message(in, *type, fb, scratch)) break;
  }
  return 0;
}
