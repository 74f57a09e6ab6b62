// Shared fixtures of the screen tests: profiles, and an application painted
// headless into a canvas whose drawn texts are recorded.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/remote_app.h"
#include "ui_toolkit/canvas.h"

namespace remote::ui::testing {

using profiles::AuthMethod;
using profiles::ConnectionKind;
using profiles::ConnectionProfile;

inline ConnectionProfile profile(std::string name, ConnectionKind kind, std::string host,
                                 std::uint16_t port, AuthMethod auth = AuthMethod::Password,
                                 bool favorite = false) {
  ConnectionProfile p;
  p.id = profiles::ConnectionId::random();
  p.name = std::move(name);
  p.kind = kind;
  p.host = std::move(host);
  p.port = port;
  p.auth = auth;
  p.favorite = favorite;
  p.last_used = "2h ago";
  return p;
}

// A 64-digit endpoint id that is a valid key (the sample devices use such).
std::string endpoint_id();

// An application at a window size, painted once per paint() call into a
// fresh canvas with the texts recorded.
class Painted {
 public:
  explicit Painted(std::unique_ptr<app::RemoteApp> app, double width = 1280, double height = 800,
                   double scale = 1);
  app::RemoteApp& app() { return *app_; }
  app::AppState& state() { return app_->state(); }
  kova::doc::Document& document() { return document_; }

  void resize(double width, double height);
  // Paints one frame; the log of the last frame is kept.
  const kova::ui::DrawLog& paint();
  const kova::ui::DrawLog& log() const { return log_; }
  // The drawn text equal to `text`; the test fails when there is none.
  kova::ui::Rect text_rect(std::string_view text) const;
  bool drew(std::string_view text) const { return log_.find(text) != nullptr; }

  void click(double x, double y);
  void click_text(std::string_view text);
  void key(kova::ui::Key key, kova::ui::Modifiers mods = {});
  void character(char32_t c, std::string text, kova::ui::Modifiers mods = {});
  void type(std::string_view text);

 private:
  std::unique_ptr<app::RemoteApp> app_;
  kova::doc::Document document_;
  double width_;
  double height_;
  double scale_;
  kova::ui::DrawLog log_;
};

// make_remote_app with KOVA_REMOTE_SAMPLE as given and a review state.
std::unique_ptr<app::RemoteApp> launched(bool sample, std::string review = "");

}  // namespace remote::ui::testing
