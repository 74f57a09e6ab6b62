#include "document/encoding.h"

#include <gtest/gtest.h>

#include "document/document.h"
#include "document/limits.h"

namespace kova::doc {
namespace {

using Bytes8 = std::vector<std::uint8_t>;

void uvar(Bytes8& out, std::uint64_t v) {
  while (v >= 0x80) {
    out.push_back(static_cast<std::uint8_t>(v | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<std::uint8_t>(v));
}

// The start of a commit: version, one actor, seq 1, start op 1.
Bytes8 header() {
  Bytes8 b{1};
  uvar(b, 1);
  b.insert(b.end(), 16, 0xAB);
  uvar(b, 1);
  uvar(b, 1);
  return b;
}

Bytes8 with(Bytes8 b, std::initializer_list<std::uint64_t> varints) {
  for (auto v : varints)
    uvar(b, v);
  return b;
}

Bytes8 as_bytes(const std::string& s) {
  return Bytes8(s.begin(), s.end());
}

Commit sample_commit() {
  Document d(ActorId{{7}});
  const ObjId conns = *d.put_object(root, "connections", ObjType::Map);
  const ObjId name = *d.put_object(conns, "name", ObjType::Text);
  (void)d.splice_text(name, 0, 0, "wéb😀");
  (void)d.splice_text(name, 1, 2, "x");
  (void)d.put(conns, "port", std::int64_t{-22});
  (void)d.put(conns, "f", 0.5);
  (void)d.put(conns, "b", Bytes{1, 2, 3});
  (void)d.put(conns, "u", std::uint64_t{1} << 63);
  (void)d.delete_key(conns, "f");
  return *d.commit("message");
}

TEST(Encoding, RoundTripsACommitOfEveryOpKind) {
  const Commit c = sample_commit();
  const Bytes8 bytes = as_bytes(encode_commit(c));
  auto back = decode_commit(bytes);
  ASSERT_TRUE(back) << back.error().message;
  EXPECT_EQ(back->hash, c.hash);
  EXPECT_EQ(encode_commit(*back), encode_commit(c));
  EXPECT_EQ(back->message, "message");
  EXPECT_EQ(back->ops.size(), c.ops.size());
}

TEST(Encoding, SealedCommitsAlwaysDecodeWhateverTheMessage) {
  std::string long_message(max_message_bytes - 1, 'a');
  long_message += "é";  // crosses the limit in the middle of a character
  const std::pair<const char*, std::string> cases[] = {
      {"invalid UTF-8", "ok\xff\xfe"},
      {"cut at the limit", long_message},
  };
  for (const auto& [name, message] : cases) {
    SCOPED_TRACE(name);
    Document d;
    ASSERT_TRUE(d.put(root, "k", true));
    const Commit c = *d.commit(message);
    const Bytes8 bytes = as_bytes(encode_commit(c));
    auto back = decode_commit(bytes);
    ASSERT_TRUE(back) << back.error().message;
    EXPECT_EQ(back->hash, c.hash);
    EXPECT_EQ(message.substr(0, back->message.size()), back->message);
  }
}

TEST(Encoding, RejectsHostileLengthsAndCounts) {
  const Bytes8 dep_bytes(32 * 3, 0);
  struct Case {
    const char* name;
    Bytes8 bytes;
    const char* message;
  };
  Bytes8 many_actors{1};
  uvar(many_actors, 0xffffffff);
  Bytes8 actors_past_end{1};
  uvar(actors_past_end, 3);
  many_actors.insert(many_actors.end(), 64, 0);
  Bytes8 limit_deps_short = with(header(), {max_deps_per_commit});
  limit_deps_short.insert(limit_deps_short.end(), dep_bytes.begin(), dep_bytes.end());
  Bytes8 overlong_seq{1};
  uvar(overlong_seq, 1);
  overlong_seq.insert(overlong_seq.end(), 16, 0xAB);
  overlong_seq.insert(overlong_seq.end(), {0x81, 0x00});  // seq 1 in two bytes
  overlong_seq = with(overlong_seq, {1, 0, 0, 1, 1, 0, 0, 1, 'k', 0, 0});
  Bytes8 too_wide = with(header(), {0, 0, 1, 1, 0, 0, 1, 'k', 0, 2});
  too_wide.insert(too_wide.end(), 9, 0xff);
  too_wide.push_back(0x7f);
  const Case cases[] = {
      {"empty", {}, "ends early"},
      {"unknown version", {9}, "version"},
      {"actor count 0xffffffff", many_actors, "actor count over its limit"},
      {"actors past the end", actors_past_end, "actor count exceeds the commit"},
      {"no actor", with({1}, {0}), "no actor"},
      {"dep count limit + 1", with(header(), {max_deps_per_commit + 1}),
       "dependency count over its limit"},
      {"dep count at the limit, bytes missing", limit_deps_short,
       "dependency count exceeds the commit"},
      {"message 0x80000000 bytes", with(header(), {0, 0x80000000u}),
       "message longer than its limit"},
      {"message past the end", with(header(), {0, 10}), "ends early"},
      {"op count 0xffffffff", with(header(), {0, 0, 0xffffffff}), "op count over its limit"},
      {"no ops", with(header(), {0, 0, 0}), "no ops"},
      {"unknown op kind", with(header(), {0, 0, 1, 9, 0, 0, 0}), "unknown op kind"},
      {"key 0xffffffff bytes", with(header(), {0, 0, 1, 1, 0, 0, 0xffffffff}),
       "key longer than its limit"},
      {"empty key", with(header(), {0, 0, 1, 1, 0, 0, 0}), "empty key"},
      {"pred count 0x80000000", with(header(), {0, 0, 1, 1, 0, 0, 1, 'k', 0x80000000u}),
       "pred count over"},
      {"actor index out of range", with(header(), {0, 0, 1, 1, 5, 3}), "actor index out of range"},
      {"unknown scalar type", with(header(), {0, 0, 1, 1, 0, 0, 1, 'k', 0, 42}),
       "unknown scalar type"},
      {"bytes scalar 0xffffffff", with(header(), {0, 0, 1, 1, 0, 0, 1, 'k', 0, 9, 0xffffffff}),
       "bytes longer"},
      {"varint over 64 bits", too_wide, "integer too large"},
      {"overlong varint", overlong_seq, "canonical"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = decode_commit(c.bytes);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().code, ErrorCode::Corrupt);
    EXPECT_NE(r.error().message.find(c.message), std::string::npos) << r.error().message;
  }
}

TEST(Encoding, EveryTruncationAndAnyTrailingByteIsAnError) {
  const Bytes8 bytes = as_bytes(encode_commit(sample_commit()));
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    SCOPED_TRACE(n);
    EXPECT_FALSE(decode_commit(std::span(bytes).first(n)));
  }
  Bytes8 longer = bytes;
  longer.push_back(0);
  auto r = decode_commit(longer);
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().message.find("trailing"), std::string::npos);
}

TEST(Encoding, RefusesAnythingOverTheCommitSizeLimit) {
  const Bytes8 huge(max_commit_bytes + 1, 0);
  auto r = decode_commit(huge);
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().message.find("size limit"), std::string::npos);
}

}  // namespace
}  // namespace kova::doc
