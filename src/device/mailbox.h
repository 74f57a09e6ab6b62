// The hand-over pieces between the user-interface thread and the decoder
// thread: single-value slots that keep only the newest item, and a token
// channel of capacity 1 whose ends notice when the other end is gone.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace remote::device {

// Holds at most one value; putting replaces (and drops) what was waiting.
// The lock is held only to swap a value in or out.
template <typename T>
class Slot {
 public:
  void put(T value) {
    std::lock_guard lock(mutex_);
    value_ = std::move(value);
  }
  std::optional<T> take() {
    std::lock_guard lock(mutex_);
    return std::exchange(value_, std::nullopt);
  }

 private:
  std::mutex mutex_;
  std::optional<T> value_;
};

namespace detail {
struct TokenState {
  std::mutex mutex;
  std::condition_variable changed;
  bool pending = false;
  bool sender_open = true;
  bool receiver_open = true;
};
}  // namespace detail

enum class TrySend { Sent, Full, Closed };

class TokenSender {
 public:
  explicit TokenSender(std::shared_ptr<detail::TokenState> state) : state_(std::move(state)) {}
  TokenSender(TokenSender&&) noexcept = default;
  TokenSender& operator=(TokenSender&& other) noexcept {
    close();
    state_ = std::move(other.state_);
    return *this;
  }
  TokenSender(const TokenSender&) = delete;
  TokenSender& operator=(const TokenSender&) = delete;
  ~TokenSender() { close(); }

  // Never waits. Full: a token is already pending, which is as good.
  TrySend try_send() {
    std::lock_guard lock(state_->mutex);
    if (!state_->receiver_open) return TrySend::Closed;
    if (state_->pending) return TrySend::Full;
    state_->pending = true;
    state_->changed.notify_one();
    return TrySend::Sent;
  }

 private:
  void close() {
    if (!state_) return;
    std::lock_guard lock(state_->mutex);
    state_->sender_open = false;
    state_->changed.notify_one();
  }
  std::shared_ptr<detail::TokenState> state_;
};

class TokenReceiver {
 public:
  explicit TokenReceiver(std::shared_ptr<detail::TokenState> state) : state_(std::move(state)) {}
  TokenReceiver(TokenReceiver&&) noexcept = default;
  TokenReceiver(const TokenReceiver&) = delete;
  TokenReceiver& operator=(const TokenReceiver&) = delete;
  TokenReceiver& operator=(TokenReceiver&&) = delete;
  ~TokenReceiver() {
    if (!state_) return;
    std::lock_guard lock(state_->mutex);
    state_->receiver_open = false;
  }

  // Waits for a token; false once the sender is gone and no token is left.
  bool receive() {
    std::unique_lock lock(state_->mutex);
    state_->changed.wait(lock, [this] { return state_->pending || !state_->sender_open; });
    if (!state_->pending) return false;
    state_->pending = false;
    return true;
  }

 private:
  std::shared_ptr<detail::TokenState> state_;
};

inline std::pair<TokenSender, TokenReceiver> token_channel() {
  auto state = std::make_shared<detail::TokenState>();
  return {TokenSender(state), TokenReceiver(state)};
}

}  // namespace remote::device
