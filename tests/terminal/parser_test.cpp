// The parser's action stream, written as a compact transcript:
// P"run" for printable ASCII, U+XXXX for other characters, X0D for a control,
// and CSI[?|1;2| |A] for a control sequence (marker|params|intermediates|final).

#include "terminal/parser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace terminal {
namespace {

std::string hex(const char* format, char32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, format, static_cast<unsigned>(c));
  return buf;
}

class Recorder {
 public:
  std::string out;
  std::string pending_run;

  void print_ascii(std::string_view run, std::size_t) { pending_run += run; }
  void print(char32_t c) {
    flush();
    out += hex("U+%04X ", c);
  }
  void execute(char32_t c) {
    flush();
    out += hex("X%02X ", c);
  }
  void csi_dispatch(const ControlSequence& s) {
    flush();
    out += "CSI[";
    if (s.private_marker) out += s.private_marker;
    out += '|';
    for (std::size_t i = 0; i < s.param_count; ++i) {
      if (i) out += ';';
      out += std::to_string(s.params[i]);
    }
    out += '|';
    out.append(s.intermediates.data(), s.intermediate_count);
    out += '|';
    out += s.final_byte;
    out += "] ";
  }
  // Consecutive runs merge, so a transcript does not depend on how the input
  // was split.
  void flush() {
    if (!pending_run.empty()) out += "P\"" + pending_run + "\" ";
    pending_run.clear();
  }
};

std::string parse(std::string_view input, std::size_t split) {
  Parser parser;
  Recorder rec;
  const auto* p = reinterpret_cast<const std::uint8_t*>(input.data());
  parser.advance({p, split}, rec);
  parser.advance({p + split, input.size() - split}, rec);
  rec.flush();
  if (!rec.out.empty()) rec.out.pop_back();
  return rec.out;
}

struct Case {
  const char* name;
  std::string input;
  std::string actions;
  ParserState final_state = ParserState::Ground;
};

TEST(Parser, ActionTranscripts) {
  const std::string long_params = std::string("\x1b[") + std::string(40, ';') + "m";
  const std::string long_osc = "\x1b]0;" + std::string(100000, 'x') +
                               "\x07"
                               "a";
  const std::vector<Case> cases = {
      {"text and controls", "ab\r\ncd", "P\"ab\" X0D X0A P\"cd\""},
      {"DEL is printable", "\x7f", "P\"\x7f\""},
      {"empty CSI", "\x1b[m", "CSI[|||m]"},
      {"empty groups count", "\x1b[;m", "CSI[|0;0||m]"},
      {"marker and intermediates apart from params", "\x1b[?25$p", "CSI[?|25|$|p]"},
      {"every marker", "\x1b[>1c\x1b[=2c\x1b[<3c", "CSI[>|1||c] CSI[=|2||c] CSI[<|3||c]"},
      {"sub-parameters dropped", "\x1b[4:3;38:2:1:2:3m", "CSI[|4;38||m]"},
      {"leading colon is an empty first value", "\x1b[:5m", "CSI[|0||m]"},
      {"values saturate", "\x1b[65535;65536;4294967296H", "CSI[|65535;65535;65535||H]"},
      {"groups beyond the limit dropped", long_params,
       "CSI[|" +
           [] {
             std::string s;
             for (int i = 0; i < 32; ++i)
               s += i ? ";0" : "0";
             return s;
           }() +
           "||m]"},
      {"C0 inside CSI executes at once", "\x1b[1\n2H", "X0A CSI[|12||H]"},
      {"CAN and SUB abandon",
       "\x1b[1\x18"
       "A\x1b[\x1a"
       "B",
       "X18 P\"A\" X1A P\"B\""},
      {"ESC restarts a sequence", "\x1b[12\x1b[3A", "CSI[|3||A]"},
      {"C1 executes and abandons",
       "\x1b[1\xc2\x9b"
       "A",
       "X9B P\"A\""},
      {"OSC with BEL",
       "\x1b]2;t\xc3\xa9\x07"
       "a",
       "P\"a\""},
      {"long OSC is consumed", long_osc, "P\"a\""},
      {"DCS with ST", "\x1bP1$r\x07\x1b\\a", "P\"a\""},
      {"ESC dispatches are silent",
       "\x1b(B\x1b"
       "7a",
       "P\"a\""},
      {"unfinished CSI waits", "\x1b[12", "", ParserState::CsiParam},
      {"unfinished OSC waits", "\x1b]0;abc", "", ParserState::OscString},
      {"UTF-8 characters", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", "U+00E9 U+20AC U+1F600"},
      {"UTF-8 limits", "\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf",
       "X80 U+07FF U+0800 U+FFFF U+10000 U+10FFFF"},
      {"beyond U+10FFFF", "\xf4\x90\x80\x80", "U+FFFD U+FFFD U+FFFD U+FFFD"},
      {"lone continuation",
       "\x80"
       "a",
       "U+FFFD P\"a\""},
      {"truncated before control", "\xe2\x82\n", "U+FFFD X0A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string whole = parse(c.input, c.input.size());
    EXPECT_EQ(whole, c.actions);
    // Long inputs are split at a few points only; the rest at every byte.
    const std::size_t step = c.input.size() > 200 ? c.input.size() / 7 : 1;
    for (std::size_t k = 0; k < c.input.size(); k += step) {
      ASSERT_EQ(parse(c.input, k), whole) << "split at " << k;
    }
    Parser parser;
    Recorder rec;
    parser.advance({reinterpret_cast<const std::uint8_t*>(c.input.data()), c.input.size()}, rec);
    EXPECT_EQ(parser.state(), c.final_state);
  }
}

}  // namespace
}  // namespace terminal
