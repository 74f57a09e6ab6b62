#include "document/document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <limits>
#include <random>

#include "document/encoding.h"
#include "document/json_dump.h"
#include "document/limits.h"

namespace kova::doc {
namespace {

Scalar str(const char* s) {
  return std::string{s};
}

std::optional<Scalar> scalar_at(const Document& d, ObjId obj, std::string_view key) {
  auto v = d.get(obj, key);
  if (!v || !std::holds_alternative<Scalar>(*v)) return std::nullopt;
  return std::get<Scalar>(*v);
}

template <class T>
Result<void> drop(const Result<T>& r) {
  if (!r) return std::unexpected(r.error());
  return {};
}

// Brings everything `from` has into `to`.
void pull(Document& to, const Document& from) {
  auto r = to.apply(from.history());
  ASSERT_TRUE(r) << r.error().message;
  ASSERT_EQ(r->waiting, 0u);
}

TEST(Document, ScalarsRoundTripWithTheirType) {
  const std::vector<std::pair<const char*, Scalar>> cases = {
      {"null", Null{}},
      {"string", str("héllo")},
      {"int", std::int64_t{-70000}},
      {"uint", std::uint64_t{18446744073709551615u}},
      {"float", 22.9},
      {"counter", Counter{-3}},
      {"timestamp", Timestamp{1700000000000}},
      {"bool", true},
      {"bytes", Bytes{0, 255, 7}},
  };
  Document d;
  for (const auto& [key, value] : cases)
    ASSERT_TRUE(d.put(root, key, value));
  Document other;
  ASSERT_TRUE(d.commit("scalars"));
  pull(other, d);
  for (const auto& [key, value] : cases) {
    SCOPED_TRACE(key);
    EXPECT_EQ(scalar_at(d, root, key), value);
    EXPECT_EQ(scalar_at(other, root, key), value);
  }
  // Same value, other type: not equal, so a conditional writer replaces it.
  EXPECT_NE(scalar_at(d, root, "int"), Scalar{std::uint64_t{70000}});
}

TEST(Document, KeysAreSortedAndObjectsCarryTheirType) {
  Document d;
  ASSERT_TRUE(d.put(root, "b", str("x")));
  auto text = d.put_object(root, "a", ObjType::Text);
  auto map = d.put_object(root, "c", ObjType::Map);
  ASSERT_TRUE(text && map);
  EXPECT_EQ(d.keys(root), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(d.get(root, "a"), (Value{ObjRef{*text, ObjType::Text}}));
  EXPECT_EQ(d.get(root, "c"), (Value{ObjRef{*map, ObjType::Map}}));
  EXPECT_EQ(d.get(root, "zz"), std::nullopt);
  EXPECT_TRUE(d.keys(*text).empty());
  // Replacing an object with a scalar and back.
  ASSERT_TRUE(d.put(root, "c", std::int64_t{1}));
  EXPECT_EQ(scalar_at(d, root, "c"), Scalar{std::int64_t{1}});
  ASSERT_TRUE(d.delete_key(root, "b"));
  EXPECT_EQ(d.keys(root), (std::vector<std::string>{"a", "c"}));
}

TEST(Document, EditErrors) {
  Document d;
  const ObjId text = *d.put_object(root, "t", ObjType::Text);
  const ObjId missing{OpId{999, d.actor()}};
  struct Case {
    const char* name;
    Result<void> result;
    ErrorCode code;
  };
  const Case cases[] = {
      {"put on a text", d.put(text, "k", Null{}), ErrorCode::WrongType},
      {"put on a missing object", d.put(missing, "k", Null{}), ErrorCode::NotFound},
      {"empty key", d.put(root, "", Null{}), ErrorCode::InvalidInput},
      {"bad UTF-8 key", d.put(root, "\xff", Null{}), ErrorCode::InvalidInput},
      {"bad UTF-8 string", d.put(root, "k", str("\xc0\x80")), ErrorCode::InvalidInput},
      {"string over the limit", d.put(root, "k", std::string(max_string_bytes + 1, 'x')),
       ErrorCode::InvalidInput},
      {"key over the limit", d.put(root, std::string(max_key_bytes + 1, 'k'), Null{}),
       ErrorCode::InvalidInput},
      {"delete an absent key", d.delete_key(root, "nope"), ErrorCode::NotFound},
      {"delete on a text", d.delete_key(text, "k"), ErrorCode::WrongType},
      {"create a list", drop(d.put_object(root, "l", ObjType::List)), ErrorCode::WrongType},
      {"splice a map", d.splice_text(root, 0, 0, "x"), ErrorCode::WrongType},
      {"splice past the end", d.splice_text(text, 1, 0, "x"), ErrorCode::InvalidInput},
      {"delete past the end", d.splice_text(text, 0, 1, ""), ErrorCode::InvalidInput},
      {"insert bad UTF-8", d.splice_text(text, 0, 0, "\xed\xa0\x80"), ErrorCode::InvalidInput},
      {"read a map as text", drop(d.text(root)), ErrorCode::WrongType},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.result);
    EXPECT_EQ(c.result.error().code, c.code);
  }
  // Only the text's creation is pending: failed edits wrote nothing.
  auto commit = d.commit("");
  ASSERT_TRUE(commit);
  EXPECT_EQ(commit->ops.size(), 1u);
  EXPECT_EQ(d.keys(root), std::vector<std::string>{"t"});
}

TEST(Document, SplicePositionsCountCodePoints) {
  struct Case {
    const char* name;
    const char* before;
    std::size_t pos, del;
    const char* insert;
    const char* after;
  };
  const Case cases[] = {
      {"insert into empty", "", 0, 0, "héllo", "héllo"},
      {"insert after a two-byte char", "hé", 2, 0, "!", "hé!"},
      {"delete a four-byte char", "a😀b", 1, 1, "", "ab"},
      {"replace across scripts", "Привет", 1, 4, "ok", "Пokт"},
      {"append at the end", "abc", 3, 0, "d", "abcd"},
      {"clear", "abc", 0, 3, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Document d;
    const ObjId t = *d.put_object(root, "t", ObjType::Text);
    ASSERT_TRUE(d.splice_text(t, 0, 0, c.before));
    ASSERT_TRUE(d.splice_text(t, c.pos, c.del, c.insert));
    EXPECT_EQ(d.text(t), c.after);
    // A replica rebuilt from the commit reads the same.
    ASSERT_TRUE(d.commit(""));
    Document copy;
    pull(copy, d);
    EXPECT_EQ(copy.text(t), c.after);
  }
}

TEST(Document, DiffedSpliceIsMinimal) {
  struct Case {
    const char* name;
    const char* before;
    const char* after;
    std::size_t deleted;   // characters removed
    std::string inserted;  // text inserted
  };
  const Case cases[] = {
      {"equal writes nothing", "web-01", "web-01", 0, ""},
      {"append", "web", "web-01", 0, "-01"},
      {"change the middle", "web-01.lan", "web-02.lan", 1, "2"},
      {"shorten", "hello", "help", 2, "p"},
      {"repeated letters", "aaaa", "aaa", 1, ""},
      {"multibyte middle", "día😀x", "día🎉x", 1, "🎉"},
      {"to empty", "abc", "", 3, ""},
      {"from empty", "", "abc", 0, "abc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Document d;
    const ObjId t = *d.put_object(root, "t", ObjType::Text);
    ASSERT_TRUE(d.splice_text(t, 0, 0, c.before));
    ASSERT_TRUE(d.commit("setup"));
    ASSERT_TRUE(splice_text_diffed(d, t, c.after));
    EXPECT_EQ(d.text(t), c.after);
    auto commit = d.commit("diff");
    if (c.deleted == 0 && c.inserted.empty()) {
      EXPECT_FALSE(commit);
      continue;
    }
    ASSERT_TRUE(commit);
    std::size_t deleted = 0;
    std::string inserted;
    for (const auto& op : commit->ops) {
      if (auto* del = std::get_if<DeleteTextOp>(&op)) deleted += del->elems.size();
      if (auto* ins = std::get_if<InsertTextOp>(&op)) inserted += ins->text;
    }
    EXPECT_EQ(deleted, c.deleted);
    EXPECT_EQ(inserted, c.inserted);
  }
}

TEST(Document, CommitsGroupPendingEditsAndTrackHeads) {
  Document d;
  EXPECT_FALSE(d.commit("nothing"));
  EXPECT_TRUE(d.heads().empty());
  ASSERT_TRUE(d.put(root, "a", std::int64_t{1}));
  ASSERT_TRUE(d.put(root, "b", std::int64_t{2}));
  EXPECT_TRUE(d.has_pending());
  auto first = d.commit("two puts");
  ASSERT_TRUE(first);
  EXPECT_FALSE(d.has_pending());
  EXPECT_EQ(first->ops.size(), 2u);
  EXPECT_EQ(first->seq, 1u);
  EXPECT_EQ(first->message, "two puts");
  EXPECT_TRUE(first->deps.empty());
  EXPECT_EQ(d.heads(), std::vector<ChangeHash>{first->hash});
  ASSERT_TRUE(d.put(root, "a", std::int64_t{3}));
  auto second = d.commit("");
  ASSERT_TRUE(second);
  EXPECT_EQ(second->seq, 2u);
  EXPECT_EQ(second->deps, std::vector<ChangeHash>{first->hash});
  EXPECT_EQ(d.heads(), std::vector<ChangeHash>{second->hash});
  EXPECT_EQ(d.history().size(), 2u);
}

// The shared scenario: a base with two connections, then concurrent edits.
struct Replicas {
  Document a, b;
  ObjId conns, web, db, web_name;

  Replicas() {
    conns = *a.put_object(root, "connections", ObjType::Map);
    web = *a.put_object(conns, "web", ObjType::Map);
    web_name = *a.put_object(web, "name", ObjType::Text);
    EXPECT_TRUE(a.splice_text(web_name, 0, 0, "web server"));
    EXPECT_TRUE(a.put(web, "port", std::int64_t{22}));
    db = *a.put_object(conns, "db", ObjType::Map);
    EXPECT_TRUE(a.put(db, "port", std::int64_t{5432}));
    a.commit("base");
    pull(b, a);
  }
};

TEST(Document, ConcurrentEditsConvergeInBothMergeOrders) {
  for (bool a_first : {true, false}) {
    SCOPED_TRACE(a_first ? "a pulls first" : "b pulls first");
    Replicas r;
    ASSERT_TRUE(splice_text_diffed(r.a, r.web_name, "Web server"));
    ASSERT_TRUE(r.a.put(r.web, "port", std::int64_t{2222}));
    r.a.commit("a");
    ASSERT_TRUE(splice_text_diffed(r.b, r.web_name, "web server (prod)"));
    ASSERT_TRUE(r.b.delete_key(r.conns, "db"));
    r.b.commit("b");
    if (a_first) {
      pull(r.a, r.b);
      pull(r.b, r.a);
    } else {
      pull(r.b, r.a);
      pull(r.a, r.b);
    }
    EXPECT_EQ(dump_json(r.a), dump_json(r.b));
    EXPECT_EQ(r.a.heads(), r.b.heads());
    EXPECT_EQ(r.a.heads().size(), 2u);
    EXPECT_EQ(r.a.text(r.web_name), "Web server (prod)");
    EXPECT_EQ(scalar_at(r.a, r.web, "port"), Scalar{std::int64_t{2222}});
    EXPECT_EQ(r.a.keys(r.conns), std::vector<std::string>{"web"});
  }
}

TEST(Document, ConcurrentInsertsAtOnePlaceKeepRunsTogether) {
  std::array<Document, 3> docs;
  const ObjId t = *docs[0].put_object(root, "t", ObjType::Text);
  ASSERT_TRUE(docs[0].splice_text(t, 0, 0, "[]"));
  docs[0].commit("");
  pull(docs[1], docs[0]);
  pull(docs[2], docs[0]);
  const char* runs[] = {"abc", "XYZ", "123"};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(docs[static_cast<std::size_t>(i)].splice_text(t, 1, 0, runs[i]));
    docs[static_cast<std::size_t>(i)].commit("");
  }
  // Every replica merges the others in every order and reads the same.
  std::array<int, 3> order = {0, 1, 2};
  std::optional<std::string> expected;
  do {
    Document merged;
    for (int i : order)
      pull(merged, docs[static_cast<std::size_t>(i)]);
    auto text = merged.text(t);
    ASSERT_TRUE(text);
    if (!expected) expected = *text;
    EXPECT_EQ(*text, *expected);
  } while (std::next_permutation(order.begin(), order.end()));
  ASSERT_EQ(expected->size(), 11u);
  for (const char* run : runs)
    EXPECT_NE(expected->find(run), std::string::npos) << *expected;
  EXPECT_EQ(expected->front(), '[');
  EXPECT_EQ(expected->back(), ']');
}

// Replicas edit one text and one map at random, syncing now and then in
// random pairs; at the end every replica holds the same document.
TEST(Document, RandomConcurrentEditsConverge) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    std::array<Document, 3> docs;
    const ObjId t = *docs[0].put_object(root, "t", ObjType::Text);
    docs[0].commit("");
    pull(docs[1], docs[0]);
    pull(docs[2], docs[0]);
    const char* pieces[] = {"a", "bc", "é", "😀x", "", "long run"};
    const char* keys[] = {"k1", "k2", "k3"};
    for (int round = 0; round < 40; ++round) {
      Document& d = docs[rng() % 3];
      const std::size_t len = *d.text_length(t);
      const std::size_t pos = rng() % (len + 1);
      const std::size_t del = len == pos ? 0 : rng() % std::min<std::size_t>(3, len - pos + 1);
      ASSERT_TRUE(d.splice_text(t, pos, del, pieces[rng() % 6]));
      const char* key = keys[rng() % 3];
      if (rng() % 3 == 0 && d.get(root, key)) {
        ASSERT_TRUE(d.delete_key(root, key));
      } else {
        ASSERT_TRUE(d.put(root, key, std::int64_t{round}));
      }
      d.commit("");
      if (rng() % 4 == 0) pull(docs[rng() % 3], docs[rng() % 3]);
    }
    for (auto& to : docs) {
      for (auto& from : docs)
        pull(to, from);
    }
    EXPECT_EQ(dump_json(docs[0]), dump_json(docs[1]));
    EXPECT_EQ(dump_json(docs[0]), dump_json(docs[2]));
    EXPECT_EQ(docs[0].heads(), docs[2].heads());
  }
}

TEST(Document, ConcurrentDeleteAndPutOfOneKey) {
  for (bool deleter_pulls_first : {true, false}) {
    Replicas r;
    ASSERT_TRUE(r.a.delete_key(r.db, "port"));
    r.a.commit("delete");
    ASSERT_TRUE(r.b.put(r.db, "port", std::int64_t{6543}));
    r.b.commit("put");
    if (deleter_pulls_first) {
      pull(r.a, r.b);
      pull(r.b, r.a);
    } else {
      pull(r.b, r.a);
      pull(r.a, r.b);
    }
    // The delete removed only what its author saw: the concurrent put wins.
    for (const Document* d : {&r.a, &r.b}) {
      EXPECT_EQ(scalar_at(*d, r.db, "port"), Scalar{std::int64_t{6543}});
    }
  }
}

TEST(Document, ConcurrentPutsPickTheSameWinnerEverywhere) {
  Replicas r;
  ASSERT_TRUE(r.a.put(r.web, "host", str("a.lan")));
  r.a.commit("");
  ASSERT_TRUE(r.b.put(r.web, "host", str("b.lan")));
  r.b.commit("");
  pull(r.a, r.b);
  pull(r.b, r.a);
  const auto winner = scalar_at(r.a, r.web, "host");
  EXPECT_EQ(winner, scalar_at(r.b, r.web, "host"));
  // A later write that saw both replaces both.
  ASSERT_TRUE(r.b.put(r.web, "host", str("c.lan")));
  r.b.commit("");
  pull(r.a, r.b);
  EXPECT_EQ(scalar_at(r.a, r.web, "host"), str("c.lan"));
}

TEST(Document, CommitsWaitForTheirDependenciesAndDuplicatesAreIgnored) {
  Document a;
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(a.put(root, "n", std::int64_t{i}));
    a.commit("");
  }
  std::vector<Commit> reversed(a.history().rbegin(), a.history().rend());
  Document b;
  auto first = b.apply(std::span(reversed).first(4));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->applied, 0u);
  EXPECT_EQ(first->waiting, 4u);
  EXPECT_EQ(b.get(root, "n"), std::nullopt);
  auto rest = b.apply(reversed);
  ASSERT_TRUE(rest);
  EXPECT_EQ(rest->applied, 5u);
  EXPECT_EQ(rest->duplicates, 4u);
  EXPECT_EQ(rest->waiting, 0u);
  EXPECT_EQ(scalar_at(b, root, "n"), Scalar{std::int64_t{4}});
  EXPECT_EQ(b.heads(), a.heads());
  auto again = b.apply(a.history());
  ASSERT_TRUE(again);
  EXPECT_EQ(again->applied, 0u);
  EXPECT_EQ(again->duplicates, 5u);
}

