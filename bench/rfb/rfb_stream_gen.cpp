// rfb_stream_gen KIND OUT: writes a recorded stream for rfb_replay.
#include <cstdio>
#include <fstream>
#include <string>

#include "stream_format.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: rfb_stream_gen raw|copyrect|rre OUT\n", stderr);
    return 2;
  }
  std::vector<std::uint8_t> bytes;
  if (!remote::rfb::bench::generate_stream(argv[1], bytes)) {
    std::fprintf(stderr, "unknown stream kind %s\n", argv[1]);
    return 2;
  }
  std::ofstream out(argv[2], std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
