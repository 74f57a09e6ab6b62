// The status a session shows and reports, shared by every transport. Workers
// write it into a lock-protected cell and never overwrite Failed; the user
// interface reads it by copying under the lock.
#pragma once

#include <cstdint>
#include <string>

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

}  // namespace remote