TEST(Document, InvalidCommitsChangeNothing) {
  Document a;
  const ObjId t = *a.put_object(root, "t", ObjType::Text);
  ASSERT_TRUE(a.splice_text(t, 0, 0, "abc"));
  const Commit base = *a.commit("");
  ASSERT_TRUE(a.put(root, "k", std::int64_t{1}));
  const Commit next = *a.commit("");

  auto resealed = [](Commit c) {
    seal_commit(c);
    return c;
  };
  struct Case {
    const char* name;
    Commit commit;
    ErrorCode code;
  };
  Commit wrong_hash = next;
  wrong_hash.message = "edited after sealing";
  Commit missing_obj = next;
  std::get<PutOp>(missing_obj.ops[0]).obj = ObjId{OpId{77, a.actor()}};
  Commit put_into_text = next;
  std::get<PutOp>(put_into_text.ops[0]).obj = t;
  Commit other_seq_one = next;
  other_seq_one.seq = 1;
  other_seq_one.deps.clear();
  Commit skips_seq = next;
  skips_seq.seq = 3;
  Commit stale_counter = next;
  stale_counter.start_op = 1;
  Commit bad_insert = next;
  bad_insert.ops = {InsertTextOp{t, OpId{100, a.actor()}, "x"}};
  Commit bad_remove = next;
  bad_remove.ops = {DeleteTextOp{t, {OpId{100, a.actor()}}}};
  const Case cases[] = {
      {"hash does not match", wrong_hash, ErrorCode::Corrupt},
      {"op on a missing object", resealed(missing_obj), ErrorCode::Corrupt},
      {"put into a text", resealed(put_into_text), ErrorCode::Corrupt},
      {"reused sequence number", resealed(other_seq_one), ErrorCode::Conflict},
      {"skipped sequence number", resealed(skips_seq), ErrorCode::Corrupt},
      {"counter not after its dependencies", resealed(stale_counter), ErrorCode::Corrupt},
      {"insert after a missing character", resealed(bad_insert), ErrorCode::Corrupt},
      {"remove a missing character", resealed(bad_remove), ErrorCode::Corrupt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Document b;
    ASSERT_TRUE(b.apply(std::span(&base, 1)));
    const std::string before = dump_json(b);
    auto r = b.apply(std::span(&c.commit, 1));
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().code, c.code) << r.error().message;
    EXPECT_EQ(dump_json(b), before);
    EXPECT_EQ(b.heads(), std::vector<ChangeHash>{base.hash});
    // The genuine commit still applies afterwards.
    ASSERT_TRUE(b.apply(std::span(&next, 1)));
    EXPECT_EQ(scalar_at(b, root, "k"), Scalar{std::int64_t{1}});
  }
}

