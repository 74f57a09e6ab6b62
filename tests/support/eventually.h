// Waiting in a test for what another thread or process does. Workers and
// servers report through cells a test can only poll, as the screen does.
// The deadline is about waiting, never about speed: generous, so that a
// loaded machine never fails a correct run; speed is measured in bench/.
#pragma once

#include <chrono>
#include <thread>

namespace kova::testing {

// Polls `done` until it holds or `limit` has passed; true when it held.
template <class Predicate>
bool eventually(Predicate&& done, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

}  // namespace kova::testing
