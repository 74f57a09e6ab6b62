// Limits on what the document store accepts from stored or merged bytes.
// Every length and count read from a commit is checked against one of these
// (and against the bytes that remain) before anything is reserved.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova::doc {

// A commit is one user action (a saved profile is a dozen fields and a short
// name); 16 MiB leaves room for pasting a large text while keeping a hostile
// row from exhausting memory.
inline constexpr std::size_t max_commit_bytes = 16u * 1024u * 1024u;

// Every op takes at least two bytes, so this is also bounded by the commit
// size; the explicit cap keeps the reserved vector small.
inline constexpr std::uint64_t max_ops_per_commit = 1u << 20;

// Dependencies are the heads a replica saw; more than a few dozen concurrent
// heads means something is wrong.
inline constexpr std::uint64_t max_deps_per_commit = 1024;

// Distinct actors named in one commit (its own plus those whose ops it
// references).
inline constexpr std::uint64_t max_actors_per_commit = 4096;

// Ops a put or delete overwrote: one per concurrent value of the key.
inline constexpr std::uint64_t max_preds_per_op = 1024;

// Map keys are identifiers and UUIDs; 4 KiB is far beyond any of them.
inline constexpr std::size_t max_key_bytes = 4096;

// String and byte scalars, text insert runs and commit messages.
inline constexpr std::size_t max_string_bytes = 4u * 1024u * 1024u;
inline constexpr std::size_t max_message_bytes = 64u * 1024u;

// Characters deleted by one op (a whole text being cleared).
inline constexpr std::uint64_t max_deleted_chars_per_op = 4u * 1024u * 1024u;

// Sequence numbers and op counters stay far below 2^53 so they survive any
// JSON or SQLite integer round trip and can never overflow when advanced.
inline constexpr std::uint64_t max_counter = std::uint64_t{1} << 53;

// Commits held back because their dependencies have not arrived yet.
inline constexpr std::size_t max_waiting_commits = 100000;

// Nesting shown by dump_json: the application nests three maps deep; a
// merged file nesting thousands would otherwise exhaust the stack.
inline constexpr std::size_t max_dump_depth = 64;

}  // namespace kova::doc
