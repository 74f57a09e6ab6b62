// The compact binary form of a commit, used in the store and for hashing.
//
// Layout (all integers unsigned LEB128 unless noted, signed ones zig-zag):
//   version byte 1
//   actor count, actors (16 bytes each; the commit's own actor first)
//   seq, start_op
//   dep count, deps (32 bytes each, strictly increasing)
//   message (length + UTF-8)
//   op count, ops: kind byte, object id, then per kind
//     1 put        key, preds, scalar tag + payload
//     2 make       key, preds, object type byte
//     3 delete     key, preds
//     4 insert     element id, text (length + UTF-8, at least one code point)
//     5 remove     count, element ids
//   An op id is counter then actor index; counter 0 means the root / start.
// The encoding is canonical: decode accepts only bytes that encode() would
// produce again, so one commit has exactly one hash.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "document/types.h"

namespace kova::doc {

std::string encode_commit(const Commit& commit);

// SHA-256 of `encoded`.
ChangeHash hash_bytes(std::span<const std::uint8_t> encoded);

// Fills commit.hash from its encoding.
void seal_commit(Commit& commit);

// Decodes untrusted bytes. Every length and count is checked against
// limits.h and the bytes left before anything is reserved. On success the
// hash is filled in.
Result<Commit> decode_commit(std::span<const std::uint8_t> bytes);

}  // namespace kova::doc
