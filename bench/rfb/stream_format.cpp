#include "stream_format.h"

#include "rfb/byte_reader.h"
#include "rfb/handshake.h"
#include "rfb/wire.h"

namespace remote::rfb::bench {
namespace {

constexpr std::uint16_t width = 1920;
constexpr std::uint16_t height = 1080;

void header(std::vector<std::uint8_t>& out) {
  const std::string version = "RFB 003.008\n";
  out.assign(version.begin(), version.end());
  put_u8(out, 1);
  put_u8(out, 1);
  put_u32(out, 0);
  put_u16(out, width);
  put_u16(out, height);
  for (std::uint8_t b : encode_pixel_format(requested_pixel_format))
    put_u8(out, b);
  put_u32(out, 5);
  for (char c : std::string("bench"))
    put_u8(out, static_cast<std::uint8_t>(c));
}

void rect(std::vector<std::uint8_t>& out, std::uint16_t x, std::uint16_t y, std::uint16_t w,
          std::uint16_t h, Encoding e) {
  put_u16(out, x);
  put_u16(out, y);
  put_u16(out, w);
  put_u16(out, h);
  put_u32(out, static_cast<std::uint32_t>(e));
}

void pixel(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    put_u8(out, static_cast<std::uint8_t>(v >> (8 * i)));
}

void full_raw(std::vector<std::uint8_t>& out, std::uint32_t seed) {
  put_u8(out, 0);
  put_u8(out, 0);
  put_u16(out, 1);
  rect(out, 0, 0, width, height, Encoding::Raw);
  for (std::uint32_t i = 0; i < std::uint32_t{width} * height; ++i)
    pixel(out, i * 2654435761u + seed);
}

// Scrolling-like moves: 1000 rectangles of 128x64 per update.
void copyrects(std::vector<std::uint8_t>& out, std::uint32_t n) {
  put_u8(out, 0);
  put_u8(out, 0);
  put_u16(out, 1000);
  for (std::uint32_t i = 0; i < 1000; ++i) {
    const auto x = static_cast<std::uint16_t>((i * 37 + n * 11) % (width - 128));
    const auto y = static_cast<std::uint16_t>((i * 53 + n * 7) % (height - 64));
    rect(out, x, y, 128, 64, Encoding::CopyRect);
    put_u16(out, static_cast<std::uint16_t>((x + 5) % (width - 128)));
    put_u16(out, static_cast<std::uint16_t>((y + 3) % (height - 64)));
  }
}

// Sixteen 480x270 tiles with 200 subrectangles of 24x24 each.
void rres(std::vector<std::uint8_t>& out, std::uint32_t n) {
  put_u8(out, 0);
  put_u8(out, 0);
  put_u16(out, 16);
  for (std::uint16_t t = 0; t < 16; ++t) {
    rect(out, static_cast<std::uint16_t>((t % 4) * 480), static_cast<std::uint16_t>((t / 4) * 270),
         480, 270, Encoding::Rre);
    put_u32(out, 200);
    pixel(out, 0x00203040u + n);
    for (std::uint32_t s = 0; s < 200; ++s) {
      pixel(out, s * 40503u + n);
      put_u16(out, static_cast<std::uint16_t>((s * 29) % (480 - 24)));
      put_u16(out, static_cast<std::uint16_t>((s * 17) % (270 - 24)));
      put_u16(out, 24);
      put_u16(out, 24);
    }
  }
}

}  // namespace

bool generate_stream(const std::string& kind, std::vector<std::uint8_t>& out) {
  header(out);
  if (kind == "raw") {
    for (std::uint32_t n = 0; n < 10; ++n)
      full_raw(out, n);
  } else if (kind == "copyrect") {
    full_raw(out, 0);
    for (std::uint32_t n = 0; n < 300; ++n)
      copyrects(out, n);
  } else if (kind == "rre") {
    for (std::uint32_t n = 0; n < 300; ++n)
      rres(out, n);
  } else {
    return false;
  }
  return true;
}

bool scan_stream(std::span<const std::uint8_t> stream, StreamStats& stats) {
  MemoryStream in(stream);
  in.discard_writes();
  auto init = run_handshake(in, "");
  if (!init) return false;
  const std::size_t start = stream.size() - in.remaining();
  ByteReader r(stream.subspan(start));
  while (r.remaining() >= 4) {
    if (r.u8() != 0) return false;
    r.u8();
    const std::uint16_t n = r.u16();
    ++stats.updates;
    for (std::uint16_t i = 0; i < n; ++i) {
      if (r.remaining() < 12) return false;
      r.u16();
      r.u16();
      const std::uint64_t w = r.u16(), h = r.u16();
      const std::int32_t e = r.i32();
      ++stats.rectangles;
      stats.painted_pixels += w * h;
      std::uint64_t skip = 0;
      if (e == 0) skip = w * h * 4;
      stats.raw_bytes += e == 0 ? skip : 0;
      if (e == 1) skip = 4;
      if (e == 2) {
        if (r.remaining() < 8) return false;
        const std::uint32_t m = r.u32();
        r.bytes(4);
        for (std::uint32_t k = 0; k < m; ++k) {
          if (r.remaining() < 12) return false;
          r.bytes(8);
          const std::uint64_t sw = r.u16(), sh = r.u16();
          stats.painted_pixels += sw * sh;
        }
      }
      if (r.remaining() < skip) return false;
      r.bytes(static_cast<std::size_t>(skip));
    }
  }
  return r.remaining() == 0;
}

}  // namespace remote::rfb::bench
