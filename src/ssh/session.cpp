// The handle side of a session: credentials from the environment, the input
// pipeline's checks and the output pump.
#include "ssh/session.h"

#include <pthread.h>

#include <cstdlib>
#include <system_error>
#include <thread>

#include "ssh/worker.h"

namespace remote::ssh {
namespace {

namespace fs = std::filesystem;

// A variable holding bytes that are not valid UTF-8 counts as unset.
bool valid_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    std::size_t length = byte < 0x80           ? 1
                         : (byte >> 5) == 0x6  ? 2
                         : (byte >> 4) == 0xe  ? 3
                         : (byte >> 3) == 0x1e ? 4
                                               : 0;
    if (length == 0 || length > text.size() - i) return false;
    std::uint32_t code = length == 1 ? byte : byte & (0x7fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xc0) != 0x80) return false;
      code = (code << 6) | (next & 0x3fu);
    }
    constexpr std::uint32_t min_for_length[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < min_for_length[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) {
      return false;
    }
    i += length;
  }
  return true;
}

std::optional<std::string> text_variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || !valid_utf8(value)) return std::nullopt;
  return std::string(value);
}

}  // namespace

std::vector<fs::path> default_key_candidates() {
  const char* home = std::getenv("HOME");
  const fs::path base = home != nullptr ? fs::path(home) : fs::path();
  return {base / ".ssh" / "id_ed25519", base / ".ssh" / "id_ecdsa"};
}

Result<SshCredentials> ssh_credentials(SshAuth auth, const std::vector<fs::path>& candidates) {
  if (auth == SshAuth::PublicKey) {
    KeyCredentials key;
    key.passphrase = text_variable("REMOTE_SSH_KEY_PASSPHRASE");
    if (auto path = text_variable("REMOTE_SSH_KEY")) {
      key.key_path = *path;
      return key;
    }
    for (const fs::path& candidate : candidates) {
      std::error_code ignored;
      if (fs::exists(candidate, ignored)) {
        key.key_path = candidate;
        return key;
      }
    }
    return fail(ErrorCode::Session, "no SSH key: set REMOTE_SSH_KEY or add ~/.ssh/id_ed25519");
  }
  if (auto password = text_variable("REMOTE_SSH_PASSWORD")) {
    return PasswordCredentials{*password};
  }
  return fail(ErrorCode::Session, "no SSH password: set REMOTE_SSH_PASSWORD");
}

std::string ssh_login_name(std::string_view profile_user) {
  if (!profile_user.empty()) return std::string(profile_user);
  if (auto user = text_variable("USER")) return *user;
  return "root";
}

SshSession& SshSession::operator=(SshSession&& other) noexcept {
  if (this != &other) {
    close();
    shared_ = std::move(other.shared_);
    screen_ = std::move(other.screen_);
  }
  return *this;
}

SshSession::~SshSession() {
  close();
}

void SshSession::close() {
  if (!shared_) return;
  shared_->output.close_reader();
  shared_->input.close_sender();
  shared_.reset();
}

bool SshSession::pump_output() {
  return pump_output([this](std::string_view chunk) { screen_->feed(chunk); });
}

bool SshSession::pump_output(const std::function<void(std::string_view)>& feed) {
  bool fed = false;
  while (auto chunk = shared_->output.try_pop()) {
    feed(*chunk);
    fed = true;
  }
  return fed;
}

Result<void> SshSession::send_input(SshInput input) {
  if (input.bytes.empty()) return fail(ErrorCode::Input, "SSH input cannot be empty");
  if (input.bytes.size() > max_input_bytes) {
    return fail(ErrorCode::Input, "SSH input exceeds the " + std::to_string(max_input_kib) +
                                      " KiB per-operation limit");
  }
  switch (shared_->input.try_push(std::move(input))) {
    case InputQueue::PushResult::Queued:
      return {};
    case InputQueue::PushResult::Busy:
      return fail(ErrorCode::Input, "SSH input is busy; wait for the remote session to catch up");
    case InputQueue::PushResult::Closed:
      break;
  }
  return fail(ErrorCode::Input, "SSH session input channel is closed");
}

Result<void> SshSession::send_text(std::string_view bytes) {
  return send_input(SshInput{std::nullopt, std::string(bytes)});
}

Result<AckReceiver> SshSession::send_text_acknowledged(std::string_view bytes) {
  auto slot = std::make_shared<AckSlot>();
  auto sent = send_input(SshInput{AckSender(slot), std::string(bytes)});
  if (!sent) return std::unexpected(sent.error());
  return AckReceiver(slot);
}

Result<SshSession> start_ssh_session(SshWorkerConfig config) {
  auto shared = std::make_shared<SessionShared>();
  const std::uint16_t columns = config.columns;
  const std::uint16_t rows = config.rows;
  try {
    std::thread worker([config = std::move(config), shared]() mutable {
      ::pthread_setname_np(::pthread_self(), "remote-ssh");
      run_worker(std::move(config), *shared);
    });
    worker.detach();
  } catch (const std::system_error& error) {
    return fail(ErrorCode::Io, error.code().message());
  }
  return SshSession(std::move(shared), columns, rows);
}

}  // namespace remote::ssh
