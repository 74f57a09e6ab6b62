#include "document/document.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <type_traits>
#include <utility>

#include "document/encoding.h"
#include "document/limits.h"
#include "document/utf8.h"

namespace kova::doc {
namespace {

template <class... F>
struct Overload : F... {
  using F::operator()...;
};

std::string hex(std::span<const std::uint8_t> bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (auto b : bytes) {
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 0xF]);
  }
  return out;
}

Error error(ErrorCode code, std::string message) { return Error{code, std::move(message)}; }

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

const MapEntry* winner(const std::vector<MapEntry>& values) {
  const MapEntry* best = nullptr;
  for (const auto& e : values) {
    if (!best || best->id < e.id) best = &e;
  }
  return best;
}

std::uint64_t op_width(const Op& op) {
  if (const auto* ins = std::get_if<InsertTextOp>(&op)) {
    std::uint64_t n = 0;
    for (char c : ins->text) n += (static_cast<std::uint8_t>(c) & 0xC0) != 0x80 ? 1 : 0;
    return n;
  }
  return 1;
}

std::string describe(const Commit& c) {
  return "commit " + c.hash.to_string().substr(0, 12) + " (actor " + c.actor.to_string() + ", seq " +
         std::to_string(c.seq) + ")";
}

}  // namespace

ActorId ActorId::random() {
  ActorId a;
  std::ifstream in("/dev/urandom", std::ios::binary);
  in.read(reinterpret_cast<char*>(a.bytes.data()), static_cast<std::streamsize>(a.bytes.size()));
  if (!in) {
    std::fputs("kova::doc: cannot read /dev/urandom for an actor id\n", stderr);
    std::abort();
  }
  return a;
}

std::string ActorId::to_string() const { return hex(bytes); }
std::string ChangeHash::to_string() const { return hex(bytes); }

