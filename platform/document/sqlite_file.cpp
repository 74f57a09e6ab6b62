#include "document/sqlite_file.h"

#include <sqlite3.h>

#include <cstring>
#include <fstream>
#include <string>

#include "document/encoding.h"
#include "document/limits.h"

namespace kova::doc {
namespace {

namespace fs = std::filesystem;

// "KOVA" in the database header marks a file as a document store.
constexpr std::int64_t application_id = 0x4B4F5641;
constexpr std::int64_t schema_version = 1;

constexpr const char* schema_sql =
    "CREATE TABLE commits ("
    " id INTEGER PRIMARY KEY,"
    " hash BLOB NOT NULL UNIQUE,"
    " actor BLOB NOT NULL,"
    " seq INTEGER NOT NULL,"
    " body BLOB NOT NULL)";

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : rc_(sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr)) {}
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool ok() const { return rc_ == SQLITE_OK && stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }
  int step() { return sqlite3_step(stmt_); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_;
};

Error damaged(const fs::path& path, const std::string& why) {
  return Error{ErrorCode::Corrupt, path.string() + ": damaged or not a document store: " + why};
}

Error sqlite_error(const fs::path& path, sqlite3* db, const char* what) {
  return Error{ErrorCode::Io, path.string() + ": " + what + ": " + sqlite3_errmsg(db)};
}

std::uint32_t be32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

// Looks at the raw header before SQLite touches the file, so that a file of
// another kind is recognised without SQLite ever opening it for writing.
Result<std::uintmax_t> check_header(const fs::path& path) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) return std::unexpected(Error{ErrorCode::Io, path.string() + ": " + ec.message()});
  if (size == 0) return size;
  std::ifstream in(path, std::ios::binary);
  std::array<unsigned char, 100> header{};
  in.read(reinterpret_cast<char*>(header.data()), header.size());
  if (in.gcount() < 100 || std::memcmp(header.data(), "SQLite format 3\0", 16) != 0) {
    return std::unexpected(damaged(path, "not an SQLite database"));
  }
  const std::uint32_t raw_page = (std::uint32_t{header[16]} << 8) | header[17];
  const std::uint64_t page_size = raw_page == 1 ? 65536 : raw_page;
  const std::uint32_t change_counter = be32(&header[24]);
  const std::uint32_t page_count = be32(&header[28]);
  const std::uint32_t valid_for = be32(&header[92]);
  // The page count is trustworthy only when it was written with the current
  // change counter; then the file must hold that many pages.
  if (valid_for == change_counter && page_count != 0 && page_size * page_count > size) {
    return std::unexpected(damaged(path, "truncated: the header promises " +
                                             std::to_string(page_size * page_count) +
                                             " bytes, the file has " + std::to_string(size)));
  }
  if (be32(&header[68]) != application_id) {
    return std::unexpected(damaged(path, "an SQLite database of another program"));
  }
  return size;
}

Result<std::int64_t> pragma_int(sqlite3* db, const fs::path& path, const char* sql) {
  Statement st(db, sql);
  if (!st.ok() || st.step() != SQLITE_ROW)
    return std::unexpected(damaged(path, sqlite3_errmsg(db)));
  return sqlite3_column_int64(st.get(), 0);
}

Result<void> exec(sqlite3* db, const fs::path& path, const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    return std::unexpected(Error{ErrorCode::Io, path.string() + ": " + text});
  }
  return {};
}

