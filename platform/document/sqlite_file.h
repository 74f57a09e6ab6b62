// The SQLite side of the store: checking that a file is one of ours and
// undamaged before anything is written, and reading and writing commit rows.
// Internal to the document library.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "document/types.h"

struct sqlite3;

namespace kova::doc {

struct CommitRows {
  std::vector<Commit> commits;  // in row order, decoded and checked
  std::int64_t last_row = 0;    // greatest row id read (or the one given)
};

class SqliteFile {
 public:
  SqliteFile() = default;

  // Opens an existing file read-write. An empty file is given the schema; any
  // other file must already be a document store in good order, else the error
  // says what is wrong and nothing has been written to it.
  static Result<SqliteFile> open_store(const std::filesystem::path& path);
  // Opens another replica's file without ever writing to it.
  static Result<SqliteFile> open_read_only(const std::filesystem::path& path);

  // Commits in rows after `after_row`, each decoded with its columns checked.
  Result<CommitRows> read_commits(std::int64_t after_row);
  // Switches the connection to durable writing once the file has been
  // found in good order: WAL with a sync at every commit, checkpoint on
  // close.
  Result<void> start_writing();
  // Inserts the commits not yet in the file, in one transaction that is on
  // disk when this returns.
  Result<void> insert_commits(std::span<const Commit> commits);

 private:
  struct Closer {
    void operator()(sqlite3* db) const;
  };
  std::unique_ptr<sqlite3, Closer> db_;
  std::filesystem::path path_;
};

}  // namespace kova::doc