TEST(Document, ApplyingSealsAPendingLocalChangeFirst) {
  Replicas r;
  ASSERT_TRUE(r.a.put(r.web, "user", str("root")));
  r.a.commit("");
  ASSERT_TRUE(r.b.put(r.web, "group", str("lab")));
  pull(r.b, r.a);
  EXPECT_FALSE(r.b.has_pending());
  pull(r.a, r.b);
  EXPECT_EQ(scalar_at(r.a, r.web, "group"), str("lab"));
  EXPECT_EQ(dump_json(r.a), dump_json(r.b));
}

TEST(DumpJson, ShowsEveryNodeWithItsTypeKeysSorted) {
  Document d;
  const ObjId conns = *d.put_object(root, "connections", ObjType::Map);
  const ObjId name = *d.put_object(conns, "name", ObjType::Text);
  ASSERT_TRUE(d.splice_text(name, 0, 0, "Lab \"box\""));
  ASSERT_TRUE(d.put(conns, "port", std::int64_t{22}));
  ASSERT_TRUE(d.put(conns, "favorite", true));
  ASSERT_TRUE(d.put(root, "blob", Bytes{0xde, 0xad}));
  ASSERT_TRUE(d.put(root, "nan", std::numeric_limits<double>::quiet_NaN()));
  ASSERT_TRUE(d.put(root, "nothing", Null{}));
  EXPECT_EQ(dump_json(d), R"({
  "entries": {
    "blob": {
      "type": "bytes",
      "value": "dead"
    },
    "connections": {
      "entries": {
        "favorite": {
          "type": "bool",
          "value": true
        },
        "name": {
          "type": "text",
          "value": "Lab \"box\""
        },
        "port": {
          "type": "int",
          "value": 22
        }
      },
      "type": "map"
    },
    "nan": {
      "type": "float",
      "value": "nan"
    },
    "nothing": {
      "type": "null",
      "value": null
    }
  },
  "type": "map"
})");
}

}  // namespace
}  // namespace kova::doc
