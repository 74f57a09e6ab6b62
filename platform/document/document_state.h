// The inside of a Document, shared by the files that implement it: the
// object table, the Lamport clock, the commit graph and the pending change.
// Internal to the document library.
#pragma once

#include <algorithm>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <string>
#include <utility>
#include <vector>

#include "document/document.h"
#include "document/encoding.h"
#include "document/limits.h"
#include "core/utf8.h"

namespace kova::doc {
namespace detail {

template <class... F>
struct Overload : F... {
  using F::operator()...;
};

inline Error error(ErrorCode code, std::string message) {
  return Error{code, std::move(message)};
}

struct MapEntry {
  OpId id;
  Value value;
};

struct TextElem {
  OpId id;
  char32_t ch = 0;
  bool deleted = false;
};

struct Object {
  ObjType type = ObjType::Map;
  // Map: every value of a key that no op has overwritten yet.
  std::map<std::string, std::vector<MapEntry>, std::less<>> entries;
  // Text: characters in document order, tombstones included.
  std::vector<TextElem> elems;
  std::set<OpId> elem_ids;  // for existence checks without a scan
  std::size_t visible = 0;
};

inline const MapEntry* winner(const std::vector<MapEntry>& values) {
  const MapEntry* best = nullptr;
  for (const auto& e : values) {
    if (!best || best->id < e.id) best = &e;
  }
  return best;
}

inline std::uint64_t op_width(const Op& op) {
  if (const auto* ins = std::get_if<InsertTextOp>(&op)) {
    std::uint64_t n = 0;
    for (char c : ins->text)
      n += (static_cast<std::uint8_t>(c) & 0xC0) != 0x80 ? 1 : 0;
    return n;
  }
  return 1;
}

inline std::string describe(const Commit& c) {
  return "commit " + c.hash.to_string().substr(0, 12) + " (actor " + c.actor.to_string() +
         ", seq " + std::to_string(c.seq) + ")";
}

}  // namespace detail

using detail::describe;
using detail::error;
using detail::MapEntry;
using detail::Object;
using detail::op_width;
using detail::Overload;
using detail::TextElem;
using detail::winner;

// Objects are looked up once per read, so lookups must not grow with the
// number of objects; the table is never iterated in order.
struct ObjIdHash {
  std::size_t operator()(const ObjId& id) const noexcept {
    std::uint64_t h = id.id.counter * 0x9e3779b97f4a7c15ull;
    for (std::uint8_t b : id.id.actor.bytes) h = (h ^ b) * 0x100000001b3ull;
    return static_cast<std::size_t>(h);
  }
};

struct Document::State {
  ActorId actor;
  std::unordered_map<ObjId, Object, ObjIdHash> objects;
  std::uint64_t max_op = 0;  // Lamport clock: greatest counter seen
  std::map<ActorId, std::uint64_t> last_seq;
  std::map<ActorId, std::uint64_t> last_op;
  std::map<std::pair<ActorId, std::uint64_t>, ChangeHash> by_seq;
  std::map<ChangeHash, std::uint64_t> end_op;  // last counter used by each known commit
  std::set<ChangeHash> heads;
  std::vector<Commit> history;
  std::map<ChangeHash, Commit> waiting;

  std::vector<Op> pending;
  std::uint64_t pending_start = 0;

  explicit State(ActorId a) : actor(a) { objects.emplace(root, Object{}); }

  // ---- Lookups ----
  const Object* find(ObjId id) const {
    auto it = objects.find(id);
    return it == objects.end() ? nullptr : &it->second;
  }
  Object* find(ObjId id) {
    auto it = objects.find(id);
    return it == objects.end() ? nullptr : &it->second;
  }
  Result<Object*> need(ObjId id, ObjType type) {
    Object* o = find(id);
    if (!o) return std::unexpected(error(ErrorCode::NotFound, "no such object"));
    if (o->type != type)
      return std::unexpected(error(ErrorCode::WrongType, "object has another type"));
    return o;
  }
  static std::optional<std::size_t> index_of(const Object& text, const OpId& id) {
    for (std::size_t i = 0; i < text.elems.size(); ++i) {
      if (text.elems[i].id == id) return i;
    }
    return std::nullopt;
  }

