// The host-key trust store: a private JSON file of pinned SSH host keys, one
// pin per target (host text, TCP port).
//
// Nothing is cached: every call reads the file anew and every change rewrites
// the whole file (temporary file, fsync, rename), so a reader on a worker
// thread sees the old or the new pins, never a mix. Trust and forget run on
// the user-interface thread only. The file must be a regular file of mode
// 0600 in a directory without group or other bits; anything else makes the
// store unusable rather than silently trusted.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "ssh/error.h"

namespace remote::ssh {

struct HostKeyIdentity {
  std::string algorithm;    // SSH public-key algorithm name, e.g. "ssh-ed25519"
  std::string fingerprint;  // "SHA256:" + unpadded Base64 of the key blob's digest
  friend bool operator==(const HostKeyIdentity&, const HostKeyIdentity&) = default;
};

struct KnownHostEntry {
  std::string host;  // exactly as the profile holds it; compared byte for byte
  std::uint16_t port = 0;
  HostKeyIdentity identity;
  friend bool operator==(const KnownHostEntry&, const KnownHostEntry&) = default;
};

struct KnownHosts {
  std::vector<KnownHostEntry> entries;  // pins in file order; new ones at the end
  friend bool operator==(const KnownHosts&, const KnownHosts&) = default;
};

struct HostKeyTrusted {
  friend bool operator==(const HostKeyTrusted&, const HostKeyTrusted&) = default;
};
struct HostKeyUntrusted {
  HostKeyIdentity observed;
  friend bool operator==(const HostKeyUntrusted&, const HostKeyUntrusted&) = default;
};
struct HostKeyChanged {
  HostKeyIdentity expected;
  HostKeyIdentity observed;
  friend bool operator==(const HostKeyChanged&, const HostKeyChanged&) = default;
};
struct HostKeyStoreUnavailable {
  std::string error;  // the load error's text
  friend bool operator==(const HostKeyStoreUnavailable&, const HostKeyStoreUnavailable&) = default;
};
using HostKeyVerdict =
    std::variant<HostKeyTrusted, HostKeyUntrusted, HostKeyChanged, HostKeyStoreUnavailable>;

// The store's path: REMOTE_SSH_KNOWN_HOSTS when set (even empty; vetted, never
// created), else <state_home>/kova/remote/known-hosts.json, creating the
// store directory with mode 0700 when it is missing.
Result<std::filesystem::path> known_hosts_path();

// Checks a would-be store file and its parent directory: no symbolic link,
// the right file type, no group or other permission bit. A missing file is
// fine (the store is empty).
Result<void> vet_store_file(const std::filesystem::path& file);

// Parses the reading form. All or nothing: any problem fails the whole file.
Result<KnownHosts> parse_known_hosts(std::string_view bytes);
// The writing form: pretty JSON, two-space indent, no final newline.
Result<std::string> serialize_known_hosts(const KnownHosts& store);

Result<KnownHosts> load_known_hosts(const std::filesystem::path& path);
Result<void> save_known_hosts(const std::filesystem::path& path, const KnownHosts& store);

// Never yields HostKeyStoreUnavailable: that is made by the caller whose load
// failed. Only the first pin of a target counts.
HostKeyVerdict check_host_key(const std::vector<KnownHostEntry>& entries, std::string_view host,
                              std::uint16_t port, const HostKeyIdentity& observed);

// Pins `identity` for the target. Pinning the same identity again writes
// nothing; a different pinned identity must be forgotten first.
Result<void> trust_host_key(const std::filesystem::path& path, std::string_view host,
                            std::uint16_t port, const HostKeyIdentity& identity);

// Removes every pin of the target; true when at least one was removed. Writes
// nothing when there was none.
Result<bool> forget_host_key(const std::filesystem::path& path, std::string_view host,
                             std::uint16_t port);

// The user-facing sentence of a recorded (rejecting) verdict. Trusted has no
// sentence and yields an empty string.
std::string host_key_message(const HostKeyVerdict& verdict, std::string_view host,
                             std::uint16_t port);

}  // namespace remote::ssh
