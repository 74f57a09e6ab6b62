#include "rfb/bulk_store.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <tmmintrin.h>
#include <xmmintrin.h>
#endif

namespace remote::rfb {
namespace {

bool is_requested_layout(const PixelFormat& f) {
  return f.bits_per_pixel == 32 && !f.big_endian && f.red_max == 255 && f.green_max == 255 &&
         f.blue_max == 255 && f.red_shift == 16 && f.green_shift == 8 && f.blue_shift == 0;
}

#if defined(__SSE2__)
// Whole pixels up to the next 16-byte boundary of `dst`.
std::size_t pixels_to_alignment(const std::uint8_t* dst, std::size_t count) {
  const std::size_t misaligned = reinterpret_cast<std::uintptr_t>(dst) & 15u;
  const std::size_t head = misaligned == 0 ? 0 : (16 - misaligned) / 4;
  return head < count ? head : count;
}

// Blue, green, red, x becomes red, green, blue, 255 in four pixels at once.
__m128i swap_red_blue(__m128i v) {
  const __m128i green = _mm_set1_epi32(0x0000FF00);
  const __m128i low = _mm_set1_epi32(0x000000FF);
  const __m128i high = _mm_set1_epi32(0x00FF0000);
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  const __m128i red = _mm_and_si128(_mm_srli_epi32(v, 16), low);
  const __m128i blue = _mm_and_si128(_mm_slli_epi32(v, 16), high);
  return _mm_or_si128(_mm_or_si128(_mm_and_si128(v, green), alpha), _mm_or_si128(red, blue));
}

// The same with one byte shuffle, on processors that have it; the plain
// version costs enough instructions per byte to fall behind memory. A whole
// cache line per step, with the source asked for a kilobyte ahead, keeps the
// memory busy the way a large memcpy does.
__attribute__((target("ssse3"))) inline void put_four_ssse3(const std::uint8_t* wire,
                                                            std::uint8_t* dst) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1);
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(wire));
  _mm_stream_si128(reinterpret_cast<__m128i*>(dst),
                   _mm_or_si128(_mm_shuffle_epi8(v, order), alpha));
}

__attribute__((target("ssse3"))) void convert_stream_ssse3(const std::uint8_t* wire,
                                                           std::size_t count, std::uint8_t* dst) {
  constexpr std::size_t ahead = 256;  // pixels
  std::size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    if (i + 16 + ahead <= count) {
      _mm_prefetch(reinterpret_cast<const char*>(wire + 4 * (i + ahead)), _MM_HINT_NTA);
    }
    for (std::size_t k = 0; k < 16; k += 4)
      put_four_ssse3(wire + 4 * (i + k), dst + 4 * (i + k));
  }
  for (; i + 4 <= count; i += 4)
    put_four_ssse3(wire + 4 * i, dst + 4 * i);
}

void convert_stream_sse2(const std::uint8_t* wire, std::size_t count, std::uint8_t* dst) {
  for (std::size_t i = 0; i + 4 <= count; i += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(wire + 4 * i));
    _mm_stream_si128(reinterpret_cast<__m128i*>(dst + 4 * i), swap_red_blue(v));
  }
}

bool has_ssse3() {
  static const bool yes = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
  }();
  return yes;
}
#endif

}  // namespace

void convert_store(const PixelFormat& format, const std::uint8_t* wire, std::size_t count,
                   std::uint8_t* dst, bool streaming) {
#if defined(__SSE2__)
  if (streaming && is_requested_layout(format) && std::endian::native == std::endian::little) {
    const std::size_t head = pixels_to_alignment(dst, count);
    convert_pixels(format, wire, head, dst);
    const std::size_t body = (count - head) & ~std::size_t{3};
    if (has_ssse3()) {
      convert_stream_ssse3(wire + 4 * head, body, dst + 4 * head);
    } else {
      convert_stream_sse2(wire + 4 * head, body, dst + 4 * head);
    }
    const std::size_t i = head + body;
    convert_pixels(format, wire + 4 * i, count - i, dst + 4 * i);
    return;
  }
#endif
  static_cast<void>(streaming);
  convert_pixels(format, wire, count, dst);
}

void stream_pixels(const std::uint8_t* src, std::size_t count, std::uint8_t* dst) {
#if defined(__SSE2__)
  const std::size_t head = pixels_to_alignment(dst, count);
  std::memcpy(dst, src, head * 4);
  std::size_t i = head;
  for (; i + 4 <= count; i += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * i));
    _mm_stream_si128(reinterpret_cast<__m128i*>(dst + 4 * i), v);
  }
  std::memcpy(dst + 4 * i, src + 4 * i, (count - i) * 4);
#else
  std::memcpy(dst, src, count * 4);
#endif
}

void store_fence() {
#if defined(__SSE2__)
  _mm_sfence();
#endif
}

}  // namespace remote::rfb
