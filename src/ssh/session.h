// One SSH session: a detached worker thread "remote-ssh" that owns the
// connection, and the SshSession handle the user-interface thread keeps.
//
// The handle and the worker share only the status cell, the host-key verdict
// slot and the two bounded queues (mailbox.h). Every handle method runs on the
// user-interface thread and returns at once. Dropping the handle closes its
// queue ends; the worker then sends end-of-file, disconnects and ends by
// itself. Nothing ever joins the worker.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "session/session_status.h"
#include "ssh/error.h"
#include "ssh/limits.h"
#include "ssh/mailbox.h"
#include "ssh/trust_store.h"
#include "terminal/screen.h"

namespace remote::ssh {

using remote::SessionStatus;
using remote::StatusCell;

struct PasswordCredentials {
  std::string password;  // may be empty: sent as an empty password
};
struct KeyCredentials {
  std::filesystem::path key_path;
  std::optional<std::string> passphrase;
};
using SshCredentials = std::variant<PasswordCredentials, KeyCredentials>;

// How the profile authenticates, as far as this folder cares.
enum class SshAuth { Password, PublicKey };

struct SshWorkerConfig {
  std::string host;
  std::string user;
  std::filesystem::path known_hosts;  // from known_hosts_path()
  SshCredentials credentials;
  std::uint16_t port = 22;
  std::uint16_t columns = terminal_columns;
  std::uint16_t rows = terminal_rows;
};

// $HOME/.ssh/id_ed25519, then $HOME/.ssh/id_ecdsa (relative when HOME is unset).
std::vector<std::filesystem::path> default_key_candidates();

// Reads REMOTE_SSH_PASSWORD, or REMOTE_SSH_KEY / REMOTE_SSH_KEY_PASSPHRASE with
// the first existing candidate as fallback. The key file is not read here.
Result<SshCredentials> ssh_credentials(SshAuth auth,
                                       const std::vector<std::filesystem::path>& candidates);

// The login name: the profile's user, else $USER when set (even empty), else
// "root".
std::string ssh_login_name(std::string_view profile_user);

// The verdict slot: written by the worker's host-key check only with a
// rejecting verdict; its lock is held only to copy.
class VerdictSlot {
 public:
  std::optional<HostKeyVerdict> get() const {
    std::lock_guard lock(mutex_);
    return verdict_;
  }
  void set(HostKeyVerdict verdict) {
    std::lock_guard lock(mutex_);
    verdict_ = std::move(verdict);
  }

 private:
  mutable std::mutex mutex_;
  std::optional<HostKeyVerdict> verdict_;
};

// Everything the handle and the worker hold in common.
struct SessionShared {
  StatusCell status;
  VerdictSlot verdict;
  OutputQueue output{output_queue_capacity};
  InputQueue input{input_queue_capacity};
};

// A moved-from handle may only be destroyed or assigned to.
class SshSession {
 public:
  SshSession(std::shared_ptr<SessionShared> shared, std::uint16_t columns, std::uint16_t rows)
      : shared_(std::move(shared)),
        screen_(std::make_unique<terminal::TerminalScreen>(columns, rows)) {}
  SshSession(SshSession&&) noexcept = default;
  SshSession& operator=(SshSession&& other) noexcept;
  SshSession(const SshSession&) = delete;
  SshSession& operator=(const SshSession&) = delete;
  ~SshSession();

  SessionStatus status() const { return shared_->status.get(); }
  std::optional<HostKeyVerdict> host_key_verdict() const { return shared_->verdict.get(); }

  // Feeds every queued chunk, in order, to the screen without waiting; the
  // view calls it before drawing. True when at least one chunk was fed.
  bool pump_output();
  // The same, handing the chunks to `feed` instead of the screen.
  bool pump_output(const std::function<void(std::string_view)>& feed);

  // The session's screen, created with the configuration's size. Used only
  // on the user-interface thread.
  const terminal::TerminalScreen& screen() const { return *screen_; }

  // Checks and queues one input; never waits. Errors are the user-facing
  // sentences ("SSH input cannot be empty", "... busy ...", "... closed").
  Result<void> send_input(SshInput input);
  Result<void> send_text(std::string_view bytes);
  // On success the receiver reports Delivered, Failed (with the write error)
  // or Closed (the worker ended before writing it).
  Result<AckReceiver> send_text_acknowledged(std::string_view bytes);

 private:
  void close();
  std::shared_ptr<SessionShared> shared_;
  std::unique_ptr<terminal::TerminalScreen> screen_;
};

// Starts the worker thread. Fails only when the thread cannot be created;
// every later failure (the runtime's included) shows in the status.
Result<SshSession> start_ssh_session(SshWorkerConfig config);

// Connects, reports the server's host-key identity and disconnects without
// authenticating. Blocks the calling thread.
Result<HostKeyIdentity> fetch_host_key(const std::string& host, std::uint16_t port);

}  // namespace remote::ssh