struct Document::State {
  ActorId actor;
  std::map<ObjId, Object> objects;
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
    if (o->type != type) return std::unexpected(error(ErrorCode::WrongType, "object has another type"));
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
    while (pos < t.elems.size() && first < t.elems[pos].id) ++pos;
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
            [&](const PutOp& p) { apply_map(objects.at(p.obj), p.key, p.pred, MapEntry{id, p.value}); },
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
      for (const auto& e : it->second) ids.push_back(e.id);
    }
    return ids;
  }

  // ---- Commits ----
  void register_commit(Commit c, std::uint64_t last_counter) {
    for (const auto& d : c.deps) heads.erase(d);
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

Result<void> Document::State::validate(const Commit& c) const {
  auto corrupt = [&](const std::string& why) {
    return std::unexpected(error(ErrorCode::Corrupt, describe(c) + ": " + why));
  };
  const std::uint64_t prev_seq = last_seq.contains(c.actor) ? last_seq.at(c.actor) : 0;
  if (c.seq <= prev_seq) {
    return std::unexpected(error(ErrorCode::Conflict, describe(c) +
                                                          ": another commit already has this actor "
                                                          "and sequence number"));
  }
  if (c.seq != prev_seq + 1) return corrupt("sequence number skips a commit of its actor");
  std::uint64_t floor = last_op.contains(c.actor) ? last_op.at(c.actor) : 0;
  for (const auto& d : c.deps) floor = std::max(floor, end_op.at(d));
  if (c.start_op <= floor) return corrupt("op counter does not follow its dependencies");

  // Objects and characters this commit creates, so later ops may use them.
  std::map<ObjId, ObjType> made;
  // Characters this commit inserts: [first, first + width) of its actor.
  std::map<ObjId, std::map<std::uint64_t, std::uint64_t>> inserted;
  auto type_of = [&](ObjId id) -> std::optional<ObjType> {
    if (auto it = made.find(id); it != made.end()) return it->second;
    if (const Object* o = find(id)) return o->type;
    return std::nullopt;
  };
  auto has_elem = [&](ObjId obj, const OpId& e) {
    if (auto it = inserted.find(obj); it != inserted.end() && e.actor == c.actor) {
      auto run = it->second.upper_bound(e.counter);
      if (run != it->second.begin() && e.counter < std::prev(run)->second) return true;
    }
    const Object* o = find(obj);
    return o && o->elem_ids.contains(e);
  };
  auto need_type = [&](ObjId obj, ObjType t) { return type_of(obj) == t; };

  std::uint64_t counter = c.start_op;
  for (const auto& op : c.ops) {
    const OpId id{counter, c.actor};
    const std::uint64_t width = op_width(op);
    if (width == 0 || width > max_counter - counter) return corrupt("op counter out of range");
    bool ok = std::visit(
        Overload{
            [&](const PutOp& p) { return need_type(p.obj, ObjType::Map); },
            [&](const MakeObjOp& m) {
              if (!need_type(m.obj, ObjType::Map) || type_of(ObjId{id})) return false;
              made[ObjId{id}] = m.type;
              return true;
            },
            [&](const DeleteOp& d) { return need_type(d.obj, ObjType::Map); },
            [&](const InsertTextOp& ins) {
              if (!need_type(ins.obj, ObjType::Text)) return false;
              if (ins.after.counter != 0 && (!(ins.after < id) || !has_elem(ins.obj, ins.after)))
                return false;
              // The new ids cannot exist yet: every counter of this actor
              // so far is below start_op (checked above).
              inserted[ins.obj].emplace(counter, counter + width);
              return utf8::valid(ins.text);
            },
            [&](const DeleteTextOp& del) {
              if (!need_type(del.obj, ObjType::Text)) return false;
              return std::all_of(del.elems.begin(), del.elems.end(),
                                 [&](const OpId& e) { return has_elem(del.obj, e); });
            },
        },
        op);
    if (!ok) return corrupt("op " + std::to_string(counter) + " does not fit the document");
    counter += width;
  }
  return {};
}

Result<void> Document::State::apply_ready(const Commit& c) {
  if (auto v = validate(c); !v) return v;
  std::uint64_t counter = c.start_op;
  for (const auto& op : c.ops) {
    apply_op(op, OpId{counter, c.actor});
    counter += op_width(op);
  }
  register_commit(c, counter - 1);
  return {};
}

// ---- Document ----

Document::Document() : Document(ActorId::random()) {}
Document::Document(ActorId actor) : state_(std::make_unique<State>(actor)) {}
Document::~Document() = default;
Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;

const ActorId& Document::actor() const { return state_->actor; }

std::optional<Value> Document::get(ObjId obj, std::string_view key) const {
  const Object* o = state_->find(obj);
  if (!o || o->type != ObjType::Map) return std::nullopt;
  auto it = o->entries.find(key);
  if (it == o->entries.end()) return std::nullopt;
  return winner(it->second)->value;
}

std::vector<std::string> Document::keys(ObjId obj) const {
  std::vector<std::string> out;
  const Object* o = state_->find(obj);
  if (!o || o->type != ObjType::Map) return out;
  out.reserve(o->entries.size());
  for (const auto& [k, v] : o->entries) out.push_back(k);
  return out;
}

Result<std::string> Document::text(ObjId obj) const {
  auto o = state_->need(obj, ObjType::Text);
  if (!o) return std::unexpected(o.error());
  std::string out;
  for (const auto& e : (*o)->elems) {
    if (!e.deleted) utf8::append(out, e.ch);
  }
  return out;
}

Result<std::size_t> Document::text_length(ObjId obj) const {
  auto o = state_->need(obj, ObjType::Text);
  if (!o) return std::unexpected(o.error());
  return (*o)->visible;
}

std::optional<ObjType> Document::object_type(ObjId obj) const {
  const Object* o = state_->find(obj);
  if (!o) return std::nullopt;
  return o->type;
}

namespace {
Result<void> check_key(std::string_view key) {
  if (key.empty() || key.size() > max_key_bytes || !utf8::valid(key)) {
    return std::unexpected(error(ErrorCode::InvalidInput, "map keys are 1 to 4096 bytes of UTF-8"));
  }
  return {};
}
}  // namespace

Result<void> Document::put(ObjId obj, std::string_view key, Scalar value) {
  auto o = state_->need(obj, ObjType::Map);
  if (!o) return std::unexpected(o.error());
  if (auto k = check_key(key); !k) return k;
  if (const auto* s = std::get_if<std::string>(&value);
      s && (s->size() > max_string_bytes || !utf8::valid(*s))) {
    return std::unexpected(error(ErrorCode::InvalidInput, "string is not valid UTF-8 or over 4 MiB"));
  }
  if (const auto* b = std::get_if<Bytes>(&value); b && b->size() > max_string_bytes) {
    return std::unexpected(error(ErrorCode::InvalidInput, "bytes over 4 MiB"));
  }
  state_->record_local(PutOp{obj, std::string(key), state_->current_ids(**o, key), std::move(value)});
  return {};
}

Result<ObjId> Document::put_object(ObjId obj, std::string_view key, ObjType type) {
  auto o = state_->need(obj, ObjType::Map);
  if (!o) return std::unexpected(o.error());
  if (auto k = check_key(key); !k) return std::unexpected(k.error());
  if (type != ObjType::Map && type != ObjType::Text) {
    return std::unexpected(error(ErrorCode::WrongType, "only maps and texts can be created"));
  }
  const ObjId created{state_->next_id()};
  state_->record_local(MakeObjOp{obj, std::string(key), state_->current_ids(**o, key), type});
  return created;
}

Result<void> Document::delete_key(ObjId obj, std::string_view key) {
  auto o = state_->need(obj, ObjType::Map);
  if (!o) return std::unexpected(o.error());
  auto ids = state_->current_ids(**o, key);
  if (ids.empty()) return std::unexpected(error(ErrorCode::NotFound, "no such key"));
  state_->record_local(DeleteOp{obj, std::string(key), std::move(ids)});
  return {};
}

Result<void> Document::splice_text(ObjId obj, std::size_t pos, std::size_t delete_count,
                                   std::string_view insert) {
  auto found = state_->need(obj, ObjType::Text);
  if (!found) return std::unexpected(found.error());
  Object& t = **found;
  if (pos > t.visible || delete_count > t.visible - pos) {
    return std::unexpected(error(ErrorCode::InvalidInput, "splice reaches past the end of the text"));
  }
  if (insert.size() > max_string_bytes || !utf8::valid(insert)) {
    return std::unexpected(error(ErrorCode::InvalidInput, "inserted text is not valid UTF-8"));
  }
  OpId after{};
  std::vector<OpId> doomed;
  std::size_t seen = 0;
  for (const auto& e : t.elems) {
    if (e.deleted) continue;
    if (seen < pos) after = e.id;
    if (seen >= pos && seen < pos + delete_count) doomed.push_back(e.id);
    if (++seen >= pos + delete_count) break;
  }
  for (std::size_t from = 0; from < doomed.size(); from += max_deleted_chars_per_op) {
    const std::size_t n = std::min<std::size_t>(max_deleted_chars_per_op, doomed.size() - from);
    const auto first = doomed.begin() + static_cast<std::ptrdiff_t>(from);
    state_->record_local(DeleteTextOp{obj, std::vector<OpId>(first, first + static_cast<std::ptrdiff_t>(n))});
  }
  if (!insert.empty()) state_->record_local(InsertTextOp{obj, after, std::string(insert)});
  return {};
}

bool Document::has_pending() const { return !state_->pending.empty(); }

std::optional<Commit> Document::commit(std::string_view message) { return state_->seal(message); }

std::optional<Commit> Document::State::seal(std::string_view message) {
  State& s = *this;
  if (s.pending.empty()) return std::nullopt;
  Commit c;
  c.actor = s.actor;
  c.seq = (s.last_seq.contains(s.actor) ? s.last_seq.at(s.actor) : 0) + 1;
  c.start_op = s.pending_start;
  c.deps.assign(s.heads.begin(), s.heads.end());
  c.message = utf8::valid_prefix(message, max_message_bytes);
  c.ops = std::move(s.pending);
  s.pending.clear();
  seal_commit(c);
  s.register_commit(c, s.max_op);
  return c;
}

std::vector<ChangeHash> Document::heads() const {
  return {state_->heads.begin(), state_->heads.end()};
}

const std::vector<Commit>& Document::history() const { return state_->history; }

bool Document::has_commit(const ChangeHash& hash) const { return state_->end_op.contains(hash); }

std::size_t Document::waiting_count() const { return state_->waiting.size(); }

Result<ApplyReport> Document::apply(std::span<const Commit> commits) {
  State& s = *state_;
  if (!s.pending.empty()) commit("");
  ApplyReport report;
  auto drain = [&]() -> Result<void> {
    for (bool progress = true; progress && !s.waiting.empty();) {
      progress = false;
      for (auto it = s.waiting.begin(); it != s.waiting.end();) {
        if (!s.ready(it->second)) {
          ++it;
          continue;
        }
        Commit c = std::move(it->second);
        it = s.waiting.erase(it);
        if (auto r = s.apply_ready(c); !r) return r;
        ++report.applied;
        progress = true;
      }
    }
    return {};
  };
  for (const Commit& c : commits) {
    // A known hash names a commit we already hold, whatever this copy says.
    if (s.end_op.contains(c.hash) || s.waiting.contains(c.hash)) {
      ++report.duplicates;
      continue;
    }
    Commit check = c;
    seal_commit(check);
    if (check.hash != c.hash) {
      return std::unexpected(error(ErrorCode::Corrupt, describe(c) + ": hash does not match content"));
    }
    if (!s.ready(c)) {
      if (s.waiting.size() >= max_waiting_commits) {
        return std::unexpected(error(ErrorCode::Corrupt, "too many commits with missing dependencies"));
      }
      s.waiting.emplace(c.hash, c);
      continue;
    }
    if (auto r = s.apply_ready(c); !r) return std::unexpected(r.error());
    ++report.applied;
    if (auto r = drain(); !r) return std::unexpected(r.error());
  }
  report.waiting = s.waiting.size();
  return report;
}

// ---- Diffed splice ----

Result<void> splice_text_diffed(Document& doc, ObjId obj, std::string_view new_text) {
  auto old_text = doc.text(obj);
  if (!old_text) return std::unexpected(old_text.error());
  auto a = utf8::decode(*old_text);
  auto b = utf8::decode(new_text);
  if (!b) return std::unexpected(error(ErrorCode::InvalidInput, "new text is not valid UTF-8"));
  std::size_t prefix = 0;
  while (prefix < a->size() && prefix < b->size() && (*a)[prefix] == (*b)[prefix]) ++prefix;
  std::size_t suffix = 0;
  while (suffix < a->size() - prefix && suffix < b->size() - prefix &&
         (*a)[a->size() - 1 - suffix] == (*b)[b->size() - 1 - suffix]) {
    ++suffix;
  }
  const std::size_t removed = a->size() - prefix - suffix;
  std::string inserted;
  for (std::size_t i = prefix; i < b->size() - suffix; ++i) utf8::append(inserted, (*b)[i]);
  if (removed == 0 && inserted.empty()) return {};
  return doc.splice_text(obj, prefix, removed, inserted);
}

}  // namespace kova::doc
