#include "document/encoding.h"

#include <nettle/sha2.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>
#include <utility>

#include "document/limits.h"
#include "core/utf8.h"

namespace kova::doc {
namespace {

constexpr std::uint8_t format_version = 1;

enum class OpKind : std::uint8_t { Put = 1, Make = 2, Delete = 3, Insert = 4, Remove = 5 };
enum class ScalarTag : std::uint8_t {
  Null = 0,
  String = 1,
  Int = 2,
  Uint = 3,
  Float = 4,
  Counter = 5,
  Timestamp = 6,
  False = 7,
  True = 8,
  Bytes = 9
};

std::uint64_t zigzag(std::int64_t v) {
  return (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63);
}
std::int64_t unzigzag(std::uint64_t v) {
  return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1);
}

// ---- Writer ----

class Writer {
 public:
  explicit Writer(const Commit& c) {
    actors_.push_back(c.actor);
    index_[c.actor] = 0;
  }
  // Actors must be gathered before anything is written.
  void note(const ActorId& a) {
    if (index_.emplace(a, actors_.size()).second) actors_.push_back(a);
  }
  void note(const OpId& id) {
    if (id.counter != 0) note(id.actor);
  }
  const std::vector<ActorId>& actors() const { return actors_; }

  void byte(std::uint8_t b) { out_.push_back(static_cast<char>(b)); }
  void uvar(std::uint64_t v) {
    while (v >= 0x80) {
      byte(static_cast<std::uint8_t>(v | 0x80));
      v >>= 7;
    }
    byte(static_cast<std::uint8_t>(v));
  }
  void raw(std::span<const std::uint8_t> b) {
    out_.append(reinterpret_cast<const char*>(b.data()), b.size());
  }
  void str(std::string_view s) {
    uvar(s.size());
    out_.append(s);
  }
  void id(const OpId& op) {
    uvar(op.counter);
    uvar(op.counter == 0 ? 0 : index_.at(op.actor));
  }
  void ids(const std::vector<OpId>& list) {
    uvar(list.size());
    for (const auto& i : list)
      id(i);
  }
  void scalar(const Scalar& s);
  std::string take() { return std::move(out_); }

 private:
  std::vector<ActorId> actors_;
  std::map<ActorId, std::size_t> index_;
  std::string out_;
};

template <class... F>
struct Overload : F... {
  using F::operator()...;
};

void Writer::scalar(const Scalar& s) {
  std::visit(
      Overload{
          [&](const Null&) { byte(std::to_underlying(ScalarTag::Null)); },
          [&](const std::string& v) { byte(std::to_underlying(ScalarTag::String)), str(v); },
          [&](std::int64_t v) { byte(std::to_underlying(ScalarTag::Int)), uvar(zigzag(v)); },
          [&](std::uint64_t v) { byte(std::to_underlying(ScalarTag::Uint)), uvar(v); },
          [&](double v) {
            byte(std::to_underlying(ScalarTag::Float));
            const auto bits = std::bit_cast<std::uint64_t>(v);
            for (int i = 0; i < 8; ++i)
              byte(static_cast<std::uint8_t>(bits >> (8 * i)));
          },
          [&](Counter v) { byte(std::to_underlying(ScalarTag::Counter)), uvar(zigzag(v.value)); },
          [&](Timestamp v) {
            byte(std::to_underlying(ScalarTag::Timestamp)), uvar(zigzag(v.millis));
          },
          [&](bool v) { byte(std::to_underlying(v ? ScalarTag::True : ScalarTag::False)); },
          [&](const Bytes& v) {
            byte(std::to_underlying(ScalarTag::Bytes));
            uvar(v.size());
            raw(v);
          },
      },
      s);
}

ObjId obj_of(const Op& op) {
  return std::visit([](const auto& o) { return o.obj; }, op);
}

// ---- Reader: every read is bounded by what remains ----

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> b) : bytes_(b) {}
  bool failed() const { return !error_.empty(); }
  const std::string& error_text() const { return error_; }
  bool at_end() const { return pos_ == bytes_.size(); }
  std::size_t remaining() const { return bytes_.size() - pos_; }

  void fail(std::string why) {
    if (error_.empty()) error_ = std::move(why);
  }
  std::uint8_t byte() {
    if (failed() || remaining() < 1) return fail("commit ends early"), 0;
    return bytes_[pos_++];
  }
  std::uint64_t uvar() {
    std::uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      const std::uint8_t b = byte();
      if (failed()) return 0;
      if (shift == 63 && b > 1) return fail("integer too large"), 0;
      v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
      if ((b & 0x80) == 0) return v;
    }
    return fail("integer too large"), 0;
  }
  // A count that is within `limit` and could fit in the bytes left, each
  // element taking at least `min_bytes`.
  std::size_t count(std::uint64_t limit, std::size_t min_bytes, const char* what) {
    const std::uint64_t n = uvar();
    if (failed()) return 0;
    if (n > limit) return fail(std::string(what) + " count over its limit"), 0;
    if (n > remaining() / min_bytes)
      return fail(std::string(what) + " count exceeds the commit"), 0;
    return static_cast<std::size_t>(n);
  }
  std::span<const std::uint8_t> take(std::size_t n) {
    if (failed() || n > remaining())
      return fail("commit ends early"), std::span<const std::uint8_t>{};
    auto s = bytes_.subspan(pos_, n);
    pos_ += n;
    return s;
  }
  std::string str(std::size_t limit, const char* what) {
    const std::uint64_t n = uvar();
    if (failed()) return {};
    if (n > limit) return fail(std::string(what) + " longer than its limit"), std::string{};
    if (n > remaining()) return fail("commit ends early"), std::string{};
    auto s = take(static_cast<std::size_t>(n));
    std::string out(reinterpret_cast<const char*>(s.data()), s.size());
    if (!utf8::valid(out)) fail(std::string(what) + " is not valid UTF-8");
    return out;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
  std::string error_;
};

