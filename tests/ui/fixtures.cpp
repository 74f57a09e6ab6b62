#include "fixtures.h"

#include <cstdlib>

#include "core/endpoint_key.h"

namespace remote::ui::testing {

std::string endpoint_id() {
  std::array<std::uint8_t, 32> seed{};
  seed[0] = 7;
  return kova::p2p::EndpointKey::from_secret(seed).to_string();
}

Painted::Painted(std::unique_ptr<app::RemoteApp> app, double width, double height, double scale)
    : app_(std::move(app)), width_(width), height_(height), scale_(scale) {
  app_->document_changed(document_);
  app_->layout(kova::ui::Rect::from_xywh(0, 0, width, height));
  app_->set_reduced_motion(true);
}

void Painted::resize(double width, double height) {
  width_ = width;
  height_ = height;
  app_->layout(kova::ui::Rect::from_xywh(0, 0, width, height));
}

const kova::ui::DrawLog& Painted::paint() {
  auto canvas = kova::ui::Canvas::create({width_, height_}, scale_);
  EXPECT_TRUE(canvas.has_value());
  log_ = {};
  kova::ui::Painter painter(*canvas, &log_);
  app_->paint(painter);
  return log_;
}

kova::ui::Rect Painted::text_rect(std::string_view text) const {
  const auto* drawn = log_.find(text);
  if (!drawn) {
    ADD_FAILURE() << "\"" << text << "\" was not drawn";
    return {};
  }
  return drawn->rect;
}

void Painted::click(double x, double y) {
  app_->handle_event(kova::ui::PointerMoveEvent{{x, y}});
  app_->handle_event(
      kova::ui::PointerButtonEvent{kova::ui::PointerButton::Primary, true, {x, y}, 1});
  app_->handle_event(
      kova::ui::PointerButtonEvent{kova::ui::PointerButton::Primary, false, {x, y}, 1});
  paint();
}

void Painted::click_text(std::string_view text) {
  const auto r = text_rect(text);
  click(r.center_x(), r.center_y());
}

void Painted::key(kova::ui::Key key, kova::ui::Modifiers mods) {
  kova::ui::KeyEvent e;
  e.key = key;
  e.modifiers = mods;
  app_->handle_event(e);
  e.pressed = false;
  app_->handle_event(e);
  paint();
}

void Painted::character(char32_t c, std::string text, kova::ui::Modifiers mods) {
  kova::ui::KeyEvent e;
  e.key = kova::ui::Key::Character;
  e.character = c;
  e.text = std::move(text);
  e.modifiers = mods;
  app_->handle_event(e);
  paint();
}

void Painted::type(std::string_view text) {
  for (const char c : text)
    character(static_cast<char32_t>(c), std::string(1, c));
}

std::unique_ptr<app::RemoteApp> launched(bool sample, std::string review) {
  if (sample)
    ::setenv("KOVA_REMOTE_SAMPLE", "1", 1);
  else
    ::unsetenv("KOVA_REMOTE_SAMPLE");
  kova::shell::LaunchOptions options;
  if (!review.empty()) options.review_state = std::move(review);
  return app::make_remote_app(options);
}

}  // namespace remote::ui::testing
