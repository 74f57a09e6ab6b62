// Fixtures of the session tests: environment variables set for one test and
// restored after it, a private trust store and home, waiting for a worker's
// status, and an application with one profile of each kind.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "../ssh/test_support.h"
#include "app/remote_app.h"
#include "app/session.h"
#include "core/endpoint_key.h"
#include "fixtures.h"
#include "support/eventually.h"
#include "ui_toolkit/canvas.h"

namespace remote::app::testing {

using remote::ssh::testing::TempDir;

// Sets (a value) or unsets (nullopt) variables, restoring them on destruction.
class ScopedEnv {
 public:
  ScopedEnv() = default;
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() {
    for (const auto& [name, value] : saved_) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
  }
  void set(const std::string& name, std::optional<std::string> value) {
    if (!saved_.contains(name)) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value)
      ::setenv(name.c_str(), value->c_str(), 1);
    else
      ::unsetenv(name.c_str());
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

using kova::testing::eventually;

inline std::optional<SessionStatus> settled_status(const AppState& app) {
  eventually([&] {
    const auto s = session_status(app);
    return !s || s->kind != SessionStatus::Kind::Connecting;
  });
  return session_status(app);
}

// The endpoint id of a device key made from a fixed seed byte.
inline std::string endpoint_text(std::uint8_t seed) {
  std::array<std::uint8_t, 32> secret{};
  secret.fill(seed);
  return kova::p2p::EndpointKey::from_secret(secret).to_string();
}

// Paints one frame of `app` headless (1280 x 800) and gives back the texts
// it drew.
inline kova::ui::DrawLog paint(RemoteApp& app) {
  auto canvas = kova::ui::Canvas::create({1280, 800}, 1);
  EXPECT_TRUE(canvas.has_value());
  kova::ui::DrawLog log;
  if (!canvas) return log;
  app.layout(kova::ui::Rect::from_xywh(0, 0, 1280, 800));
  kova::ui::Painter painter(*canvas, &log);
  app.paint(painter);
  return log;
}

// Types `text` as character keys (a carriage return as Enter), as the
// window delivers them.
inline void type(RemoteApp& app, std::string_view text) {
  for (const char c : text) {
    kova::ui::KeyEvent key;
    if (c == '\r') {
      key.key = kova::ui::Key::Enter;
    } else {
      key.key = kova::ui::Key::Character;
      key.character = static_cast<char32_t>(c);
      key.text = std::string(1, c);
    }
    app.handle_event(key);
    key.pressed = false;
    key.text.clear();
    app.handle_event(key);
  }
}

// A loopback port nothing listens on: the kernel refuses at once.
inline constexpr std::uint16_t refused_port = 1;

}  // namespace remote::app::testing