  // ---- Applying one op whose validity is established ----
  void apply_map(Object& o, const std::string& key, const std::vector<OpId>& pred,
                 std::optional<MapEntry> add) {
    auto it = o.entries.find(key);
    if (it == o.entries.end()) {
      if (!add) return;
      it = o.entries.emplace(key, std::vector<MapEntry>{}).first;
    }
    auto& values = it->second;
    std::erase_if(values, [&](const MapEntry& e) {
      return std::find(pred.begin(), pred.end(), e.id) != pred.end();
    });
    if (add) values.push_back(std::move(*add));
    if (values.empty()) o.entries.erase(it);
  }

  // Inserts a run whose first character goes after `after` and each next
  // one after its predecessor.
  void insert_run(Object& t, OpId after, OpId first, const std::vector<char32_t>& chars) {
    std::size_t pos = 0;
    if (after.counter != 0) pos = *index_of(t, after) + 1;
    // Concurrent inserts at the same place: the greater id goes first, and
    // everything inserted after it (whose ids are greater still) with it.
    while (pos < t.elems.size() && first < t.elems[pos].id)
      ++pos;
    // The rest of the run follows at once: what comes next has a smaller id
    // than the first character, so no later character skips over it.
    std::vector<TextElem> run;
    run.reserve(chars.size());
    OpId id = first;
    for (char32_t ch : chars) {
      run.push_back(TextElem{id, ch, false});
      t.elem_ids.insert(id);
      ++id.counter;
    }
    t.elems.insert(t.elems.begin() + static_cast<std::ptrdiff_t>(pos), run.begin(), run.end());
    t.visible += run.size();
  }

  void apply_op(const Op& op, OpId id) {
    std::visit(
        Overload{
            [&](const PutOp& p) {
              apply_map(objects.at(p.obj), p.key, p.pred, MapEntry{id, p.value});
            },
            [&](const MakeObjOp& m) {
              Object fresh;
              fresh.type = m.type;
              objects.emplace(ObjId{id}, std::move(fresh));
              apply_map(objects.at(m.obj), m.key, m.pred, MapEntry{id, ObjRef{ObjId{id}, m.type}});
            },
            [&](const DeleteOp& d) { apply_map(objects.at(d.obj), d.key, d.pred, std::nullopt); },
            [&](const InsertTextOp& ins) {
              insert_run(objects.at(ins.obj), ins.after, id, *utf8::decode(ins.text));
            },
            [&](const DeleteTextOp& del) {
              Object& t = objects.at(del.obj);
              const std::set<OpId> doomed(del.elems.begin(), del.elems.end());
              for (auto& elem : t.elems) {
                if (!elem.deleted && doomed.contains(elem.id)) {
                  elem.deleted = true;
                  --t.visible;
                }
              }
            },
        },
        op);
  }

  // ---- Local edits ----
  OpId next_id() const { return OpId{max_op + 1, actor}; }

  void record_local(Op op) {
    // A change the decoder would refuse must never be sealed, so a very
    // long run of edits is split into several commits.
    if (pending.size() == max_ops_per_commit) seal("");
    if (pending.empty()) pending_start = max_op + 1;
    const OpId id = next_id();
    const std::uint64_t width = op_width(op);
    apply_op(op, id);
    max_op += width;
    pending.push_back(std::move(op));
  }

  std::vector<OpId> current_ids(const Object& o, std::string_view key) const {
    std::vector<OpId> ids;
    auto it = o.entries.find(key);
    if (it != o.entries.end()) {
      for (const auto& e : it->second)
        ids.push_back(e.id);
    }
    return ids;
  }

  // ---- Commits ----
  void register_commit(Commit c, std::uint64_t last_counter) {
    for (const auto& d : c.deps)
      heads.erase(d);
    heads.insert(c.hash);
    last_seq[c.actor] = c.seq;
    last_op[c.actor] = last_counter;
    by_seq[{c.actor, c.seq}] = c.hash;
    end_op[c.hash] = last_counter;
    max_op = std::max(max_op, last_counter);
    history.push_back(std::move(c));
  }

  bool ready(const Commit& c) const {
    return std::all_of(c.deps.begin(), c.deps.end(),
                       [&](const ChangeHash& d) { return end_op.contains(d); });
  }

  std::optional<Commit> seal(std::string_view message);
  Result<void> validate(const Commit& c) const;
  Result<void> apply_ready(const Commit& c);
};

}  // namespace kova::doc