// Checks that an opened file is a document store of our version in good
// order. Only reads.
Result<void> check_store(sqlite3* db, const fs::path& path) {
  auto app = pragma_int(db, path, "PRAGMA application_id");
  if (!app) return std::unexpected(app.error());
  if (*app != application_id)
    return std::unexpected(damaged(path, "an SQLite database of another program"));
  auto version = pragma_int(db, path, "PRAGMA user_version");
  if (!version) return std::unexpected(version.error());
  if (*version != schema_version) {
    return std::unexpected(damaged(path, "document format version " + std::to_string(*version) +
                                             " is not supported (expected " +
                                             std::to_string(schema_version) + ")"));
  }
  {
    Statement st(db, "SELECT id, hash, actor, seq, body FROM commits LIMIT 0");
    if (!st.ok())
      return std::unexpected(damaged(path, std::string("wrong schema: ") + sqlite3_errmsg(db)));
  }
  Statement check(db, "PRAGMA quick_check");
  if (!check.ok()) return std::unexpected(damaged(path, sqlite3_errmsg(db)));
  const int rc = check.step();
  if (rc != SQLITE_ROW) return std::unexpected(damaged(path, sqlite3_errmsg(db)));
  const auto* result = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
  if (!result || std::strcmp(result, "ok") != 0) {
    return std::unexpected(damaged(path, result ? result : "integrity check failed"));
  }
  return {};
}

// Gives an empty file the schema. Done with the rollback journal, so the
// header (with the application id) is in the main file before any other
// process can look at it; WAL is switched on afterwards.
Result<void> initialise(sqlite3* db, const fs::path& path) {
  if (auto begin = exec(db, path, "BEGIN IMMEDIATE"); !begin) return begin;
  auto app = pragma_int(db, path, "PRAGMA application_id");
  if (!app) {
    exec(db, path, "ROLLBACK");
    return std::unexpected(app.error());
  }
  if (*app == 0) {
    // Another process may have initialised it between our checks; then the
    // application id is already set and the file is checked as usual.
    const std::string sql = "PRAGMA application_id = " + std::to_string(application_id) +
                            "; PRAGMA user_version = " + std::to_string(schema_version) + "; " +
                            schema_sql;
    if (auto made = exec(db, path, sql.c_str()); !made) {
      exec(db, path, "ROLLBACK");
      return made;
    }
  }
  if (auto done = exec(db, path, "COMMIT"); !done) return done;
  return exec(db, path, "PRAGMA journal_mode = WAL");
}

}  // namespace

void SqliteFile::Closer::operator()(sqlite3* db) const {
  sqlite3_close_v2(db);
}

