// Pixel format, framebuffer and FramebufferUpdate decoding on recorded bytes.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <random>
#include <thread>

#include "rfb/framebuffer.h"
#include "rfb/limits.h"
#include "rfb/pixel_format.h"
#include "rfb/socket.h"
#include "rfb/update.h"
#include "wire_builder.h"

namespace remote::rfb {
namespace {

using testing::Wire;

constexpr Rgba black{0, 0, 0, 0};
constexpr Rgba red{255, 0, 0, 255};
constexpr Rgba green{0, 255, 0, 255};
constexpr Rgba blue{0, 0, 255, 255};

TEST(PixelFormat, RequestedFormatWireBytes) {
  const auto bytes = encode_pixel_format(requested_pixel_format);
  const std::array<std::uint8_t, 16> expected{32, 24,  0,  1, 0, 255, 0, 255,
                                              0,  255, 16, 8, 0, 0,   0, 0};
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(decode_pixel_format(bytes), requested_pixel_format);
}

TEST(PixelFormat, DecodeTreatsNonZeroFlagsAsTrueAndIgnoresPadding) {
  const std::array<std::uint8_t, 16> bytes{16, 16, 7, 200, 0, 31, 0, 63, 0, 31, 11, 5, 0, 9, 9, 9};
  const PixelFormat f = decode_pixel_format(bytes);
  EXPECT_TRUE(f.big_endian);
  EXPECT_TRUE(f.true_colour);
  EXPECT_EQ(f.green_max, 63);
  const auto again = encode_pixel_format(f);
  EXPECT_EQ(again[2], 1);
  EXPECT_EQ(again[3], 1);
  EXPECT_EQ(again[13], 0);
}

TEST(PixelFormat, BytesPerPixel) {
  const struct {
    std::uint8_t bits;
    unsigned bytes;
  } cases[] = {{0, 0}, {1, 1}, {8, 1}, {12, 2}, {16, 2}, {24, 3}, {32, 4}, {40, 5}};
  for (const auto& c : cases) {
    PixelFormat f;
    f.bits_per_pixel = c.bits;
    EXPECT_EQ(bytes_per_pixel(f), c.bytes) << int{c.bits};
  }
}

TEST(PixelFormat, WirePixelToDisplayPixel) {
  PixelFormat rgb565{16, 16, false, true, 31, 63, 31, 11, 5, 0};
  PixelFormat big_endian = requested_pixel_format;
  big_endian.big_endian = true;
  big_endian.red_shift = 16;
  PixelFormat no_blue = requested_pixel_format;
  no_blue.blue_max = 0;
  PixelFormat huge_shift = requested_pixel_format;
  huge_shift.red_shift = 48;  // taken modulo 32: same as 16
  const struct {
    const char* name;
    PixelFormat format;
    std::array<std::uint8_t, 4> wire;
    Rgba expected;
  } cases[] = {
      {"requested", requested_pixel_format, {0x33, 0x22, 0x11, 0x00}, {0x11, 0x22, 0x33, 0xFF}},
      {"565 white", rgb565, {0xFF, 0xFF}, {255, 255, 255, 255}},
      {"565 0x0010", rgb565, {0x10, 0x00}, {0, 0, 132, 255}},
      {"big endian", big_endian, {0x00, 0x11, 0x22, 0x33}, {0x11, 0x22, 0x33, 0xFF}},
      {"max 0 channel", no_blue, {0x33, 0x22, 0x11, 0x00}, {0x11, 0x22, 0, 0xFF}},
      {"shift modulo 32", huge_shift, {0x33, 0x22, 0x11, 0x00}, {0x11, 0x22, 0x33, 0xFF}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(to_display_pixel(c.format, c.wire.data()), c.expected);
    Rgba bulk{};
    convert_pixels(c.format, c.wire.data(), 1, bulk.data());
    EXPECT_EQ(bulk, c.expected);
  }
}

TEST(Framebuffer, CreateReadAndWriteBounds) {
  Framebuffer fb = Framebuffer::create(1, 1);
  EXPECT_EQ(fb.pixels(), PixelBuffer(4, 0));
  EXPECT_EQ(fb.pixel_at(0, 0), black);
  EXPECT_EQ(fb.pixel_at(1, 0), black);
  fb.set_pixel(1, 0, red);
  fb.set_pixel(0, 1, red);
  EXPECT_EQ(fb.pixels(), PixelBuffer(4, 0));
  fb.set_pixel(0, 0, red);
  EXPECT_EQ(fb.pixel_at(0, 0), red);
}

TEST(Framebuffer, HeldSnapshotIsNeverChanged) {
  Framebuffer fb = Framebuffer::create(2, 1);
  fb.set_pixel(0, 0, red);
  const VncFrame held = fb.snapshot();
  fb.set_pixel(0, 0, blue);  // dropped while shared
  EXPECT_EQ(fb.pixel_at(0, 0), red);

  std::vector<std::uint8_t> scratch;
  const Wire w = Wire().update(1).rect(0, 0, 1, 1, 0).pixel(0, 255, 0);
  MemoryStream in(w.bytes);
  ASSERT_TRUE(read_update(in, fb, requested_pixel_format, scratch));
  EXPECT_EQ(fb.pixel_at(0, 0), green);
  EXPECT_EQ((*held.pixels)[0], 255);  // still red
  EXPECT_NE(held.pixels.get(), &fb.pixels());
}

TEST(Framebuffer, UnsharedBufferIsPaintedInPlace) {
  Framebuffer fb = Framebuffer::create(2, 1);
  const PixelBuffer* before = &fb.pixels();
  { const VncFrame dropped = fb.snapshot(); }
  fb.make_exclusive();
  EXPECT_EQ(&fb.pixels(), before);
}

// Decodes `bytes` as one FramebufferUpdate into `fb`.
struct Decoded {
  Result<std::uint16_t> result;
  std::size_t unread;
};
Decoded decode(Framebuffer& fb, const std::vector<std::uint8_t>& bytes,
               const PixelFormat& format = requested_pixel_format) {
  std::vector<std::uint8_t> scratch;
  MemoryStream in(bytes);
  auto r = read_update(in, fb, format, scratch);
  return {r, in.remaining()};
}

TEST(Update, LimitsAndFailureTexts) {
  PixelFormat bpp0 = requested_pixel_format;
  bpp0.bits_per_pixel = 0;
  PixelFormat bpp40 = requested_pixel_format;
  bpp40.bits_per_pixel = 40;
  const Wire rre_two_big = Wire()
                               .update(1)
                               .rect(0, 0, 1, 1, 2)
                               .u32(2)
                               .pixel(0, 0, 0)
                               .pixel(1, 1, 1)
                               .u16(0)
                               .u16(0)
                               .u16(4000)
                               .u16(2500)
                               .pixel(1, 1, 1)
                               .u16(0)
                               .u16(0)
                               .u16(4000)
                               .u16(2500);
  const struct {
    const char* name;
    Wire wire;
    PixelFormat format;
    const char* text;  // nullptr: success
    std::size_t unread;
  } cases[] = {
      {"4096 rectangles", Wire().update(4096).append([] {
         Wire w;
         for (int i = 0; i < 4096; ++i)
           w.rect(0, 0, 0, 0, 0);
         return w;
       }()),
       requested_pixel_format, nullptr, 0},
      {"4097 rectangles", Wire().update(4097).rect(0, 0, 0, 0, 0), requested_pixel_format,
       "RFB update has too many rectangles", 12},
      {"bpp 0", Wire().update(0), bpp0, "invalid RFB pixel format", 0},
      {"bpp 40", Wire().update(0), bpp40, "invalid RFB pixel format", 0},
      {"hextile", Wire().update(1).rect(0, 0, 1, 1, 5).zeros(8), requested_pixel_format,
       "unsupported RFB encoding 5", 8},
      {"cursor pseudo-encoding", Wire().update(1).rect(0, 0, 1, 1, -239), requested_pixel_format,
       "unsupported RFB encoding -239", 0},
      {"raw 4097x4096", Wire().update(1).rect(0, 0, 4097, 4096, 0).zeros(16),
       requested_pixel_format, "RFB raw rectangle is too large", 16},
      {"copyrect 4097x4096", Wire().update(1).rect(0, 0, 4097, 4096, 1).u16(0).u16(0),
       requested_pixel_format, "RFB copy rectangle is too large", 0},
      {"rre 1000001 subrects", Wire().update(1).rect(0, 0, 1, 1, 2).u32(1000001).zeros(8),
       requested_pixel_format, "RFB RRE update has too many subrectangles", 8},
      {"rre background 4097x4096", Wire().update(1).rect(0, 0, 4097, 4096, 2).u32(0).zeros(4),
       requested_pixel_format, "RRE background rectangle exceeds the pixel work limit", 4},
      {"rre subrect 4097x4096",
       Wire()
           .update(1)
           .rect(0, 0, 1, 1, 2)
           .u32(1)
           .pixel(0, 0, 0)
           .pixel(1, 1, 1)
           .u16(0)
           .u16(0)
           .u16(4097)
           .u16(4096),
       requested_pixel_format, "RRE subrectangle exceeds the pixel work limit", 0},
      {"rre subrects sum", rre_two_big, requested_pixel_format,
       "RRE subrectangles exceed the pixel work limit", 0},
      {"truncated header", Wire().update(1).u16(0).u16(0), requested_pixel_format,
       "failed to fill whole buffer", 0},
      {"truncated raw", Wire().update(1).rect(0, 0, 2, 1, 0).pixel(1, 2, 3), requested_pixel_format,
       "failed to fill whole buffer", 0},
      {"truncated rre", Wire().update(1).rect(0, 0, 2, 1, 2).u32(3).pixel(1, 2, 3).zeros(20),
       requested_pixel_format, "failed to fill whole buffer", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Framebuffer fb = Framebuffer::create(4, 4);
    const Decoded d = decode(fb, c.wire.bytes, c.format);
    if (c.text == nullptr) {
      ASSERT_TRUE(d.result) << d.result.error().text;
      EXPECT_EQ(fb.generation(), 1u);
    } else {
      ASSERT_FALSE(d.result);
      EXPECT_EQ(d.result.error().text, c.text);
      EXPECT_EQ(fb.generation(), 0u);
    }
    EXPECT_EQ(d.unread, c.unread);
  }
}

TEST(Update, LargestRawRectangleIsAccepted) {
  Framebuffer fb = Framebuffer::create(4096, 4096);
  Wire w = Wire().update(1).rect(0, 0, 4096, 4096, 0);
  w.bytes.resize(w.bytes.size() + 4096u * 4096u * 4u, 0x40);
  const Decoded d = decode(fb, w.bytes);
  ASSERT_TRUE(d.result) << d.result.error().text;
  EXPECT_EQ(fb.pixel_at(4095, 4095), (Rgba{0x40, 0x40, 0x40, 255}));
}

// Paints a 4x3 framebuffer whose pixel (x, y) is (x, y, 7) and returns it.
Framebuffer numbered() {
  Framebuffer fb = Framebuffer::create(4, 3);
  Wire w = Wire().update(1).rect(0, 0, 4, 3, 0);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x)
      w.pixel(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7);
  }
  EXPECT_TRUE(decode(fb, w.bytes).result);
  return fb;
}

Rgba px(int x, int y) {
  return {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7, 255};
}

TEST(Update, RawOutsideFramebufferConsumesPayloadAndChangesNothing) {
  Framebuffer fb = numbered();
  const PixelBuffer before = fb.pixels();
  Wire w = Wire().update(2).rect(4, 0, 2, 2, 0).zeros(16).rect(65535, 65535, 2, 2, 0).zeros(16);
  const Decoded d = decode(fb, w.bytes);
  ASSERT_TRUE(d.result);
  EXPECT_EQ(d.unread, 0u);
  EXPECT_EQ(fb.pixels(), before);
}

TEST(Update, RawPartlyOutsideIsClipped) {
  Framebuffer fb = numbered();
  const Wire w = Wire()
                     .update(1)
                     .rect(3, 2, 2, 2, 0)
                     .pixel(255, 0, 0)
                     .pixel(0, 0, 255)
                     .pixel(0, 0, 255)
                     .pixel(0, 0, 255);
  ASSERT_TRUE(decode(fb, w.bytes).result);
  EXPECT_EQ(fb.pixel_at(3, 2), red);
  EXPECT_EQ(fb.pixel_at(2, 2), px(2, 2));
}

TEST(Update, CopyRectCases) {
  const struct {
    const char* name;
    Wire wire;
    std::vector<std::pair<std::pair<int, int>, Rgba>> expected;
  } cases[] = {
      // Moving rows 0-1 one row down must read the untouched row 1.
      {"overlap down",
       Wire().update(1).rect(0, 1, 4, 2, 1).u16(0).u16(0),
       {{{0, 0}, px(0, 0)}, {{1, 1}, px(1, 0)}, {{2, 2}, px(2, 1)}}},
      {"overlap up",
       Wire().update(1).rect(0, 0, 4, 2, 1).u16(0).u16(1),
       {{{0, 0}, px(0, 1)}, {{3, 1}, px(3, 2)}, {{1, 2}, px(1, 2)}}},
      {"overlap left",
       Wire().update(1).rect(0, 2, 3, 1, 1).u16(1).u16(2),
       {{{0, 2}, px(1, 2)}, {{2, 2}, px(3, 2)}, {{3, 2}, px(3, 2)}}},
      {"destination partly outside",
       Wire().update(1).rect(2, 2, 3, 2, 1).u16(0).u16(0),
       {{{2, 2}, px(0, 0)}, {{3, 2}, px(1, 0)}, {{1, 2}, px(1, 2)}}},
      {"overlap right",
       Wire().update(1).rect(1, 0, 3, 1, 1).u16(0).u16(0),
       {{{1, 0}, px(0, 0)}, {{2, 0}, px(1, 0)}, {{3, 0}, px(2, 0)}}},
      {"source outside",
       Wire().update(1).rect(0, 0, 2, 1, 1).u16(3).u16(2),
       {{{0, 0}, px(3, 2)}, {{1, 0}, black}}},
      {"source saturated",
       Wire().update(1).rect(0, 0, 2, 2, 1).u16(65535).u16(0),
       {{{0, 0}, black}, {{1, 1}, black}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Framebuffer fb = numbered();
    ASSERT_TRUE(decode(fb, c.wire.bytes).result);
    for (const auto& [pos, pixel] : c.expected) {
      EXPECT_EQ(fb.pixel_at(static_cast<std::uint32_t>(pos.first),
                            static_cast<std::uint32_t>(pos.second)),
                pixel)
          << pos.first << "," << pos.second;
    }
  }
}

TEST(Update, RreCases) {
  const struct {
    const char* name;
    Wire wire;
    std::vector<std::pair<std::pair<int, int>, Rgba>> expected;
  } cases[] = {
      {"background only",
       Wire().update(1).rect(1, 1, 2, 1, 2).u32(0).pixel(255, 0, 0),
       {{{1, 1}, red}, {{2, 1}, red}, {{0, 1}, px(0, 1)}, {{3, 1}, px(3, 1)}}},
      {"subrect drawn beyond its rectangle",
       Wire()
           .update(1)
           .rect(0, 0, 1, 1, 2)
           .u32(1)
           .pixel(255, 0, 0)
           .pixel(0, 0, 255)
           .u16(1)
           .u16(1)
           .u16(3)
           .u16(1),
       {{{0, 0}, red}, {{1, 1}, blue}, {{3, 1}, blue}, {{1, 0}, px(1, 0)}}},
      {"later subrects win",
       Wire()
           .update(1)
           .rect(0, 0, 2, 1, 2)
           .u32(2)
           .pixel(255, 0, 0)
           .pixel(0, 0, 255)
           .u16(0)
           .u16(0)
           .u16(2)
           .u16(1)
           .pixel(0, 255, 0)
           .u16(1)
           .u16(0)
           .u16(1)
           .u16(1),
       {{{0, 0}, blue}, {{1, 0}, green}}},
      {"saturated origin dropped",
       Wire()
           .update(1)
           .rect(65535, 0, 1, 1, 2)
           .u32(1)
           .pixel(255, 0, 0)
           .pixel(0, 0, 255)
           .u16(1)
           .u16(0)
           .u16(5)
           .u16(1),
       {{{0, 0}, px(0, 0)}, {{3, 0}, px(3, 0)}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Framebuffer fb = numbered();
    const Decoded d = decode(fb, c.wire.bytes);
    ASSERT_TRUE(d.result) << d.result.error().text;
    EXPECT_EQ(d.unread, 0u);
    for (const auto& [pos, pixel] : c.expected) {
      EXPECT_EQ(fb.pixel_at(static_cast<std::uint32_t>(pos.first),
                            static_cast<std::uint32_t>(pos.second)),
                pixel)
          << pos.first << "," << pos.second;
    }
  }
}

TEST(Update, ZeroRectanglesAdvanceTheGeneration) {
  Framebuffer fb = Framebuffer::create(1, 1);
  const Decoded d = decode(fb, Wire().update(0).bytes);
  ASSERT_TRUE(d.result);
  EXPECT_EQ(*d.result, 0);
  EXPECT_EQ(fb.generation(), 1u);
}

TEST(ClientMessages, Encodings) {
  EXPECT_EQ(encode_set_pixel_format(requested_pixel_format),
            (std::vector<std::uint8_t>{0, 0,   0, 0,   32, 24, 0, 1, 0, 255,
                                       0, 255, 0, 255, 16, 8,  0, 0, 0, 0}));
  EXPECT_EQ(encode_set_encodings(),
            (std::vector<std::uint8_t>{2, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 2}));
  EXPECT_EQ(encode_update_request(true, 1920, 1080),
            (std::vector<std::uint8_t>{3, 1, 0, 0, 0, 0, 0x07, 0x80, 0x04, 0x38}));
  EXPECT_EQ(encode_key_event(true, 0xFF0D),
            (std::vector<std::uint8_t>{4, 1, 0, 0, 0, 0, 0xFF, 0x0D}));
  EXPECT_EQ(encode_pointer_event(5, 300, 2), (std::vector<std::uint8_t>{5, 5, 1, 44, 0, 2}));
}

TEST(Update, SkippedBodiesAreConsumed) {
  const Wire colours = Wire().u8(0).u16(0).u16(2).zeros(12);
  MemoryStream a(colours.bytes);
  ASSERT_TRUE(skip_colour_map_entries(a));
  EXPECT_EQ(a.remaining(), 0u);
  const Wire cut = Wire().zeros(3).u32(10).text("0123456789");
  MemoryStream b(cut.bytes);
  ASSERT_TRUE(skip_server_cut_text(b));
  EXPECT_EQ(b.remaining(), 0u);
  const Wire huge_cut = Wire().zeros(3).u32(0xFFFFFFFF).text("short");
  MemoryStream c(huge_cut.bytes);
  auto r = skip_server_cut_text(c);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().kind, ErrorKind::UnexpectedEof);
}

// The decoders paint in bulk (whole rows, wide and streaming stores, rows
// read a few at a time); a painter that follows the protocol one pixel at a
// time through pixel_at and set_pixel must end with the same picture.
namespace model {

std::uint32_t sat(std::uint32_t a, std::uint32_t b) {
  return std::min<std::uint32_t>(a + b, 0xFFFF);
}
Rgba wire_pixel(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v), 255};
}

struct Painter {
  Framebuffer& fb;
  void raw(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h,
           const std::vector<std::uint32_t>& pixels) {
    for (std::uint32_t r = 0; r < h; ++r)
      for (std::uint32_t c = 0; c < w; ++c)
        fb.set_pixel(sat(x, c), sat(y, r), wire_pixel(pixels[r * w + c]));
  }
  void copy(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h, std::uint32_t sx,
            std::uint32_t sy) {
    std::vector<Rgba> list;
    for (std::uint32_t r = 0; r < h; ++r)
      for (std::uint32_t c = 0; c < w; ++c)
        list.push_back(fb.pixel_at(sat(sx, c), sat(sy, r)));
    for (std::uint32_t r = 0; r < h; ++r)
      for (std::uint32_t c = 0; c < w; ++c)
        fb.set_pixel(sat(x, c), sat(y, r), list[r * w + c]);
  }
  void fill(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h, std::uint32_t v) {
    for (std::uint32_t r = 0; r < h; ++r)
      for (std::uint32_t c = 0; c < w; ++c)
        fb.set_pixel(sat(x, c), sat(y, r), wire_pixel(v));
  }
};

// Rectangles of every encoding at random places, some partly or wholly
// outside, some overlapping their source, some large enough for streaming.
Wire random_update(std::mt19937& rng, Painter& painter, std::uint32_t width, std::uint32_t height) {
  auto pick = [&](std::uint32_t lo, std::uint32_t hi) {
    return std::uniform_int_distribution<std::uint32_t>(lo, hi)(rng);
  };
  constexpr std::uint32_t rects = 8;
  Wire w = Wire().update(rects);
  for (std::uint32_t i = 0; i < rects; ++i) {
    const bool big = pick(0, 3) == 0;
    const std::uint32_t rw = big ? pick(width / 2, width + 40) : pick(0, 90);
    const std::uint32_t rh = big ? pick(height / 2, height + 40) : pick(0, 90);
    const std::uint32_t x = pick(0, width + 20), y = pick(0, height + 20);
    switch (pick(0, 2)) {
      case 0: {
        w.rect(x, y, rw, rh, 0);
        std::vector<std::uint32_t> pixels(rw * rh);
        for (std::uint32_t& p : pixels) {
          p = static_cast<std::uint32_t>(rng());
          w.u8(p).u8(p >> 8).u8(p >> 16).u8(p >> 24);
        }
        painter.raw(x, y, rw, rh, pixels);
        break;
      }
      case 1: {
        const std::uint32_t sx = pick(x > 3 ? x - 3 : 0, x + 6);
        const std::uint32_t sy = pick(0, 1) ? y : pick(0, height + 10);
        w.rect(x, y, rw, rh, 1).u16(sx).u16(sy);
        painter.copy(x, y, rw, rh, sx, sy);
        break;
      }
      default: {
        const std::uint32_t count = pick(0, 40), bg = static_cast<std::uint32_t>(rng());
        w.rect(x, y, rw, rh, 2).u32(count).u8(bg).u8(bg >> 8).u8(bg >> 16).u8(0);
        painter.fill(x, y, rw, rh, bg);
        for (std::uint32_t s = 0; s < count; ++s) {
          const std::uint32_t v = static_cast<std::uint32_t>(rng());
          const std::uint32_t sx = pick(0, rw + 30), sy = pick(0, rh + 30);
          const std::uint32_t sw = pick(0, 60), sh = pick(0, 60);
          w.u8(v).u8(v >> 8).u8(v >> 16).u8(0).u16(sx).u16(sy).u16(sw).u16(sh);
          painter.fill(sat(x, sx), sat(y, sy), sw, sh, v);
        }
      }
    }
  }
  return w;
}

}  // namespace model

TEST(Update, BulkPaintingMatchesPixelByPixelModel) {
  constexpr std::uint16_t width = 640, height = 400;
  std::mt19937 rng(7);
  Framebuffer expected = Framebuffer::create(width, height);
  Framebuffer from_memory = Framebuffer::create(width, height);
  Framebuffer from_socket = Framebuffer::create(width, height);
  model::Painter painter{expected};
  std::vector<std::uint8_t> scratch;
  for (int update = 0; update < 12; ++update) {
    SCOPED_TRACE(update);
    const Wire w = model::random_update(rng, painter, width, height);
    MemoryStream memory(w.bytes);
    ASSERT_TRUE(read_update(memory, from_memory, requested_pixel_format, scratch));
    EXPECT_EQ(memory.remaining(), 0u);

    // Through a socket the rows arrive in pieces of whatever size the
    // kernel hands over; a writer thread feeds the update in odd chunks.
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    std::thread writer([&w, fd = fds[1]] {
      for (std::size_t sent = 0; sent < w.bytes.size();) {
        const std::size_t n = std::min<std::size_t>(w.bytes.size() - sent, 7919);
        const ssize_t r = ::send(fd, w.bytes.data() + sent, n, MSG_NOSIGNAL);
        if (r <= 0) break;
        sent += static_cast<std::size_t>(r);
      }
      ::close(fd);
    });
    {
      SocketCanceller canceller;
      SocketStream socket(fds[0], canceller);
      EXPECT_TRUE(read_update(socket, from_socket, requested_pixel_format, scratch));
    }
    writer.join();

    EXPECT_TRUE(from_memory.pixels() == expected.pixels());
    EXPECT_TRUE(from_socket.pixels() == expected.pixels());
  }
}

// What becomes of each published picture before the next update: dropped
// at once (the view took it and let go), left in the frame slot until the
// next one replaces it, held through the next two updates (the view
// converts it while the next waits in the slot), or for a random few.
enum class Fate { Dropped, InSlot, HeldTwo, Held };

struct SnapshotCase {
  const char* name;
  std::vector<Fate> pattern;  // repeated; empty: random fates
  std::uint64_t max_whole_copies;
};

TEST(Framebuffer, EveryPublishedPictureMatchesTheModelAndNeverChanges) {
  // Not a multiple of the tile size, so edge tiles are partial.
  constexpr std::uint16_t width = 250, height = 150;
  constexpr int updates = 20;
  const std::vector<SnapshotCase> cases{
      // The first shared update has no spare yet; afterwards the two buffers
      // take turns without copying whole pictures.
      {"dropped", {Fate::Dropped}, 0},
      {"left in the slot", {Fate::InSlot}, 1},
      {"slot then dropped", {Fate::InSlot, Fate::Dropped, Fate::InSlot, Fate::InSlot}, 1},
      {"held through two updates", {Fate::HeldTwo}, 2},
      {"held", {Fate::Held}, updates},
      {"random", {}, updates},
  };
  for (const SnapshotCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937 rng(11);
    Framebuffer expected = Framebuffer::create(width, height);
    Framebuffer fb = Framebuffer::create(width, height);
    model::Painter painter{expected};
    std::vector<std::uint8_t> scratch;
    std::optional<VncFrame> slot;  // replaced only by the next picture
    // Pictures held through the updates up to `until`, with their content
    // when published; the slot's picture is checked here too.
    struct Held {
      VncFrame frame;
      PixelBuffer pixels;
      int until;
    };
    std::vector<Held> held;
    for (int update = 0; update < updates; ++update) {
      SCOPED_TRACE(update);
      const Wire w = model::random_update(rng, painter, width, height);
      MemoryStream in(w.bytes);
      ASSERT_TRUE(read_update(in, fb, requested_pixel_format, scratch));
      for (const Held& h : held)
        ASSERT_TRUE(*h.frame.pixels == h.pixels) << "a held picture changed";
      std::erase_if(held, [&](const Held& h) { return h.until <= update; });

      VncFrame frame = fb.snapshot();
      ASSERT_TRUE(*frame.pixels == expected.pixels());
      const Fate fate = c.pattern.empty()
                            ? static_cast<Fate>(rng() % 4)
                            : c.pattern[static_cast<std::size_t>(update) % c.pattern.size()];
      slot.reset();
      if (fate == Fate::InSlot) slot = frame;
      if (fate != Fate::Dropped) {
        const int extra = fate == Fate::InSlot    ? 0
                          : fate == Fate::HeldTwo ? 1
                                                  : static_cast<int>(rng() % 3);
        held.push_back({frame, *frame.pixels, update + 1 + extra});
      }
    }
    EXPECT_LE(fb.whole_copies(), c.max_whole_copies);
  }
}

}  // namespace
}  // namespace remote::rfb
