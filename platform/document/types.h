// Values, identifiers and errors of the replicated document.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <expected>
#include <string>
#include <variant>
#include <vector>

namespace kova::doc {

enum class ErrorCode {
  NotFound,      // a key, object or position that is not there
  WrongType,     // the object is of another type than the operation needs
  InvalidInput,  // bad UTF-8, a position past the end, an empty key
  Corrupt,       // stored or merged bytes that do not form a valid commit
  Conflict,      // two different commits claim the same actor and sequence
  Io,            // the file system or SQLite failed
};

struct Error {
  ErrorCode code;
  std::string message;
};

template <class T>
using Result = std::expected<T, Error>;

// A replica's identity: 128 random bits, fresh for every Document.
struct ActorId {
  std::array<std::uint8_t, 16> bytes{};

  static ActorId random();
  std::string to_string() const;  // 32 lower-case hex digits
  friend auto operator<=>(const ActorId&, const ActorId&) = default;
};

// Every operation's id: a Lamport counter and the actor that made it.
// Ordered by counter, then actor, which gives the last-writer-wins order.
struct OpId {
  std::uint64_t counter = 0;
  ActorId actor;
  friend auto operator<=>(const OpId&, const OpId&) = default;
};

enum class ObjType : std::uint8_t { Map = 0, List = 1, Text = 2, Table = 3 };

// An object is named by the op that created it; the root map is counter 0.
struct ObjId {
  OpId id;
  friend auto operator<=>(const ObjId&, const ObjId&) = default;
};
inline constexpr ObjId root{};

// A reference to an object, carrying its type.
struct ObjRef {
  ObjId id;
  ObjType type = ObjType::Map;
  friend bool operator==(const ObjRef&, const ObjRef&) = default;
};

struct Null {
  friend bool operator==(Null, Null) = default;
};
struct Counter {
  std::int64_t value = 0;
  friend bool operator==(Counter, Counter) = default;
};
struct Timestamp {
  std::int64_t millis = 0;  // milliseconds since the Unix epoch
  friend bool operator==(Timestamp, Timestamp) = default;
};
using Bytes = std::vector<std::uint8_t>;

// A scalar value. Two scalars are equal when type and value are equal.
// Construct strings as std::string{...} to keep a literal from turning into
// a bool.
using Scalar = std::variant<Null, std::string, std::int64_t, std::uint64_t, double, Counter,
                            Timestamp, bool, Bytes>;

// What a map key holds: a scalar or an object.
using Value = std::variant<Scalar, ObjRef>;

// Identifies a commit: SHA-256 of its canonical encoding.
struct ChangeHash {
  std::array<std::uint8_t, 32> bytes{};
  std::string to_string() const;  // 64 lower-case hex digits
  friend auto operator<=>(const ChangeHash&, const ChangeHash&) = default;
};

// ---- Operations ----
// Map ops name every value of the key they saw (`pred`); they remove exactly
// those, so a concurrent write the author did not see survives.

struct PutOp {
  ObjId obj;
  std::string key;
  std::vector<OpId> pred;
  Scalar value;
};

// Creates an object whose id is this op's id.
struct MakeObjOp {
  ObjId obj;
  std::string key;
  std::vector<OpId> pred;
  ObjType type = ObjType::Map;
};

struct DeleteOp {
  ObjId obj;
  std::string key;
  std::vector<OpId> pred;
};

// Inserts a run of characters (UTF-8) after element `after` (counter 0: the
// start). The n-th code point gets the op's counter + n as its element id and
// is inserted after the previous one.
struct InsertTextOp {
  ObjId obj;
  OpId after;
  std::string text;
};

// Marks the listed elements of a text as deleted.
struct DeleteTextOp {
  ObjId obj;
  std::vector<OpId> elems;
};

using Op = std::variant<PutOp, MakeObjOp, DeleteOp, InsertTextOp, DeleteTextOp>;

// A sealed group of ops. Op i+1 starts where op i ends: an insert run takes
// one counter per code point, every other op takes one.
struct Commit {
  ActorId actor;
  std::uint64_t seq = 0;         // 1, 2, ... per actor
  std::uint64_t start_op = 0;    // counter of the first op
  std::vector<ChangeHash> deps;  // heads when the change began, sorted
  std::string message;
  std::vector<Op> ops;
  ChangeHash hash;  // filled by seal/decode; SHA-256 of the encoding
};

}  // namespace kova::doc
