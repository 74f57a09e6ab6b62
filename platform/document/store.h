// A Document kept in an SQLite file (WAL mode), shared by every process that
// opens the same file, and mergeable with another replica's file.
//
// Each commit is a row (hash, actor, seq, encoded bytes); opening replays the
// rows. A file that is not ours or is damaged is never written to: open()
// fails with a message saying what is wrong and the caller can carry on with
// Store::in_memory(). Owned and used by one thread.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "document/document.h"
#include "document/types.h"

namespace kova::doc {

class Store {
 public:
  // Opens or creates the store at `path`. Missing directories are created
  // with mode 0700, a new file with mode 0600 (its -wal and -shm files take
  // the same mode).
  static Result<Store> open(const std::filesystem::path& path);
  // A store that keeps everything in memory; commit() only seals.
  static Store in_memory();

  ~Store();
  Store(Store&&) noexcept;
  Store& operator=(Store&&) noexcept;
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  Document& doc();
  const Document& doc() const;
  // The file, or nothing for an in-memory store.
  const std::optional<std::filesystem::path>& path() const;

  // Seals the pending change and writes it; when this returns success the
  // commit is on disk (synchronous WAL commit). Returns the new commit's
  // hash, or nothing when no edit was pending.
  Result<std::optional<ChangeHash>> commit(std::string_view message);

  // A file descriptor that becomes readable when the file may have been
  // changed by someone else; poll it for reading and then call refresh().
  // -1 for an in-memory store. Owned by the store.
  int watch_fd() const;
  // Drains watch_fd() and imports commits other processes wrote to the
  // file. Returns whether the document changed. A pending local change is
  // committed first.
  Result<bool> refresh();

  // Imports the commits another replica's file has and we lack; that file
  // is opened read-only and never modified. Returns how many commits came
  // in (and were written to our file).
  Result<std::size_t> merge_file(const std::filesystem::path& other);

 private:
  struct Impl;
  explicit Store(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace kova::doc
