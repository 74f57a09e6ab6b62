#include "ui/view.h"

#include <cstdlib>
#include <functional>
#include <string_view>

#include "app/visible.h"
#include "ui/list_model.h"

namespace remote::ui {

namespace {

void mix_hash(std::size_t& seed, std::size_t value) {
  seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

// Everything the visible list and the summary depend on. Hashing is linear
// in the list but far cheaper than lower-casing, sorting and validating it.
std::size_t visible_key(const app::AppState& app) {
  const std::hash<std::string_view> h;
  std::size_t seed = h(app.search_text);
  mix_hash(seed, std::getenv("REMOTE_LIVE_SESSIONS") != nullptr);
  mix_hash(seed, app.profiles.size());
  for (const auto& p : app.profiles) {
    mix_hash(seed, h(p.name));
    mix_hash(seed, h(p.host));
    mix_hash(seed, h(p.user));
    mix_hash(seed, h(p.group));
    mix_hash(seed, (std::size_t{p.port} << 16) | (std::size_t{p.favorite} << 12) |
                       (static_cast<std::size_t>(p.kind) << 8) |
                       (static_cast<std::size_t>(p.auth) << 4) |
                       static_cast<std::size_t>(p.presence));
  }
  return seed;
}

}  // namespace

void register_region(ViewState& view, Rect rect, std::optional<app::AppMessage> message) {
  view.regions.push_back({rect, std::move(message)});
}

const HitRegion* hit_test(const std::vector<HitRegion>& regions, Point point) {
  for (auto it = regions.rbegin(); it != regions.rend(); ++it)
    if (it->rect.contains(point)) return &*it;
  return nullptr;
}

double content_left(const app::AppState& app) {
  const Rect& c = app.content_rect;
  if (app.screen.kind == app::Screen::Kind::Session && app.fullscreen) return c.left;
  if (app.narrow_layout) return c.left + rail_width;
  return c.left + rail_width * app.flap.reveal();
}

Rect toggle_rect(const app::AppState& app) {
  return Rect::from_xywh(app.content_rect.left + 12, app.content_rect.top + 12, 40, 40);
}

const VisibleCache& visible_rows(const app::AppState& app, ViewState& view) {
  const std::size_t key = visible_key(app);
  if (view.visible.key == key) return view.visible;
  view.visible.rows.clear();
  const auto* base = app.profiles.data();
  for (const auto* p : app::visible_connections(app.profiles, app.search_text))
    view.visible.rows.push_back(static_cast<std::size_t>(p - base));
  view.visible.summary = summary_text(app.profiles);
  view.visible.key = key;
  return view.visible;
}

}  // namespace remote::ui
