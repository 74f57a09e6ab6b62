// An X client on a test server's display that holds the keyboard focus and
// records the keys pressed in it, so a test can see a key the VNC server
// injected. X's own headers stay in the .cpp: their macros (Status, None,
// Bool) would collide with ordinary names in the tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace remote::ui::testing {

class KeyWitness {
 public:
  // Opens `display` (":N"), maps a window over the whole screen and gives it
  // the focus; problem() says why not when that fails.
  explicit KeyWitness(const std::string& display);
  ~KeyWitness();
  KeyWitness(const KeyWitness&) = delete;
  KeyWitness& operator=(const KeyWitness&) = delete;

  const std::string& problem() const { return problem_; }
  // The keysym (unshifted) of the next key press within `limit`.
  std::optional<std::uint32_t> next_key_press(std::chrono::milliseconds limit);

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::string problem_;
};

}  // namespace remote::ui::testing
