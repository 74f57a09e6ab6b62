// What a session shows and reports. Every transport worker writes it into a
// lock-protected StatusCell; the user-interface thread copies it out.
#pragma once

#include <mutex>
#include <string>
#include <utility>

namespace remote::ssh {

struct SessionStatus {
  enum class Kind { Connecting = 0, Connected = 1, Ended = 2, Unavailable = 3, Failed = 4 };
  Kind kind = Kind::Connecting;
  std::string text;  // only for Unavailable and Failed

  static SessionStatus connecting() { return {}; }
  static SessionStatus connected() { return {Kind::Connected, {}}; }
  static SessionStatus ended() { return {Kind::Ended, {}}; }
  static SessionStatus failed(std::string why) { return {Kind::Failed, std::move(why)}; }
  friend bool operator==(const SessionStatus&, const SessionStatus&) = default;
};

// Shared between one worker and the user-interface thread. The lock is held
// only to copy a value in or out.
class StatusCell {
 public:
  SessionStatus get() const {
    std::lock_guard lock(mutex_);
    return status_;
  }
  void set(SessionStatus next) {
    std::lock_guard lock(mutex_);
    status_ = std::move(next);
  }
  // A failure is final: later failures or transitions never replace it.
  void fail(std::string why) {
    std::lock_guard lock(mutex_);
    if (status_.kind != SessionStatus::Kind::Failed) status_ = SessionStatus::failed(std::move(why));
  }
  // Moves `from` to `to` only when the status still is `from`.
  void advance(SessionStatus::Kind from, SessionStatus to) {
    std::lock_guard lock(mutex_);
    if (status_.kind == from) status_ = std::move(to);
  }

 private:
  mutable std::mutex mutex_;
  SessionStatus status_;
};

}  // namespace remote::ssh
