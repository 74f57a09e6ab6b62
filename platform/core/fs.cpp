#include "core/fs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <random>
#include <string>

namespace kova {
namespace {

std::unexpected<std::error_code> last_error() {
  return std::unexpected(std::error_code(errno, std::generic_category()));
}

// Closes a descriptor on every path out of write_with_mode.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

std::string random_suffix() {
  static constexpr char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device device;
  std::string suffix(12, 'x');
  for (char& c : suffix) c = alphabet[device() % (sizeof(alphabet) - 1)];
  return suffix;
}

std::expected<void, std::error_code> write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return last_error();
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return {};
}

std::expected<void, std::error_code> sync_directory(const std::filesystem::path& dir) {
  Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return last_error();
  if (::fsync(fd.get()) != 0) return last_error();
  return {};
}

}  // namespace

std::optional<std::filesystem::path> state_home() {
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr) {
    std::filesystem::path path(xdg);
    if (path.is_absolute()) return path;
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return std::filesystem::path(home) / ".local" / "state";
  }
  return std::nullopt;
}

std::expected<void, std::error_code> write_with_mode(const std::filesystem::path& path,
                                                     std::string_view bytes, mode_t mode) {
  std::filesystem::path dir = path.parent_path();
  if (dir.empty()) dir = ".";
  std::filesystem::path temp;
  int raw = -1;
  for (int attempt = 0; attempt < 16 && raw < 0; ++attempt) {
    temp = dir / ("." + path.filename().string() + ".tmp-" + random_suffix());
    raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (raw < 0 && errno != EEXIST) return last_error();
  }
  if (raw < 0) return last_error();
  Fd fd(raw);
  auto fail = [&](std::error_code error) {
    ::unlink(temp.c_str());
    return std::unexpected(error);
  };
  // The umask may have cleared bits of `mode` at creation.
  if (::fchmod(fd.get(), mode) != 0) return fail(last_error().error());
  if (auto written = write_all(fd.get(), bytes); !written) return fail(written.error());
  if (::fsync(fd.get()) != 0) return fail(last_error().error());
  if (::close(fd.release()) != 0) return fail(last_error().error());
  // rename() replaces a symbolic link at the target instead of following it.
  if (::rename(temp.c_str(), path.c_str()) != 0) return fail(last_error().error());
  return sync_directory(dir);
}

std::expected<void, std::error_code> create_directories_with_mode(
    const std::filesystem::path& dir, mode_t mode) {
  if (dir.empty()) return {};
  struct stat info {};
  if (::stat(dir.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return {};
    return std::unexpected(std::make_error_code(std::errc::not_a_directory));
  }
  if (errno != ENOENT) return last_error();
  if (dir.has_parent_path() && dir.parent_path() != dir) {
    if (auto parent = create_directories_with_mode(dir.parent_path(), mode); !parent) {
      return parent;
    }
  }
  if (::mkdir(dir.c_str(), mode) != 0 && errno != EEXIST) return last_error();
  // mkdir honours the umask; the caller asked for exactly `mode`.
  if (::chmod(dir.c_str(), mode) != 0) return last_error();
  return {};
}

}  // namespace kova
