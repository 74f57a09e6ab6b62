// The replicated document: a root map holding maps, texts and scalars, edited
// locally through the operations below and merged with other replicas by
// exchanging commits.
//
// Merge rules:
// - A map key holds the values written by ops nobody has overwritten yet.
//   Reads see the one with the greatest op id (counter, then actor); the
//   counter is a Lamport clock, so a write that saw another always wins over
//   it.
// - A delete removes only the values its author saw: a put made concurrently
//   with a delete of the same key survives it (put wins).
// - Texts are sequences of characters with ids. An insert goes after a
//   character id, deletes leave tombstones, so concurrent splices interleave
//   and nobody's characters are lost or overwritten.
//
// Transactions: every edit goes into a pending change at once (reads see
// it); commit() seals it into a Commit with the current heads as its
// dependencies. Not thread-safe: one owning thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "document/types.h"

namespace kova::doc {

struct ApplyReport {
  std::size_t applied = 0;     // commits that came in now
  std::size_t duplicates = 0;  // already known, ignored
  std::size_t waiting = 0;     // held back until their dependencies arrive
};

class Document {
 public:
  Document();  // empty root map, random actor
  explicit Document(ActorId actor);
  ~Document();
  Document(Document&&) noexcept;
  Document& operator=(Document&&) noexcept;
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  const ActorId& actor() const;

  // ---- Reading the current state ----
  // The value at `key` of map `obj`; nothing when the key is absent or `obj`
  // is not a map.
  std::optional<Value> get(ObjId obj, std::string_view key) const;
  // The keys of map `obj`, sorted bytewise; empty when `obj` is not a map.
  std::vector<std::string> keys(ObjId obj) const;
  // The keys of map `obj` with their current values, in the order of keys().
  // Walking a large map this way costs one pass instead of a lookup per key.
  std::vector<std::pair<std::string, Value>> entries(ObjId obj) const;
  // The whole content of text `obj` as UTF-8.
  Result<std::string> text(ObjId obj) const;
  // Length of text `obj` in code points.
  Result<std::size_t> text_length(ObjId obj) const;
  // The type of an object, when it exists.
  std::optional<ObjType> object_type(ObjId obj) const;

  // ---- Editing (each goes into the pending change) ----
  // Errors: `obj` missing (NotFound) or not a map (WrongType).
  Result<void> put(ObjId obj, std::string_view key, Scalar value);
  // Creates an empty map or text at `key`, replacing what was there.
  // Lists and tables cannot be created (WrongType).
  Result<ObjId> put_object(ObjId obj, std::string_view key, ObjType type);
  // Errors additionally when the key is absent (NotFound).
  Result<void> delete_key(ObjId obj, std::string_view key);
  // Deletes `delete_count` code points at `pos` and inserts `insert` there.
  // Errors: not a text, pos/count past the end, insert not valid UTF-8.
  Result<void> splice_text(ObjId obj, std::size_t pos, std::size_t delete_count,
                           std::string_view insert);

  // ---- Commits ----
  bool has_pending() const;
  // Seals the pending change; nothing when no edit is pending.
  std::optional<Commit> commit(std::string_view message);
  // Current heads: the known commits no other known commit depends on,
  // sorted. Empty for a document nobody has committed to.
  std::vector<ChangeHash> heads() const;
  // Every applied commit in the order it was applied (a causal order).
  const std::vector<Commit>& history() const;
  bool has_commit(const ChangeHash& hash) const;

  // Applies commits from another replica in causal order. Known ones are
  // ignored; ones whose dependencies are missing wait inside the document
  // and are applied when the dependencies arrive. A commit that is invalid
  // against the document (an op on a missing object, a reused sequence
  // number with different content) stops the call with an error; commits
  // applied before it stay applied, the bad one changes nothing. A pending
  // local change is sealed first (with an empty message), since its ops
  // may only depend on what its author had seen.
  Result<ApplyReport> apply(std::span<const Commit> commits);
  std::size_t waiting_count() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Makes the content of text `obj` equal to `new_text` with one splice of the
// part between the common prefix and suffix (in code points); nothing is
// written when the text is already equal.
Result<void> splice_text_diffed(Document& doc, ObjId obj, std::string_view new_text);

}  // namespace kova::doc
