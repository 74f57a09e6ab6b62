// Path rules, vetting and the read-modify-write operations of the trust store.
#include "ssh/trust_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <system_error>

#include "core/fs.h"
#include "ssh/limits.h"

namespace remote::ssh {
namespace {

namespace fs = std::filesystem;

constexpr mode_t store_file_mode = 0600;
constexpr mode_t store_dir_mode = 0700;
constexpr mode_t group_other_bits = 0077;

std::unexpected<Error> os_error(int errno_value) {
  return fail(ErrorCode::Io, std::generic_category().message(errno_value));
}

Result<void> vet_directory(const fs::path& dir) {
  struct stat info {};
  if (::lstat(dir.c_str(), &info) != 0) return os_error(errno);
  if (!S_ISDIR(info.st_mode)) {
    return fail(ErrorCode::Store, "SSH host-key store parent must be a real directory");
  }
  if ((info.st_mode & group_other_bits) != 0) {
    return fail(ErrorCode::Store,
                "SSH host-key store parent must not be accessible to group or other users");
  }
  return {};
}

Result<void> ensure_store_directory(const fs::path& dir) {
  struct stat info {};
  if (::lstat(dir.c_str(), &info) == 0) return {};
  if (errno != ENOENT) return os_error(errno);
  std::error_code error;
  fs::create_directories(dir.parent_path(), error);
  if (error) return fail(ErrorCode::Io, error.message());
  // The store directory itself is made private at once, not after a window
  // in which it had the umask's bits.
  if (::mkdir(dir.c_str(), store_dir_mode) != 0 && errno != EEXIST) return os_error(errno);
  if (::chmod(dir.c_str(), store_dir_mode) != 0) return os_error(errno);
  return {};
}

// Nothing (not an error) when the file does not exist. The file is opened
// without following a symbolic link, so a link swapped in after vetting is
// refused rather than read.
Result<std::optional<std::string>> read_store_file(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::optional<std::string>{};
    return os_error(errno);
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0) return os_error(errno);
  if (static_cast<std::uintmax_t>(info.st_size) > max_known_hosts_file_bytes) {
    return fail(ErrorCode::Store, "SSH host-key store is larger than 16 MiB");
  }
  std::string bytes;
  char buffer[8192];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return os_error(errno);
    if (got == 0) break;
    if (static_cast<std::uintmax_t>(got) > max_known_hosts_file_bytes - bytes.size()) {
      return fail(ErrorCode::Store, "SSH host-key store is larger than 16 MiB");
    }
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return std::optional<std::string>(std::move(bytes));
}

bool same_target(const KnownHostEntry& entry, std::string_view host, std::uint16_t port) {
  return entry.host == host && entry.port == port;
}

}  // namespace

Result<void> vet_store_file(const fs::path& file) {
  const fs::path parent = file.parent_path();
  if (parent.empty()) {
    return fail(ErrorCode::Store, "SSH host-key store has no private parent directory");
  }
  if (auto vetted = vet_directory(parent); !vetted) return vetted;
  struct stat info {};
  if (::lstat(file.c_str(), &info) != 0) {
    if (errno == ENOENT) return {};
    return os_error(errno);
  }
  if (!S_ISREG(info.st_mode)) {
    return fail(ErrorCode::Store, "SSH host-key store must be a regular file");
  }
  if ((info.st_mode & group_other_bits) != 0) {
    return fail(ErrorCode::Store,
                "SSH host-key store must not be accessible to group or other users");
  }
  return {};
}

Result<fs::path> known_hosts_path() {
  if (const char* override_path = std::getenv("REMOTE_SSH_KNOWN_HOSTS")) {
    fs::path file(override_path);
    if (auto vetted = vet_store_file(file); !vetted) return std::unexpected(vetted.error());
    return file;
  }
  const auto state = kova::state_home();
  if (!state) {
    return fail(ErrorCode::Store, "no private state directory is available for SSH host trust");
  }
  const fs::path dir = *state / "kova" / "remote";
  if (auto made = ensure_store_directory(dir); !made) return std::unexpected(made.error());
  if (auto vetted = vet_directory(dir); !vetted) return std::unexpected(vetted.error());
  fs::path file = dir / "known-hosts.json";
  if (auto vetted = vet_store_file(file); !vetted) return std::unexpected(vetted.error());
  return file;
}

Result<KnownHosts> load_known_hosts(const fs::path& path) {
  if (auto vetted = vet_store_file(path); !vetted) return std::unexpected(vetted.error());
  auto bytes = read_store_file(path);
  if (!bytes) return std::unexpected(bytes.error());
  if (!bytes->has_value()) return KnownHosts{};
  return parse_known_hosts(**bytes);
}

Result<void> save_known_hosts(const fs::path& path, const KnownHosts& store) {
  if (auto vetted = vet_store_file(path); !vetted) return vetted;
  auto bytes = serialize_known_hosts(store);
  if (!bytes) return std::unexpected(bytes.error());
  if (auto written = kova::write_with_mode(path, *bytes, store_file_mode); !written) {
    return fail(ErrorCode::Io, written.error().message());
  }
  return vet_store_file(path);
}

HostKeyVerdict check_host_key(const std::vector<KnownHostEntry>& entries, std::string_view host,
                              std::uint16_t port, const HostKeyIdentity& observed) {
  for (const KnownHostEntry& entry : entries) {
    if (!same_target(entry, host, port)) continue;
    if (entry.identity == observed) return HostKeyTrusted{};
    return HostKeyChanged{entry.identity, observed};
  }
  return HostKeyUntrusted{observed};
}

Result<void> trust_host_key(const fs::path& path, std::string_view host, std::uint16_t port,
                            const HostKeyIdentity& identity) {
  auto store = load_known_hosts(path);
  if (!store) return std::unexpected(store.error());
  for (const KnownHostEntry& entry : store->entries) {
    if (!same_target(entry, host, port)) continue;
    if (entry.identity == identity) return {};
    return fail(ErrorCode::Store,
                "a different trusted host key already exists; forget it before retrusting");
  }
  store->entries.push_back(KnownHostEntry{std::string(host), port, identity});
  return save_known_hosts(path, *store);
}

Result<bool> forget_host_key(const fs::path& path, std::string_view host, std::uint16_t port) {
  auto store = load_known_hosts(path);
  if (!store) return std::unexpected(store.error());
  const auto removed = std::erase_if(
      store->entries, [&](const KnownHostEntry& entry) { return same_target(entry, host, port); });
  if (removed == 0) return false;
  if (auto saved = save_known_hosts(path, *store); !saved) return std::unexpected(saved.error());
  return true;
}

std::string host_key_message(const HostKeyVerdict& verdict, std::string_view host,
                             std::uint16_t port) {
  const std::string target = std::string(host) + ":" + std::to_string(port);
  if (const auto* untrusted = std::get_if<HostKeyUntrusted>(&verdict)) {
    return "SSH host key for " + target +
           " needs explicit trust: " + untrusted->observed.algorithm + " " +
           untrusted->observed.fingerprint;
  }
  if (const auto* changed = std::get_if<HostKeyChanged>(&verdict)) {
    return "SSH host key changed for " + target + ". Expected " + changed->expected.algorithm +
           " " + changed->expected.fingerprint + "; received " + changed->observed.algorithm + " " +
           changed->observed.fingerprint + ". Connection blocked.";
  }
  if (const auto* unavailable = std::get_if<HostKeyStoreUnavailable>(&verdict)) {
    return "SSH host-key store is unavailable: " + unavailable->error;
  }
  return {};
}

}  // namespace remote::ssh