struct Decoder {
  Reader r;
  std::vector<ActorId> actors;

  OpId id() {
    OpId out;
    out.counter = r.uvar();
    const std::uint64_t idx = r.uvar();
    if (r.failed()) return out;
    if (out.counter > max_counter) return r.fail("op counter out of range"), out;
    if (out.counter == 0) {
      if (idx != 0) r.fail("start reference with an actor");
      return out;
    }
    if (idx >= actors.size()) return r.fail("actor index out of range"), out;
    out.actor = actors[static_cast<std::size_t>(idx)];
    return out;
  }
  std::vector<OpId> ids(std::uint64_t limit, const char* what) {
    const std::size_t n = r.count(limit, 2, what);
    std::vector<OpId> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n && !r.failed(); ++i)
      out.push_back(id());
    return out;
  }
  std::string key() {
    std::string k = r.str(max_key_bytes, "key");
    if (!r.failed() && k.empty()) r.fail("empty key");
    return k;
  }
  Scalar scalar();
  Op op();
};

Scalar Decoder::scalar() {
  const auto tag = r.byte();
  switch (static_cast<ScalarTag>(tag)) {
    case ScalarTag::Null:
      return Null{};
    case ScalarTag::String:
      return r.str(max_string_bytes, "string");
    case ScalarTag::Int:
      return unzigzag(r.uvar());
    case ScalarTag::Uint:
      return r.uvar();
    case ScalarTag::Float: {
      auto b = r.take(8);
      std::uint64_t bits = 0;
      for (std::size_t i = 0; i < b.size(); ++i)
        bits |= static_cast<std::uint64_t>(b[i]) << (8 * i);
      return std::bit_cast<double>(bits);
    }
    case ScalarTag::Counter:
      return Counter{unzigzag(r.uvar())};
    case ScalarTag::Timestamp:
      return Timestamp{unzigzag(r.uvar())};
    case ScalarTag::False:
      return false;
    case ScalarTag::True:
      return true;
    case ScalarTag::Bytes: {
      const std::uint64_t n = r.uvar();
      if (r.failed()) return Null{};
      if (n > max_string_bytes) return r.fail("bytes longer than their limit"), Null{};
      auto b = r.take(static_cast<std::size_t>(n));
      return Bytes(b.begin(), b.end());
    }
  }
  r.fail("unknown scalar type " + std::to_string(tag));
  return Null{};
}

Op Decoder::op() {
  const auto kind = r.byte();
  const ObjId obj{id()};
  switch (static_cast<OpKind>(kind)) {
    case OpKind::Put: {
      PutOp p{obj, key(), {}, Null{}};
      p.pred = ids(max_preds_per_op, "pred");
      p.value = scalar();
      return p;
    }
    case OpKind::Make: {
      MakeObjOp m{obj, key(), {}, ObjType::Map};
      m.pred = ids(max_preds_per_op, "pred");
      const auto t = r.byte();
      if (t > std::to_underlying(ObjType::Table)) r.fail("unknown object type");
      m.type = static_cast<ObjType>(t);
      return m;
    }
    case OpKind::Delete: {
      DeleteOp d{obj, key(), {}};
      d.pred = ids(max_preds_per_op, "pred");
      if (!r.failed() && d.pred.empty()) r.fail("delete of nothing");
      return d;
    }
    case OpKind::Insert: {
      InsertTextOp ins{obj, id(), {}};
      ins.text = r.str(max_string_bytes, "text");
      if (!r.failed() && ins.text.empty()) r.fail("empty insert");
      return ins;
    }
    case OpKind::Remove: {
      DeleteTextOp del{obj, ids(max_deleted_chars_per_op, "deleted character")};
      if (!r.failed() && del.elems.empty()) r.fail("removal of nothing");
      for (const auto& e : del.elems) {
        if (e.counter == 0) r.fail("removal of the start");
      }
      return del;
    }
  }
  r.fail("unknown op kind " + std::to_string(kind));
  return DeleteOp{};
}

}  // namespace

