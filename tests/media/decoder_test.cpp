#include "media/decoder.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using kova::callstream::DecodedFrame;
using kova::callstream::Decoder;
using kova::callstream::Encoder;

struct Rgb {
  int r, g, b;
};

// Four flat quadrants: red, green, blue, white.
std::vector<std::uint8_t> quadrants(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> rgba(std::size_t{width} * height * 4);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      int quadrant = (y >= height / 2 ? 2 : 0) + (x >= width / 2 ? 1 : 0);
      static constexpr Rgb colours[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
      std::uint8_t* p = &rgba[(std::size_t{y} * width + x) * 4];
      p[0] = static_cast<std::uint8_t>(colours[quadrant].r);
      p[1] = static_cast<std::uint8_t>(colours[quadrant].g);
      p[2] = static_cast<std::uint8_t>(colours[quadrant].b);
      p[3] = 255;
    }
  }
  return rgba;
}

void expect_near(const DecodedFrame& frame, std::uint32_t x, std::uint32_t y, Rgb want) {
  const std::uint8_t* p = &frame.pixels[(std::size_t{y} * frame.width + x) * 4];
  SCOPED_TRACE(testing::Message() << "pixel " << x << "," << y);
  // Chroma subsampling and quantisation move flat colours by a few steps.
  EXPECT_NEAR(p[0], want.r, 16);
  EXPECT_NEAR(p[1], want.g, 16);
  EXPECT_NEAR(p[2], want.b, 16);
  EXPECT_EQ(p[3], 255);
}

std::vector<std::vector<std::uint8_t>> encode_frames(std::uint32_t width, std::uint32_t height,
                                                     int count) {
  auto encoder = Encoder::create(width, height, 30, 10);
  EXPECT_TRUE(encoder.has_value()) << encoder.error();
  std::vector<std::vector<std::uint8_t>> frames;
  auto picture = quadrants(width, height);
  for (int i = 0; i < count; ++i) {
    auto bytes = encoder->encode(picture);
    EXPECT_TRUE(bytes.has_value()) << bytes.error();
    frames.push_back(std::move(*bytes));
  }
  return frames;
}

TEST(Decoder, DecodesWhatTheEncoderProducesIntoRgbaRows) {
  const std::uint32_t width = 320, height = 240;
  auto frames = encode_frames(width, height, 3);
  Decoder decoder;
  for (const auto& bytes : frames) {
    ASSERT_FALSE(bytes.empty());
    auto picture = decoder.decode(bytes);
    ASSERT_TRUE(picture.has_value());
    EXPECT_EQ(picture->width, width);
    EXPECT_EQ(picture->height, height);
    ASSERT_EQ(picture->pixels.size(), std::size_t{width} * height * 4);
    expect_near(*picture, width / 4, height / 4, {255, 0, 0});
    expect_near(*picture, 3 * width / 4, height / 4, {0, 255, 0});
    expect_near(*picture, width / 4, 3 * height / 4, {0, 0, 255});
    expect_near(*picture, 3 * width / 4, 3 * height / 4, {255, 255, 255});
  }
}

TEST(Decoder, BytesThatAreNoPictureYieldNothing) {
  auto frames = encode_frames(64, 64, 1);
  std::vector<std::uint8_t> truncated(frames[0].begin(),
                                      frames[0].begin() + static_cast<long>(frames[0].size() / 3));
  std::vector<std::uint8_t> garbage(4096);
  std::srand(7);
  for (auto& byte : garbage) byte = static_cast<std::uint8_t>(std::rand());
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"empty", {}},
      {"garbage", garbage},
      {"start code only", {0, 0, 0, 1}},
      {"truncated key frame", truncated},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Decoder decoder;
    auto picture = decoder.decode(c.bytes);
    if (picture) {
      // A decoder may conceal a damaged frame, but never with a wrong size.
      EXPECT_EQ(picture->pixels.size(), std::size_t{picture->width} * picture->height * 4);
    }
  }
  Decoder decoder;
  EXPECT_FALSE(decoder.decode(std::vector<std::uint8_t>{}).has_value());
  EXPECT_FALSE(decoder.decode(garbage).has_value());
}

TEST(Decoder, RecoversAtTheNextKeyFrameAfterGarbage) {
  auto frames = encode_frames(64, 64, 11);  // frames 0 and 10 are key frames
  Decoder decoder;
  std::vector<std::uint8_t> garbage(512, 0x5a);
  EXPECT_FALSE(decoder.decode(garbage).has_value());
  EXPECT_TRUE(decoder.decode(frames[10]).has_value());
}

TEST(Decoder, PicturesReuseTheSpareStorageGivenBack) {
  auto frames = encode_frames(64, 64, 2);
  Decoder decoder;
  auto first = decoder.decode(frames[0]);
  ASSERT_TRUE(first.has_value());
  std::vector<std::uint8_t> spare = std::move(first->pixels);
  const std::uint8_t* storage = spare.data();
  // Bytes that give no picture leave the spare alone.
  EXPECT_FALSE(decoder.decode(std::vector<std::uint8_t>(64, 0x5a), spare).has_value());
  EXPECT_EQ(spare.data(), storage);
  auto second = decoder.decode(frames[1], spare);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->pixels.data(), storage);
  EXPECT_EQ(second->pixels.size(), std::size_t{64} * 64 * 4);
  expect_near(*second, 16, 16, {255, 0, 0});
}

TEST(Encoder, RejectsGeometryItCannotEncode) {
  EXPECT_FALSE(Encoder::create(0, 64, 30, 10).has_value());
  EXPECT_FALSE(Encoder::create(63, 64, 30, 10).has_value());
  EXPECT_FALSE(Encoder::create(64, 64, 0, 10).has_value());
  EXPECT_FALSE(Encoder::create(16384, 64, 30, 10).has_value());
  auto encoder = Encoder::create(64, 64, 30, 10);
  ASSERT_TRUE(encoder.has_value());
  EXPECT_FALSE(encoder->encode(std::vector<std::uint8_t>(10)).has_value());
}

}  // namespace
