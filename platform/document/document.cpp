// Reading and editing the current state, and sealing local changes.
#include "document/document.h"

#include <cstdio>
#include <fstream>

#include "document/document_state.h"

namespace kova::doc {
namespace {

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

std::string ActorId::to_string() const {
  return hex(bytes);
}
std::string ChangeHash::to_string() const {
  return hex(bytes);
}

// ---- Document ----

Document::Document() : Document(ActorId::random()) {}
Document::Document(ActorId actor) : state_(std::make_unique<State>(actor)) {}
Document::~Document() = default;
Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;

const ActorId& Document::actor() const {
  return state_->actor;
}

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
  for (const auto& [k, v] : o->entries)
    out.push_back(k);
  return out;
}

std::vector<std::pair<std::string, Value>> Document::entries(ObjId obj) const {
  std::vector<std::pair<std::string, Value>> out;
  const Object* o = state_->find(obj);
  if (!o || o->type != ObjType::Map) return out;
  out.reserve(o->entries.size());
  for (const auto& [k, v] : o->entries)
    out.emplace_back(k, winner(v)->value);
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
    return std::unexpected(
        error(ErrorCode::InvalidInput, "string is not valid UTF-8 or over 4 MiB"));
  }
  if (const auto* b = std::get_if<Bytes>(&value); b && b->size() > max_string_bytes) {
    return std::unexpected(error(ErrorCode::InvalidInput, "bytes over 4 MiB"));
  }
  state_->record_local(
      PutOp{obj, std::string(key), state_->current_ids(**o, key), std::move(value)});
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
    return std::unexpected(
        error(ErrorCode::InvalidInput, "splice reaches past the end of the text"));
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
    state_->record_local(
        DeleteTextOp{obj, std::vector<OpId>(first, first + static_cast<std::ptrdiff_t>(n))});
  }
  if (!insert.empty()) state_->record_local(InsertTextOp{obj, after, std::string(insert)});
  return {};
}

bool Document::has_pending() const {
  return !state_->pending.empty();
}

std::optional<Commit> Document::commit(std::string_view message) {
  return state_->seal(message);
}

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

const std::vector<Commit>& Document::history() const {
  return state_->history;
}

bool Document::has_commit(const ChangeHash& hash) const {
  return state_->end_op.contains(hash);
}

std::size_t Document::waiting_count() const {
  return state_->waiting.size();
}

// ---- Diffed splice ----

Result<void> splice_text_diffed(Document& doc, ObjId obj, std::string_view new_text) {
  auto old_text = doc.text(obj);
  if (!old_text) return std::unexpected(old_text.error());
  auto a = utf8::decode(*old_text);
  auto b = utf8::decode(new_text);
  if (!b) return std::unexpected(error(ErrorCode::InvalidInput, "new text is not valid UTF-8"));
  std::size_t prefix = 0;
  while (prefix < a->size() && prefix < b->size() && (*a)[prefix] == (*b)[prefix])
    ++prefix;
  std::size_t suffix = 0;
  while (suffix < a->size() - prefix && suffix < b->size() - prefix &&
         (*a)[a->size() - 1 - suffix] == (*b)[b->size() - 1 - suffix]) {
    ++suffix;
  }
  const std::size_t removed = a->size() - prefix - suffix;
  std::string inserted;
  for (std::size_t i = prefix; i < b->size() - suffix; ++i)
    utf8::append(inserted, (*b)[i]);
  if (removed == 0 && inserted.empty()) return {};
  return doc.splice_text(obj, prefix, removed, inserted);
}

}  // namespace kova::doc
