#include "document/store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "core/fs.h"
#include "document/encoding.h"
#include "document/limits.h"
#include "document/sqlite_file.h"

namespace kova::doc {
namespace {

namespace fs = std::filesystem;

Error io_error(const fs::path& path, const std::string& what) {
  return Error{ErrorCode::Io, path.string() + ": " + what};
}

// Creates an empty file with exactly mode 0600 (not subject to the umask)
// and makes its directory entry durable. EEXIST means someone was quicker,
// which is fine: the file is then opened as an existing store.
Result<void> create_private_file(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (errno == EEXIST) return {};
    return std::unexpected(io_error(path, std::string("cannot create: ") + std::strerror(errno)));
  }
  const bool ok = ::fchmod(fd, 0600) == 0 && ::fsync(fd) == 0;
  const int saved = errno;
  ::close(fd);
  if (!ok)
    return std::unexpected(io_error(path, std::string("cannot prepare: ") + std::strerror(saved)));
  const int dir = ::open(path.parent_path().empty() ? "." : path.parent_path().c_str(),
                         O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

}  // namespace

struct Store::Impl {
  Document doc;
  std::optional<fs::path> path;
  SqliteFile file;
  int watch = -1;
  std::int64_t last_row = 0;      // greatest row id imported or written
  std::size_t saved_history = 0;  // doc.history() entries known to be in the file

  ~Impl() {
    if (watch >= 0) ::close(watch);
  }

  // Writes every commit of the document the file may not have yet, in
  // history order (a causal order), in one durable transaction.
  Result<void> save_tail() {
    const auto& history = doc.history();
    if (!path || saved_history == history.size()) return {};
    auto written = file.insert_commits(std::span(history).subspan(saved_history));
    if (!written) return std::unexpected(written.error());
    saved_history = history.size();
    return {};
  }

  Result<std::size_t> import(const std::vector<Commit>& commits) {
    auto report = doc.apply(commits);
    // Whatever was applied before a failure is kept, so it is saved too.
    auto saved = save_tail();
    if (!report) return std::unexpected(report.error());
    if (!saved) return std::unexpected(saved.error());
    return report->applied;
  }
};

Store::Store(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Store::~Store() = default;
Store::Store(Store&&) noexcept = default;
Store& Store::operator=(Store&&) noexcept = default;

Store Store::in_memory() {
  return Store(std::make_unique<Impl>());
}

Result<Store> Store::open(const fs::path& path) {
  if (path.has_parent_path()) {
    if (auto dir = create_directories_with_mode(path.parent_path(), 0700); !dir) {
      return std::unexpected(
          io_error(path.parent_path(), "cannot create directory: " + dir.error().message()));
    }
  }
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno != ENOENT) return std::unexpected(io_error(path, std::strerror(errno)));
    if (auto created = create_private_file(path); !created) return std::unexpected(created.error());
  } else if (!S_ISREG(info.st_mode)) {
    return std::unexpected(io_error(path, "not a regular file"));
  }

  auto file = SqliteFile::open_store(path);
  if (!file) return std::unexpected(file.error());
  auto rows = file->read_commits(0);
  if (!rows) return std::unexpected(rows.error());

  auto impl = std::make_unique<Impl>();
  impl->path = path;
  auto report = impl->doc.apply(rows->commits);
  if (!report)
    return std::unexpected(
        Error{ErrorCode::Corrupt, path.string() + ": damaged: " + report.error().message});
  if (report->waiting != 0) {
    return std::unexpected(
        Error{ErrorCode::Corrupt, path.string() + ": damaged: " + std::to_string(report->waiting) +
                                      " commits depend on commits that are missing"});
  }
  if (auto ready = file->start_writing(); !ready) return std::unexpected(ready.error());
  impl->file = std::move(*file);
  impl->last_row = rows->last_row;
  impl->saved_history = impl->doc.history().size();

  impl->watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (impl->watch < 0)
    return std::unexpected(io_error(path, std::string("inotify: ") + std::strerror(errno)));
  const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (::inotify_add_watch(impl->watch, dir.c_str(),
                          IN_MODIFY | IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE) < 0) {
    return std::unexpected(io_error(dir, std::string("inotify: ") + std::strerror(errno)));
  }
  return Store(std::move(impl));
}

Document& Store::doc() {
  return impl_->doc;
}
const Document& Store::doc() const {
  return impl_->doc;
}
const std::optional<fs::path>& Store::path() const {
  return impl_->path;
}
int Store::watch_fd() const {
  return impl_->watch;
}

Result<std::optional<ChangeHash>> Store::commit(std::string_view message) {
  auto sealed = impl_->doc.commit(message);
  if (!sealed) {
    // Nothing new, but an earlier failed write may still be owed.
    if (auto saved = impl_->save_tail(); !saved) return std::unexpected(saved.error());
    return std::nullopt;
  }
  if (auto saved = impl_->save_tail(); !saved) return std::unexpected(saved.error());
  return sealed->hash;
}

Result<bool> Store::refresh() {
  Impl& s = *impl_;
  if (s.watch >= 0) {
    // Only the wake-up matters; every event leads to the same row query.
    alignas(inotify_event) std::array<char, 4096> buffer;
    while (::read(s.watch, buffer.data(), buffer.size()) > 0) {
    }
  }
  if (!s.path) return false;
  if (s.doc.has_pending()) {
    if (auto c = commit(""); !c) return std::unexpected(c.error());
  }
  auto rows = s.file.read_commits(s.last_row);
  if (!rows) return std::unexpected(rows.error());
  s.last_row = std::max(s.last_row, rows->last_row);
  auto applied = s.import(rows->commits);
  if (!applied) return std::unexpected(applied.error());
  return *applied > 0;
}

Result<std::size_t> Store::merge_file(const fs::path& other) {
  auto file = SqliteFile::open_read_only(other);
  if (!file) return std::unexpected(file.error());
  auto rows = file->read_commits(0);
  if (!rows) return std::unexpected(rows.error());
  return impl_->import(rows->commits);
}

}  // namespace kova::doc
