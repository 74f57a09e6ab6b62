// terminal_feed [FILE] [COLSxROWS]
// terminal_feed --write mixed|ascii FILE [MEGABYTES]
//
// Feeds terminal output through the screen model in 4096-byte writes, as
// pseudo-terminal reads arrive, and prints MB/s next to the memchr bandwidth
// of the same bytes measured in the same run (and libvterm's, when built
// with it). Rates are bytes per second of this thread's CPU time. Without FILE it runs the
// generated mixed and plain-ASCII corpora.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "corpus.h"
#include "terminal/screen.h"

#ifdef KOVA_HAVE_VTERM
#include <vterm.h>
#endif

namespace {

constexpr std::size_t write_bytes = 4096;
constexpr std::size_t generated_bytes = 32u << 20;

struct Size {
  unsigned columns = 80;
  unsigned rows = 24;
};

// CPU time of this thread, so other processes on a shared machine do not
// count against whatever is being measured.
double thread_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Best of several runs, so cache and frequency noise matter less.
double best_mb_per_s(std::size_t bytes, const std::function<void()>& run) {
  double best = 0;
  double total = 0;
  for (int i = 0; i < 20 && (i < 3 || total < 1.0); ++i) {
    const double start = thread_seconds();
    run();
    const double seconds = thread_seconds() - start;
    total += seconds;
    best = std::max(best, static_cast<double>(bytes) / 1e6 / seconds);
  }
  return best;
}

double memchr_rate(std::string_view data) {
  volatile std::size_t found = 0;
  return best_mb_per_s(data.size(), [&] {
    // Counts NUL bytes: the whole buffer is scanned whatever it holds.
    std::size_t n = 0;
    const char* p = data.data();
    const char* end = p + data.size();
    while (const void* hit = std::memchr(p, 0, static_cast<std::size_t>(end - p))) {
      ++n;
      p = static_cast<const char*>(hit) + 1;
    }
    found = found + n;
  });
}

double screen_rate(std::string_view data, Size size) {
  volatile unsigned sink = 0;
  return best_mb_per_s(data.size(), [&] {
    terminal::TerminalScreen screen(size.columns, size.rows);
    for (std::size_t at = 0; at < data.size(); at += write_bytes) {
      screen.feed(data.substr(at, write_bytes));
    }
    sink = sink + screen.cursor_column();
  });
}

#ifdef KOVA_HAVE_VTERM
double vterm_screen_rate(std::string_view data, Size size) {
  return best_mb_per_s(data.size(), [&] {
    VTerm* vt = vterm_new(static_cast<int>(size.rows), static_cast<int>(size.columns));
    vterm_set_utf8(vt, 1);
    VTermScreen* screen = vterm_obtain_screen(vt);
    vterm_screen_reset(screen, 1);
    for (std::size_t at = 0; at < data.size(); at += write_bytes) {
      const std::string_view chunk = data.substr(at, write_bytes);
      vterm_input_write(vt, chunk.data(), chunk.size());
    }
    vterm_free(vt);
  });
}

// libvterm's parser layer alone, with callbacks that do nothing: the least
// it could cost if only its parser were used under our screen model. Its text
// callback is handed the rest of the buffer and says how much is text; that
// scan is the smallest part of the work a screen model would do there
// (no UTF-8 decoding, no cells).
double vterm_parser_rate(std::string_view data) {
  static const VTermParserCallbacks callbacks = {
      .text =
          [](const char* bytes, size_t len, void*) {
            size_t n = 0;
            while (n < len && static_cast<unsigned char>(bytes[n]) >= 0x20 && bytes[n] != 0x7F)
              ++n;
            return static_cast<int>(n);
          },
      .control = [](unsigned char, void*) { return 1; },
      .escape = [](const char*, size_t, void*) { return 1; },
      .csi = [](const char*, const long[], int, const char*, char, void*) { return 1; },
      .osc = [](const char*, size_t, void*) { return 1; },
      .dcs = [](const char*, size_t, void*) { return 1; },
      .resize = nullptr,
  };
  return best_mb_per_s(data.size(), [&] {
    VTerm* vt = vterm_new(24, 80);
    vterm_set_utf8(vt, 1);
    vterm_parser_set_callbacks(vt, &callbacks, nullptr);
    for (std::size_t at = 0; at < data.size(); at += write_bytes) {
      const std::string_view chunk = data.substr(at, write_bytes);
      vterm_input_write(vt, chunk.data(), chunk.size());
    }
    vterm_free(vt);
  });
}
#endif

void report(const char* name, std::string_view data, Size size) {
  const double ours = screen_rate(data, size);
  const double memchr = memchr_rate(data);
  std::printf("%-8s %6.1f MB  %ux%u  screen %8.1f MB/s  memchr %8.1f MB/s  (memchr/screen %.1fx)\n",
              name, static_cast<double>(data.size()) / 1e6, size.columns, size.rows, ours, memchr,
              memchr / ours);
#ifdef KOVA_HAVE_VTERM
  const double vterm = vterm_screen_rate(data, size);
  const double vterm_parser = vterm_parser_rate(data);
  std::printf(
      "%-8s libvterm screen %8.1f MB/s (screen/libvterm %.1fx)  libvterm parser only %8.1f MB/s\n",
      "", vterm, ours / vterm, vterm_parser);
#endif
}

std::optional<Size> parse_size(std::string_view text) {
  unsigned columns = 0;
  unsigned rows = 0;
  char x = 0;
  char extra = 0;
  const std::string copy(text);
  if (std::sscanf(copy.c_str(), "%u%c%u%c", &columns, &x, &rows, &extra) != 3 || x != 'x' ||
      columns < 1 || rows < 1 || columns > terminal::max_screen_columns ||
      rows > terminal::max_screen_rows) {
    return std::nullopt;
  }
  return Size{columns, rows};
}

int usage() {
  std::fprintf(stderr,
               "usage: terminal_feed [FILE] [COLSxROWS]\n"
               "       terminal_feed --write mixed|ascii FILE [MEGABYTES]\n");
  return 2;
}

int write_corpus(int argc, char** argv) {
  if (argc < 4 || argc > 5) return usage();
  const std::string_view kind = argv[2];
  const std::size_t megabytes = argc == 5 ? std::strtoul(argv[4], nullptr, 10) : 32;
  if (megabytes < 1 || megabytes > 4096) return usage();
  const std::size_t bytes = megabytes << 20;
  std::string data;
  if (kind == "mixed") {
    data = terminal::bench::mixed_corpus(bytes);
  } else if (kind == "ascii") {
    data = terminal::bench::ascii_corpus(bytes);
  } else {
    return usage();
  }
  std::ofstream out(argv[3], std::ios::binary);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out.flush()) {
    std::fprintf(stderr, "terminal_feed: cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string_view(argv[1]) == "--write") return write_corpus(argc, argv);
  if (argc > 3) return usage();
  Size size;
  if (argc == 3) {
    const auto parsed = parse_size(argv[2]);
    if (!parsed) return usage();
    size = *parsed;
  }
  if (argc >= 2) {
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "terminal_feed: cannot read %s\n", argv[1]);
      return 1;
    }
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    report("file", data, size);
    return 0;
  }
  report("mixed", terminal::bench::mixed_corpus(generated_bytes), size);
  report("ascii", terminal::bench::ascii_corpus(generated_bytes), size);
  return 0;
}
