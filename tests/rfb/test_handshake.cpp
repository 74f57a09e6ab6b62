// The handshake on recorded server bytes: what the client answers, what it
// returns and every failure text.
#include <gtest/gtest.h>

#include <optional>

#include "rfb/handshake.h"
#include "rfb/vnc_auth.h"
#include "wire_builder.h"

namespace remote::rfb {
namespace {

using testing::server_init;
using testing::Wire;

std::vector<std::uint8_t> bytes_of(std::string_view s) {
  return {s.begin(), s.end()};
}

std::vector<std::uint8_t> concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> out;
  for (const auto& p : parts)
    out.insert(out.end(), p.begin(), p.end());
  return out;
}

const Challenge challenge = [] {
  Challenge c;
  for (std::uint8_t i = 0; i < 16; ++i)
    c[i] = i;
  return c;
}();
const std::vector<std::uint8_t> challenge_bytes_v(challenge.begin(), challenge.end());

// Known answers for the challenge 00..0f, computed independently with
// DES-ECB under the bit-reversed key.
std::vector<std::uint8_t> hex(std::string_view h) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < h.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(h.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

TEST(VncAuth, KnownAnswers) {
  const struct {
    const char* password;
    const char* key;
    const char* response;
  } cases[] = {
      {"", "0000000000000000", "491e890de9ace932838a49792f2213f3"},
      {"password", "0e86ceceeef64e26", "b866924125c8eebb9debc1db61c538e2"},
      {"secret12", "cea6c64ea62e8c4c", "adcd997f8e16fee575e973f93c2b62b4"},
      {"secret12345X", "cea6c64ea62e8c4c", "adcd997f8e16fee575e973f93c2b62b4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.password);
    const auto key = vnc_auth_key(c.password);
    EXPECT_EQ(std::vector<std::uint8_t>(key.begin(), key.end()), hex(c.key));
    const auto r = vnc_auth_response(challenge, c.password);
    EXPECT_EQ(std::vector<std::uint8_t>(r.begin(), r.end()), hex(c.response));
  }
  EXPECT_EQ(vnc_auth_key("\x01"
                         "a")[0],
            0x80);
  EXPECT_EQ(vnc_auth_key("\x01"
                         "a")[1],
            0x86);
}

TEST(Handshake, AgreedVersion) {
  const struct {
    const char* text;
    std::optional<std::uint8_t> minor;
  } cases[] = {
      {"RFB 003.008\n", 8},
      {"RFB 003.007\n", 7},
      {"RFB 003.003\n", 3},
      {"RFB 003.005\n", 3},
      {"RFB 003.889\n", std::nullopt},
      {"RFB 004.000\n", 8},
      {"RFB 002.009\n", 3},
      {"RFB 3.8     \n", 8},
      {"RFB +3.+8   \n", 8},
      {"RFB 003.255\n", 8},
      {"RFB 003-008\n", std::nullopt},
      {"RFB 003.0a8\n", std::nullopt},
      {"RFX 003.008\n", std::nullopt},
      {"RFB ++3.008\n", std::nullopt},
      {"RFB 003.\xff\xfe"
       "8\n",
       std::nullopt},
      {"RFB 256.008\n", std::nullopt},
      {"RFB  03.008\n", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto v = parse_protocol_version(bytes_of(c.text));
    ASSERT_EQ(v.has_value(), c.minor.has_value());
    if (v) {
      EXPECT_EQ(agreed_minor_version(v->major, v->minor), *c.minor);
    }
  }
}

struct Exchange {
  const char* name;
  std::vector<std::uint8_t> server;
  const char* password;
  std::vector<std::uint8_t> client;  // everything the client must write
  std::optional<Error> error;        // nothing: success with a 2x1 framebuffer
};

std::vector<std::uint8_t> response_to(const char* password) {
  const auto r = vnc_auth_response(challenge, password);
  return {r.begin(), r.end()};
}

std::vector<std::uint8_t> reason(std::string_view text) {
  return Wire().u32(static_cast<std::uint32_t>(text.size())).text(text).bytes;
}

TEST(Handshake, Exchanges) {
  const auto v38 = bytes_of("RFB 003.008\n");
  const auto v37 = bytes_of("RFB 003.007\n");
  const auto v33 = bytes_of("RFB 003.003\n");
  const auto init = server_init(2, 1, "desk").bytes;
  const std::vector<std::uint8_t> ok{0, 0, 0, 0}, bad{0, 0, 0, 1}, shared{1};
  const Exchange cases[] = {
      {"3.8 None", concat({v38, {1, 1}, ok, init}), "", concat({v38, {1}, shared}), {}},
      {"3.8 prefers None over VncAuth",
       concat({v38, {2, 2, 1}, ok, init}),
       "pw",
       concat({v38, {1}, shared}),
       {}},
      {"3.8 VncAuth",
       concat({v38, {1, 2}, challenge_bytes_v, ok, init}),
       "password",
       concat({v38, {2}, response_to("password"), shared}),
       {}},
      {"3.7 None reads no result", concat({v37, {1, 1}, init}), "", concat({v37, {1}, shared}), {}},
      {"3.7 VncAuth",
       concat({v37, {1, 2}, challenge_bytes_v, ok, init}),
       "",
       concat({v37, {2}, response_to(""), shared}),
       {}},
      {"3.3 None", concat({v33, {0, 0, 0, 1}, init}), "", concat({v33, shared}), {}},
      {"3.3 ignores upper bytes", concat({v33, {9, 9, 9, 1}, init}), "", concat({v33, shared}), {}},
      {"3.5 gets 3.3",
       concat({bytes_of("RFB 003.005\n"), {0, 0, 0, 2}, challenge_bytes_v, ok, init}),
       "secret12345X",
       concat({v33, response_to("secret12"), shared}),
       {}},
      {"4.0 gets 3.8",
       concat({bytes_of("RFB 004.000\n"), {1, 1}, ok, init}),
       "",
       concat({v38, {1}, shared}),
       {}},
      {"bad version",
       bytes_of("RFB 003.889\n"),
       "",
       {},
       Error{ErrorKind::InvalidData, "bad ProtocolVersion"}},
      {"no usable type", concat({v38, {2, 16, 19}}), "", v38,
       Error{ErrorKind::Unsupported, "no supported VNC security type"}},
      {"zero types with reason", concat({v38, {0}, reason("go away")}), "", v38,
       Error{ErrorKind::PermissionDenied, "go away"}},
      {"zero types, reason invalid utf-8", concat({v38, {0}, reason("a\xff")}), "", v38,
       Error{ErrorKind::PermissionDenied, "a\xEF\xBF\xBD"}},
      {"zero types, reason truncated", concat({v38, {0}, {0, 0, 0, 9}, bytes_of("abc")}), "", v38,
       Error{ErrorKind::UnexpectedEof, "failed to fill whole buffer"}},
      {"zero types, reason too long", concat({v38, {0}, {0, 0, 0x40, 0x01}}), "", v38,
       Error{ErrorKind::InvalidData, "RFB server reason exceeds the 16 KiB limit"}},
      {"3.3 type 0", concat({v33, {0, 0, 0, 0}, reason("nope")}), "", v33,
       Error{ErrorKind::Unsupported, "unhandled security type 0"}},
      {"3.3 type 16", concat({v33, {0, 0, 0, 16}}), "", v33,
       Error{ErrorKind::Unsupported, "unhandled security type 16"}},
      {"auth failed with reason", concat({v38, {1, 2}, challenge_bytes_v, bad, reason("wrong")}),
       "x", concat({v38, {2}, response_to("x")}), Error{ErrorKind::PermissionDenied, "wrong"}},
      {"auth failed then closed", concat({v37, {1, 2}, challenge_bytes_v, bad}), "x",
       concat({v37, {2}, response_to("x")}),
       Error{ErrorKind::PermissionDenied, "authentication failed"}},
      {"3.8 None rejected", concat({v38, {1, 1}, bad}), "", concat({v38, {1}}),
       Error{ErrorKind::PermissionDenied, "authentication failed"}},
      {"closed before version",
       bytes_of("RFB 003"),
       "",
       {},
       Error{ErrorKind::UnexpectedEof, "failed to fill whole buffer"}},
      {"closed before ServerInit", concat({v38, {1, 1}, ok}), "", concat({v38, {1}, shared}),
       Error{ErrorKind::UnexpectedEof, "failed to fill whole buffer"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryStream s(c.server);
    auto r = run_handshake(s, c.password);
    EXPECT_EQ(s.written(), c.client);
    if (c.error) {
      ASSERT_FALSE(r);
      EXPECT_EQ(r.error(), *c.error);
    } else {
      ASSERT_TRUE(r) << r.error().text;
      EXPECT_EQ(r->width, 2);
      EXPECT_EQ(r->height, 1);
      EXPECT_EQ(r->name, "desk");
      EXPECT_EQ(s.remaining(), 0u);
    }
  }
}

TEST(Handshake, ServerInitLimits) {
  const auto prefix = concat({bytes_of("RFB 003.008\n"), {1, 1}, {0, 0, 0, 0}});
  const auto with_name = [](std::uint32_t w, std::uint32_t h, std::uint32_t name_len) {
    Wire i = server_init(w, h, "");
    i.bytes.resize(i.bytes.size() - 4);
    i.u32(name_len);
    i.bytes.resize(i.bytes.size() + std::min<std::uint32_t>(name_len, 16384), 'n');
    return i.bytes;
  };
  const char* dims = "RFB framebuffer dimensions exceed the 16 megapixel limit";
  const char* name = "RFB server name exceeds the 16 KiB limit";
  const struct {
    const char* label;
    std::uint32_t w, h, name_len;
    const char* text;
  } cases[] = {
      {"name 16384", 1, 1, 16384, nullptr},
      {"name 16385", 1, 1, 16385, name},
      {"name 0x80000000", 1, 1, 0x80000000, name},
      {"name 0xffffffff", 1, 1, 0xFFFFFFFF, name},
      {"width 0", 0, 10, 0, dims},
      {"height 0", 10, 0, 0, dims},
      {"4096x4096", 4096, 4096, 0, nullptr},
      {"4097x4096", 4097, 4096, 0, dims},
      {"65535x65535", 65535, 65535, 0, dims},
      {"65535x256", 65535, 256, 0, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto server = concat({prefix, with_name(c.w, c.h, c.name_len)});
    MemoryStream s(server);
    auto r = run_handshake(s, "");
    if (c.text == nullptr) {
      ASSERT_TRUE(r) << r.error().text;
      EXPECT_EQ(r->width, c.w);
      EXPECT_EQ(r->name.size(), c.name_len);
    } else {
      ASSERT_FALSE(r);
      EXPECT_EQ(r.error().text, c.text);
      EXPECT_EQ(r.error().kind, ErrorKind::InvalidData);
      // Rejected before a single name byte is read.
      EXPECT_EQ(s.remaining(), std::min<std::uint32_t>(c.name_len, 16384));
    }
  }
}

}  // namespace
}  // namespace remote::rfb