std::string encode_commit(const Commit& c) {
  Writer w(c);
  for (const auto& op : c.ops) {
    w.note(obj_of(op).id);
    std::visit(Overload{
                   [&](const PutOp& p) {
                     for (const auto& i : p.pred)
                       w.note(i);
                   },
                   [&](const MakeObjOp& m) {
                     for (const auto& i : m.pred)
                       w.note(i);
                   },
                   [&](const DeleteOp& d) {
                     for (const auto& i : d.pred)
                       w.note(i);
                   },
                   [&](const InsertTextOp& ins) { w.note(ins.after); },
                   [&](const DeleteTextOp& del) {
                     for (const auto& i : del.elems)
                       w.note(i);
                   },
               },
               op);
  }
  w.byte(format_version);
  const auto actors = w.actors();
  w.uvar(actors.size());
  for (const auto& a : actors)
    w.raw(a.bytes);
  w.uvar(c.seq);
  w.uvar(c.start_op);
  w.uvar(c.deps.size());
  for (const auto& d : c.deps)
    w.raw(d.bytes);
  w.str(c.message);
  w.uvar(c.ops.size());
  for (const auto& op : c.ops) {
    std::visit(
        Overload{
            [&](const PutOp& p) {
              w.byte(std::to_underlying(OpKind::Put)), w.id(p.obj.id), w.str(p.key), w.ids(p.pred);
              w.scalar(p.value);
            },
            [&](const MakeObjOp& m) {
              w.byte(std::to_underlying(OpKind::Make)), w.id(m.obj.id), w.str(m.key), w.ids(m.pred);
              w.byte(std::to_underlying(m.type));
            },
            [&](const DeleteOp& d) {
              w.byte(std::to_underlying(OpKind::Delete)), w.id(d.obj.id), w.str(d.key),
                  w.ids(d.pred);
            },
            [&](const InsertTextOp& ins) {
              w.byte(std::to_underlying(OpKind::Insert)), w.id(ins.obj.id), w.id(ins.after);
              w.str(ins.text);
            },
            [&](const DeleteTextOp& del) {
              w.byte(std::to_underlying(OpKind::Remove)), w.id(del.obj.id), w.ids(del.elems);
            },
        },
        op);
  }
  return w.take();
}

ChangeHash hash_bytes(std::span<const std::uint8_t> encoded) {
  sha256_ctx ctx;
  sha256_init(&ctx);
  sha256_update(&ctx, encoded.size(), encoded.data());
  ChangeHash h;
  sha256_digest(&ctx, h.bytes.size(), h.bytes.data());
  return h;
}

void seal_commit(Commit& c) {
  const std::string bytes = encode_commit(c);
  c.hash = hash_bytes({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

Result<Commit> decode_commit(std::span<const std::uint8_t> bytes) {
  auto bad = [](const std::string& why) {
    return std::unexpected(Error{ErrorCode::Corrupt, "corrupt commit: " + why});
  };
  if (bytes.size() > max_commit_bytes) return bad("larger than the commit size limit");
  Decoder d{Reader(bytes), {}};
  Reader& r = d.r;
  if (r.byte() != format_version && !r.failed()) return bad("unknown format version");
  const std::size_t actor_count = r.count(max_actors_per_commit, 16, "actor");
  if (!r.failed() && actor_count == 0) r.fail("no actor");
  d.actors.reserve(actor_count);
  for (std::size_t i = 0; i < actor_count && !r.failed(); ++i) {
    ActorId a;
    auto b = r.take(a.bytes.size());
    if (!r.failed()) std::memcpy(a.bytes.data(), b.data(), b.size());
    d.actors.push_back(a);
  }
  Commit c;
  if (!d.actors.empty()) c.actor = d.actors.front();
  c.seq = r.uvar();
  c.start_op = r.uvar();
  if (!r.failed() && (c.seq == 0 || c.seq > max_counter)) r.fail("sequence number out of range");
  if (!r.failed() && (c.start_op == 0 || c.start_op > max_counter))
    r.fail("op counter out of range");
  const std::size_t dep_count = r.count(max_deps_per_commit, 32, "dependency");
  c.deps.reserve(dep_count);
  for (std::size_t i = 0; i < dep_count && !r.failed(); ++i) {
    ChangeHash h;
    auto b = r.take(h.bytes.size());
    if (!r.failed()) std::memcpy(h.bytes.data(), b.data(), b.size());
    if (!c.deps.empty() && !(c.deps.back() < h)) r.fail("dependencies not strictly sorted");
    c.deps.push_back(h);
  }
  c.message = r.str(max_message_bytes, "message");
  const std::size_t op_count = r.count(max_ops_per_commit, 3, "op");
  if (!r.failed() && op_count == 0) r.fail("no ops");
  c.ops.reserve(op_count);
  for (std::size_t i = 0; i < op_count && !r.failed(); ++i)
    c.ops.push_back(d.op());
  if (r.failed()) return bad(r.error_text());
  if (!r.at_end()) return bad("trailing bytes");
  // Only the canonical form is accepted, so equal commits hash equally.
  const std::string again = encode_commit(c);
  if (again.size() != bytes.size() || std::memcmp(again.data(), bytes.data(), bytes.size()) != 0) {
    return bad("not in canonical form");
  }
  c.hash = hash_bytes(bytes);
  return c;
}

}  // namespace kova::doc