Result<SqliteFile> SqliteFile::open_store(const fs::path& path) {
  auto size = check_header(path);
  if (!size) return std::unexpected(size.error());
  SqliteFile f;
  f.path_ = path;
  sqlite3* raw = nullptr;
  const int rc =
      sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
  f.db_.reset(raw);
  if (rc != SQLITE_OK) return std::unexpected(sqlite_error(path, raw, "cannot open"));
  // Until the file is known to be ours and sound, closing must not write
  // to it (a checkpoint would).
  sqlite3_db_config(raw, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_busy_timeout(raw, 5000);
  if (*size == 0) {
    if (auto init = initialise(raw, path); !init) return std::unexpected(init.error());
  }
  if (auto ok = check_store(raw, path); !ok) return std::unexpected(ok.error());
  return f;
}

Result<SqliteFile> SqliteFile::open_read_only(const fs::path& path) {
  auto size = check_header(path);
  if (!size) return std::unexpected(size.error());
  if (*size == 0) return std::unexpected(damaged(path, "the file is empty"));
  SqliteFile f;
  f.path_ = path;
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  f.db_.reset(raw);
  if (rc != SQLITE_OK) return std::unexpected(sqlite_error(path, raw, "cannot open"));
  sqlite3_db_config(raw, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_busy_timeout(raw, 5000);
  if (auto ok = check_store(raw, path); !ok) return std::unexpected(ok.error());
  return f;
}

Result<void> SqliteFile::start_writing() {
  sqlite3* db = db_.get();
  if (auto wal = exec(db, path_, "PRAGMA journal_mode = WAL"); !wal) return wal;
  // FULL: in WAL mode every commit syncs the log, so a commit that returned
  // survives a power cut, not only a crash of the process.
  if (auto sync = exec(db, path_, "PRAGMA synchronous = FULL"); !sync) return sync;
  sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
  return {};
}

Result<CommitRows> SqliteFile::read_commits(std::int64_t after_row) {
  sqlite3* db = db_.get();
  Statement st(db, "SELECT id, hash, actor, seq, body FROM commits WHERE id > ? ORDER BY id");
  if (!st.ok()) return std::unexpected(sqlite_error(path_, db, "cannot read commits"));
  sqlite3_bind_int64(st.get(), 1, after_row);
  CommitRows out;
  out.last_row = after_row;
  for (;;) {
    const int rc = st.step();
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) return std::unexpected(damaged(path_, sqlite3_errmsg(db)));
    const std::int64_t row = sqlite3_column_int64(st.get(), 0);
    auto bad_row = [&](const std::string& why) {
      return std::unexpected(damaged(path_, "row " + std::to_string(row) + ": " + why));
    };
    if (sqlite3_column_type(st.get(), 4) != SQLITE_BLOB ||
        sqlite3_column_type(st.get(), 1) != SQLITE_BLOB ||
        sqlite3_column_type(st.get(), 2) != SQLITE_BLOB) {
      return bad_row("columns of the wrong type");
    }
    const int body_size = sqlite3_column_bytes(st.get(), 4);
    if (body_size < 0 || static_cast<std::size_t>(body_size) > max_commit_bytes) {
      return bad_row("commit larger than the commit size limit");
    }
    const auto* body = static_cast<const std::uint8_t*>(sqlite3_column_blob(st.get(), 4));
    auto commit = decode_commit({body, static_cast<std::size_t>(body_size)});
    if (!commit) return bad_row(commit.error().message);
    const auto* hash = static_cast<const std::uint8_t*>(sqlite3_column_blob(st.get(), 1));
    const auto* actor = static_cast<const std::uint8_t*>(sqlite3_column_blob(st.get(), 2));
    if (sqlite3_column_bytes(st.get(), 1) != 32 ||
        std::memcmp(hash, commit->hash.bytes.data(), 32) != 0 ||
        sqlite3_column_bytes(st.get(), 2) != 16 ||
        std::memcmp(actor, commit->actor.bytes.data(), 16) != 0 ||
        sqlite3_column_int64(st.get(), 3) != static_cast<std::int64_t>(commit->seq)) {
      return bad_row("hash, actor or sequence column does not match the commit");
    }
    out.commits.push_back(std::move(*commit));
    out.last_row = row;
  }
  return out;
}

Result<void> SqliteFile::insert_commits(std::span<const Commit> commits) {
  sqlite3* db = db_.get();
  if (auto begin = exec(db, path_, "BEGIN IMMEDIATE"); !begin) return begin;
  auto fail = [&](const char* what) {
    Error e = sqlite_error(path_, db, what);
    exec(db, path_, "ROLLBACK");
    return std::unexpected(e);
  };
  {
    Statement st(db, "INSERT OR IGNORE INTO commits (hash, actor, seq, body) VALUES (?, ?, ?, ?)");
    if (!st.ok()) return fail("cannot write commits");
    for (const Commit& c : commits) {
      const std::string body = encode_commit(c);
      // A row the loader would refuse must never be written.
      if (body.size() > max_commit_bytes) {
        exec(db, path_, "ROLLBACK");
        return std::unexpected(
            Error{ErrorCode::InvalidInput,
                  path_.string() + ": a commit is larger than the commit size limit"});
      }
      sqlite3_reset(st.get());
      sqlite3_bind_blob(st.get(), 1, c.hash.bytes.data(), 32, SQLITE_STATIC);
      sqlite3_bind_blob(st.get(), 2, c.actor.bytes.data(), 16, SQLITE_STATIC);
      sqlite3_bind_int64(st.get(), 3, static_cast<std::int64_t>(c.seq));
      sqlite3_bind_blob(st.get(), 4, body.data(), static_cast<int>(body.size()), SQLITE_TRANSIENT);
      if (st.step() != SQLITE_DONE) return fail("cannot write commits");
    }
  }
  if (exec(db, path_, "COMMIT")) return {};
  return fail("cannot commit");
}

}  // namespace kova::doc
