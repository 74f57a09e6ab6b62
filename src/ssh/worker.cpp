// The worker: connect, judge the host key before any credential is sent,
// authenticate, open the shell, then move bytes until either side ends.
//
// The runtime is a poll loop over two descriptors: the session socket and the
// input queue's eventfd. Each turn serves one ready event; when both are
// ready the first is picked at random, so neither side can starve the other.
#include "ssh/worker.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <random>
#include <system_error>

#include "ssh/libssh_session.h"

namespace remote::ssh {
namespace {

using Clock = std::chrono::steady_clock;

enum class Turn { Continue, Leave };

// libssh may already hold decoded channel data that the socket no longer
// signals; after a read that returned bytes, or after a write (which handles
// incoming packets while it waits for window), the next turn looks again.
class MessageLoop {
 public:
  MessageLoop(LibsshSession& ssh, SessionShared& shared) : ssh_(ssh), shared_(shared) {}

  // Leaves without error on end of file, close, a lost connection, the
  // inactivity timeout or a dropped handle; fails when a write fails.
  Result<void> run() {
    auto last_traffic = Clock::now();
    for (;;) {
      const auto idle = Clock::now() - last_traffic;
      const auto limit = std::chrono::seconds(inactivity_timeout_s);
      if (idle >= limit) return {};
      pollfd fds[2] = {{ssh_.fd(), POLLIN, 0}, {shared_.input.event_fd(), POLLIN, 0}};
      if ((ssh_get_poll_flags(ssh_.raw()) & SSH_WRITE_PENDING) != 0) fds[0].events |= POLLOUT;
      const auto wait_ms = std::chrono::duration_cast<std::chrono::milliseconds>(limit - idle);
      const int timeout = maybe_buffered_ ? 0 : static_cast<int>(wait_ms.count()) + 1;
      if (::poll(fds, 2, timeout) < 0 && errno != EINTR) return {};
      if ((fds[0].revents & POLLOUT) != 0) ssh_blocking_flush(ssh_.raw(), 0);
      const bool channel_ready =
          maybe_buffered_ || (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
      const bool input_ready = (fds[1].revents & POLLIN) != 0;
      if (!channel_ready && !input_ready) continue;
      last_traffic = Clock::now();
      const bool channel_first = channel_ready && (!input_ready || coin_(random_) == 0);
      auto turn = channel_first ? on_channel() : on_input();
      if (!turn) return std::unexpected(turn.error());
      if (*turn == Turn::Leave) return {};
    }
  }

 private:
  // One chunk of standard output or, failing that, of standard error.
  Result<Turn> on_channel() {
    for (const int is_stderr : {0, 1}) {
      const int got = ssh_channel_read_nonblocking(
          ssh_.channel(), buffer_.data(), static_cast<std::uint32_t>(buffer_.size()), is_stderr);
      if (got < 0) return Turn::Leave;  // end of file, close or a lost connection
      if (got > 0) {
        maybe_buffered_ = true;
        if (!shared_.output.push(std::string(buffer_.data(), static_cast<std::size_t>(got)))) {
          return Turn::Leave;  // the handle was dropped
        }
        return Turn::Continue;
      }
    }
    maybe_buffered_ = false;
    if (ssh_channel_is_eof(ssh_.channel()) != 0 || ssh_channel_is_closed(ssh_.channel()) != 0 ||
        ssh_is_connected(ssh_.raw()) == 0) {
      return Turn::Leave;
    }
    return Turn::Continue;
  }

  Result<Turn> on_input() {
    auto input = shared_.input.try_pop();
    if (!input) {
      if (!shared_.input.sender_closed()) return Turn::Continue;
      send_eof();
      return Turn::Leave;
    }
    auto written = write_all(input->bytes);
    maybe_buffered_ = true;
    if (!written) {
      if (input->acknowledgement) input->acknowledgement->failed(written.error().message);
      return std::unexpected(written.error());
    }
    if (input->acknowledgement) input->acknowledgement->delivered();
    return Turn::Continue;
  }

  // Blocking while it writes: the worker waits for window space and takes no
  // channel message meanwhile (libssh buffers them).
  Result<void> write_all(const std::string& bytes) {
    ssh_set_blocking(ssh_.raw(), 1);
    std::size_t done = 0;
    while (done < bytes.size()) {
      const std::size_t slice = std::min(write_copy_bytes, bytes.size() - done);
      const int wrote =
          ssh_channel_write(ssh_.channel(), bytes.data() + done, static_cast<std::uint32_t>(slice));
      if (wrote == SSH_ERROR) break;
      done += static_cast<std::size_t>(wrote);
    }
    ssh_set_blocking(ssh_.raw(), 0);
    if (done < bytes.size()) return fail(ErrorCode::Session, ssh_.last_error());
    return {};
  }

  void send_eof() {
    ssh_set_blocking(ssh_.raw(), 1);
    ssh_channel_send_eof(ssh_.channel());
    ssh_set_blocking(ssh_.raw(), 0);
  }

  LibsshSession& ssh_;
  SessionShared& shared_;
  std::array<char, max_output_chunk_bytes> buffer_{};
  bool maybe_buffered_ = false;
  std::minstd_rand random_{std::random_device{}()};
  std::uniform_int_distribution<int> coin_{0, 1};
};

// Loads the store and judges the observed key. Trusted passes; any other
// verdict is recorded and refuses the connection before authentication.
Result<void> judge_host_key(const SshWorkerConfig& config, LibsshSession& ssh, VerdictSlot& slot) {
  auto identity = ssh.server_identity();
  if (!identity) return std::unexpected(identity.error());
  auto store = load_known_hosts(config.known_hosts);
  HostKeyVerdict verdict = store
                               ? check_host_key(store->entries, config.host, config.port, *identity)
                               : HostKeyVerdict{HostKeyStoreUnavailable{store.error().message}};
  if (std::holds_alternative<HostKeyTrusted>(verdict)) return {};
  std::string sentence = host_key_message(verdict, config.host, config.port);
  slot.set(std::move(verdict));
  return fail(ErrorCode::Session, std::move(sentence));
}

Result<void> run_session(const SshWorkerConfig& config, SessionShared& shared) {
  LibsshSession ssh;
  if (auto connected = ssh.connect(config.host, config.port, config.user); !connected) {
    return connected;
  }
  if (auto judged = judge_host_key(config, ssh, shared.verdict); !judged) {
    ssh.disconnect();
    return judged;
  }
  if (auto authenticated = ssh.authenticate(config.credentials); !authenticated) {
    ssh.disconnect();
    return authenticated;
  }
  if (auto opened = ssh.open_shell(config.columns, config.rows); !opened) {
    ssh.disconnect();
    return opened;
  }
  // Only this worker writes the status, and set() never replaces Failed.
  shared.status.set(SessionStatus::connected());
  auto looped = MessageLoop(ssh, shared).run();
  if (!looped) return looped;
  ssh.disconnect();
  shared.status.set(SessionStatus::ended());
  return {};
}

}  // namespace

void run_worker(SshWorkerConfig config, SessionShared& shared) {
  // The runtime is the poll loop; its one resource of its own is the input
  // queue's eventfd.
  auto result =
      shared.input.valid()
          ? run_session(config, shared)
          : fail(ErrorCode::Io,
                 "runtime: " + std::generic_category().message(shared.input.creation_errno()));
  if (!result) shared.status.fail(result.error().message);
  // Queued inputs are dropped (their acknowledgements close) and later sends
  // get the closed answer.
  shared.input.close_receiver();
  shared.output.close_writer();
}

}  // namespace remote::ssh
