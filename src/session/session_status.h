// The status a live session shows and reports, shared by every transport.
// Workers write it into a StatusCell and never overwrite Failed; the user
// interface reads it by copying under the lock, once a frame.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

namespace remote {

struct SessionStatus {
  enum class Kind : std::uint8_t {
    Connecting = 0,
    Connected = 1,
    Ended = 2,  // the remote side closed a session that had been connected
    Unavailable = 3,
    Failed = 4,
  };

  Kind kind = Kind::Connecting;
  std::string text;  // only for Unavailable and Failed

  static SessionStatus connecting() { return {Kind::Connecting, {}}; }
  static SessionStatus connected() { return {Kind::Connected, {}}; }
  static SessionStatus ended() { return {Kind::Ended, {}}; }
  static SessionStatus unavailable(std::string t) { return {Kind::Unavailable, std::move(t)}; }
  static SessionStatus failed(std::string t) { return {Kind::Failed, std::move(t)}; }

  bool operator==(const SessionStatus&) const = default;
};

// Shared between one worker and the user-interface thread. The lock is held
// only to copy a value in or out, never across I/O.
class StatusCell {
 public:
  SessionStatus get() const {
    std::lock_guard lock(mutex_);
    return status_;
  }

  // Sets the status unless the session has already failed: a failure is
  // final for the worker that reported it.
  void set(SessionStatus next) {
    std::lock_guard lock(mutex_);
    if (status_.kind != SessionStatus::Kind::Failed) status_ = std::move(next);
  }

  void fail(std::string why) { set(SessionStatus::failed(std::move(why))); }

 private:
  mutable std::mutex mutex_;
  SessionStatus status_;
};

}  // namespace remote
