#include "ui/session_view.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/session.h"
#include "ssh/trust_store.h"
#include "ui/view.h"
#include "ui_toolkit/limits.h"
#include "core/utf8.h"
#include "ui_toolkit/widgets.h"

namespace remote::ui {

namespace {

using app::SessionState;
using kova::ui::Color;
using kova::ui::FontFace;
using kova::ui::TextStyle;
using profiles::ConnectionKind;

constexpr double header_height = 48;
constexpr double terminal_inset = 16;
constexpr double terminal_row_height = 21;
constexpr double terminal_cell_width = 8.4;
constexpr double terminal_text_size = 14;

// --- Small drawing helpers ---

// One line centred on `cx` with its line box starting at `y`.
void draw_centred(PaintContext& ctx, std::string_view text, double cx, double y, TextStyle style,
                  Color color, double max_width) {
  const double w = std::min(ctx.tr.measure(text, style).width, max_width);
  ctx.tr.draw(ctx.p, text, {cx - w / 2, y}, style, color, max_width);
}

Color tone_color(const kova::ui::Theme& t, StatusCard::Tone tone) {
  switch (tone) {
    case StatusCard::Tone::Neutral:
      return t.secondary_text;
    case StatusCard::Tone::InProgress:
      return t.accent;
    case StatusCard::Tone::Error:
      return t.danger;
  }
  return t.secondary_text;
}

std::string unavailable_kind_text(ConnectionKind kind) {
  switch (kind) {
    case ConnectionKind::Ssh:
    case ConnectionKind::Vnc:
      return "Use Kova device control now, or install Remote with live network and host-key trust "
             "access.";
    case ConnectionKind::Rdp:
      return "Edit this saved profile to use SSH, VNC, or Kova device control.";
    case ConnectionKind::Kova:
      return "No connection was attempted.";
  }
  return {};
}

// The session the screen shows, when it belongs to the screen's connection.
const SessionState* shown_session(const app::AppState& app) {
  if (!app.session || app.session_connection != app.screen.connection) return nullptr;
  return &*app.session;
}

bool connected(const SessionState& s) {
  switch (s.kind) {
    case SessionState::Kind::Ssh:
      return s.ssh->status().kind == SessionStatus::Kind::Connected;
    case SessionState::Kind::Vnc:
      return s.vnc->status().kind == SessionStatus::Kind::Connected;
    case SessionState::Kind::Device:
      return s.device->status().kind == SessionStatus::Kind::Connected;
    default:
      return false;
  }
}

// --- Status card ---

// A detail text broken at spaces into lines no wider than `width`, so a long
// failure text is shown whole rather than cut short. A single word wider
// than the card is ellipsised when drawn.
std::vector<std::string> wrap_words(const kova::ui::TextRenderer& tr, std::string_view text,
                                    TextStyle style, double width) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view word = text.substr(start, end - start);
    std::string candidate = line.empty() ? std::string(word) : line + " " + std::string(word);
    if (!line.empty() && tr.measure(candidate, style).width > width) {
      lines.push_back(std::move(line));
      line = std::string(word);
    } else {
      line = std::move(candidate);
    }
    start = end + 1;
  }
  if (!line.empty() || lines.empty()) lines.push_back(std::move(line));
  return lines;
}

void draw_card_buttons(const StatusCard& card, kova::ui::Rect box, double top, ViewState& view,
                       PaintContext& ctx) {
  const bool extra = card.buttons.size() > 1;
  double x = box.center_x() - (extra ? 124 : 66);
  for (const auto& [label, message] : card.buttons) {
    const bool back = label == "Back to list";
    const double w = back ? 132 : 104;
    const kova::ui::Rect r{x, top, x + w, top + 38};
    kova::ui::draw_button(ctx.p, ctx.tr, ctx.theme, r, label,
                          back ? kova::ui::ButtonStyle::Emphasised : kova::ui::ButtonStyle::Normal,
                          {.hovered = r.contains(view.pointer)});
    register_region(view, r, message);
    x += w + 12;
  }
}

void draw_status_card(const app::AppState& app, const profiles::ConnectionProfile& profile,
                      const StatusCard& card, ViewState& view, PaintContext& ctx) {
  const auto& t = ctx.theme;
  const kova::ui::Rect& c = app.content_rect;
  const double left = content_left(app);
  const double area_w = c.right - left;
  const double w = std::min(area_w - 40, 460.0);
  if (w <= 0) return;
  const TextStyle detail_style{13, 0};
  std::vector<std::string> details;
  for (const auto& text : card.details)
    for (auto& line : wrap_words(ctx.tr, text, detail_style, w - 48))
      details.push_back(std::move(line));
  const auto lines = static_cast<double>(details.size());
  const double h = 336 + 22 * lines;
  const double top = c.top + std::max((c.height() - h) / 2, 16.0);
  const kova::ui::Rect box = kova::ui::Rect::from_xywh(left + (area_w - w) / 2, top, w, h);
  kova::ui::draw_card(ctx.p, t, box, 16);
  ctx.p.push_clip(box);
  const double cx = box.center_x();
  const double text_w = w - 48;
  const Color tone = tone_color(t, card.tone);

  ctx.p.fill_circle({cx, top + 68}, 34, tone.with_alpha(0.14));
  ctx.p.stroke_circle({cx, top + 68}, 34, 2, tone.with_alpha(0.9));
  draw_centred(ctx, profiles::kind_document_text(profile.kind), cx, top + 58, {15, 3},
               t.primary_text, 60);
  draw_centred(ctx, profile.name, cx, top + 124, {20, 3}, t.primary_text, text_w);
  const std::string subtitle =
      target_summary(profile) + " · " + std::string(profiles::kind_label(profile.kind));
  draw_centred(ctx, subtitle, cx, top + 154, {13, 0}, t.secondary_text, text_w);

  const TextStyle pill_style{13, 2};
  const double pill_text_w = std::min(ctx.tr.measure(card.pill, pill_style).width, text_w - 44);
  const double pill_w = pill_text_w + 44;
  const kova::ui::Rect pill{cx - pill_w / 2, top + 184, cx + pill_w / 2, top + 214};
  kova::ui::draw_pill(ctx.p, pill, tone, 0.16, 0.55);
  ctx.p.fill_circle({pill.left + 16, pill.center_y()}, 4, tone);
  ctx.tr.draw(ctx.p, card.pill,
              {pill.left + 28, pill.center_y() - ctx.tr.line_height(pill_style) / 2}, pill_style,
              t.primary_text, pill_text_w);

  for (std::size_t i = 0; i < details.size(); ++i)
    draw_centred(ctx, details[i], cx, top + 230 + 22 * static_cast<double>(i), detail_style,
                 t.secondary_text, text_w);
  draw_card_buttons(card, box, top + 244 + 22 * lines, view, ctx);
  ctx.p.pop_clip();
}

// --- Connected: header ---

void draw_header(const app::AppState& app, const profiles::ConnectionProfile& profile,
                 ViewState& view, PaintContext& ctx) {
  const auto& t = ctx.theme;
  const kova::ui::Rect& c = app.content_rect;
  const double left = content_left(app);
  const kova::ui::Rect bar{left, c.top, c.right, c.top + header_height};
  ctx.p.fill_rect(bar, t.header);
  ctx.p.hairline({bar.left, bar.bottom}, {bar.right, bar.bottom}, t.hairline);
  const double mid = bar.center_y();
  ctx.p.fill_circle({left + 18, mid}, 5, t.accent);

  const kova::ui::Rect disconnect{bar.right - 12 - 110, mid - 16, bar.right - 12, mid + 16};
  double controls_left = disconnect.left;
  std::vector<std::pair<kova::ui::Rect, std::pair<std::string, app::AppMessage>>> chips;
  if (profile.kind != ConnectionKind::Ssh) {
    const TextStyle chip_style{13, 2};
    double right = disconnect.left - 12;
    for (const auto& [label, message] :
         {std::pair<std::string, app::AppMessage>{"Fullscreen", app::msg::ToggleFullscreen{}},
          std::pair<std::string, app::AppMessage>{app.fit_to_window ? "Scale: Fit" : "Scale: 1:1",
                                                  app::msg::ToggleScale{}}}) {
      const double w = ctx.tr.measure(label, chip_style).width + 24;
      const kova::ui::Rect r{right - w, mid - 16, right, mid + 16};
      chips.push_back({r, {label, message}});
      right = r.left - 8;
    }
    controls_left = right + 8;
  }

  const TextStyle title_style{14, 2};
  const double text_room = std::max(controls_left - 12 - (left + 32), 0.0);
  const auto title =
      ctx.tr.draw(ctx.p, profile.name, {left + 32, mid - ctx.tr.line_height(title_style) / 2},
                  title_style, t.primary_text, text_room);
  const std::string_view tail = profile.kind == ConnectionKind::Ssh    ? " · shell"
                                : profile.kind == ConnectionKind::Kova ? " · workspace stream"
                                                                       : " · framebuffer";
  const TextStyle sub_style{12, 0};
  const double sub_left = left + 32 + title.width + 8;
  ctx.tr.draw(ctx.p, "· " + target_summary(profile) + std::string(tail),
              {sub_left, mid - ctx.tr.line_height(sub_style) / 2}, sub_style, t.secondary_text,
              std::max(controls_left - 12 - sub_left, 0.0));

  for (const auto& [r, chip] : chips) {
    kova::ui::draw_button(ctx.p, ctx.tr, t, r, chip.first, kova::ui::ButtonStyle::Normal,
                          {.hovered = r.contains(view.pointer)});
    register_region(view, r, chip.second);
  }
  kova::ui::draw_button(ctx.p, ctx.tr, t, disconnect, "Disconnect", kova::ui::ButtonStyle::Caution,
                        {.hovered = disconnect.contains(view.pointer)});
  register_region(view, disconnect, app::msg::Disconnect{});
}

// --- Connected: bodies ---

void draw_terminal(const terminal::TerminalScreen& screen, kova::ui::Rect body, SessionView& sv,
                   PaintContext& ctx) {
  const auto palette = kova::ui::TerminalPalette::dark();
  ctx.p.fill_rect(body, palette.background);
  ctx.p.push_clip(body);
  const double x0 = body.left + terminal_inset;
  const double y0 = body.top + terminal_inset;
  sv.terminal_rows.resize(screen.rows());
  for (unsigned r = 0; r < screen.rows(); ++r) {
    const auto cells = screen.row(r);
    auto& cache = sv.terminal_rows[r];
    if (!std::ranges::equal(cells, cache.cells)) {
      cache.cells.assign(cells.begin(), cells.end());
      cache.runs = row_runs(cells);
    }
    const double y = y0 + terminal_row_height * r;
    for (const auto& run : cache.runs) {
      const Color color = run.colour ? palette.indexed[*run.colour] : palette.foreground;
      ctx.tr.draw(ctx.p, run.text, {x0 + terminal_cell_width * run.column, y},
                  {terminal_text_size, run.bold ? 3 : 0, FontFace::Terminal}, color);
    }
  }
  const double cx = x0 + terminal_cell_width * screen.cursor_column();
  const double cy = y0 + terminal_row_height * screen.cursor_row();
  ctx.p.fill_rect(kova::ui::Rect::from_xywh(cx, cy, terminal_cell_width, 16.8),
                  palette.foreground.with_alpha(0.6));
  ctx.p.pop_clip();
}

void draw_picture(const app::AppState& app, kova::ui::Rect body, SessionView& sv,
                  PaintContext& ctx) {
  ctx.p.fill_rect(body, Color{0, 0, 0, 1});
  if (!sv.picture.has_picture()) {
    ctx.tr.draw(ctx.p, "Connected — waiting for the first framebuffer update…",
                {body.left + 24, body.top + 24}, {13, 0}, ctx.theme.secondary_text,
                std::max(body.width() - 48, 0.0));
    return;
  }
  const kova::ui::Rect r =
      picture_rect(body, sv.picture.width(), sv.picture.height(), app.fit_to_window);
  sv.picture.draw(ctx.p, r);
  sv.image_rect = r;
}

void draw_connected(const app::AppState& app, const profiles::ConnectionProfile& profile,
                    const SessionState& s, ViewState& view, PaintContext& ctx) {
  if (!app.fullscreen) draw_header(app, profile, view, ctx);
  const kova::ui::Rect body = session_body(app);
  if (s.kind == SessionState::Kind::Ssh)
    draw_terminal(s.ssh->screen(), body, view.session, ctx);
  else
    draw_picture(app, body, view.session, ctx);
  if (app.fullscreen) {
    const TextStyle hint{12, 0};
    ctx.tr.draw(ctx.p, "Esc to exit fullscreen", {body.right - 170, body.top + 12}, hint,
                Color{1, 1, 1, 0.72}, 160);
  }
}

}  // namespace

// --- PictureSurface ---

bool PictureSurface::update(const std::uint8_t* rgba, std::size_t bytes, std::uint32_t width,
                            std::uint32_t height) {
  const auto side = static_cast<std::uint32_t>(kova::ui::max_image_side_px);
  if (rgba == nullptr || width == 0 || height == 0 || width > side || height > side ||
      std::uint64_t{width} * height * 4 > bytes) {
    clear();
    return false;
  }
  if (!surface_ || width != width_ || height != height_) {
    kova::ui::SurfacePtr s{cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width),
                                                      static_cast<int>(height))};
    if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS) {
      clear();
      return false;
    }
    surface_ = std::move(s);
    width_ = width;
    height_ = height;
  }
  cairo_surface_flush(surface_.get());
  unsigned char* out = cairo_image_surface_get_data(surface_.get());
  const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface_.get()));
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint8_t* in = rgba + std::size_t{y} * width * 4;
    auto* row = reinterpret_cast<std::uint32_t*>(out + std::size_t{y} * stride);
    for (std::uint32_t x = 0; x < width; ++x, in += 4) {
      const std::uint32_t a = in[3];
      if (a == 255) {
        row[x] = 0xff000000u | (std::uint32_t{in[0]} << 16) | (std::uint32_t{in[1]} << 8) | in[2];
      } else {
        auto pm = [a](std::uint32_t v) { return (v * a + 127) / 255; };
        row[x] = (a << 24) | (pm(in[0]) << 16) | (pm(in[1]) << 8) | pm(in[2]);
      }
    }
  }
  cairo_surface_mark_dirty(surface_.get());
  bytes_copied_ += std::uint64_t{width} * height * 4;
  return true;
}

void PictureSurface::clear() {
  surface_.reset();
  width_ = 0;
  height_ = 0;
}

std::uint32_t PictureSurface::pixel(std::uint32_t x, std::uint32_t y) const {
  if (!surface_ || x >= width_ || y >= height_) return 0;
  const unsigned char* data = cairo_image_surface_get_data(surface_.get());
  const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface_.get()));
  std::uint32_t value = 0;
  std::memcpy(&value, data + std::size_t{y} * stride + std::size_t{x} * 4, 4);
  return value;
}

void PictureSurface::draw(kova::ui::Painter& p, kova::ui::Rect dest) const {
  if (!surface_ || dest.empty()) return;
  cairo_t* cr = p.cairo();
  cairo_save(cr);
  cairo_rectangle(cr, dest.left, dest.top, dest.width(), dest.height());
  cairo_clip(cr);
  cairo_translate(cr, dest.left, dest.top);
  cairo_scale(cr, dest.width() / width_, dest.height() / height_);
  cairo_set_source_surface(cr, surface_.get(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_paint(cr);
  cairo_restore(cr);
}

// --- Terminal runs ---

std::vector<TerminalRun> row_runs(std::span<const terminal::TerminalCell> cells) {
  std::vector<TerminalRun> runs;
  std::size_t i = 0;
  while (i < cells.size()) {
    const auto colour = cells[i].colour();
    const bool bold = cells[i].bold();
    TerminalRun run{static_cast<unsigned>(i), {}, colour, bold};
    std::size_t end = i;
    while (end < cells.size() && cells[end].colour() == colour && cells[end].bold() == bold) {
      kova::utf8::append(run.text, cells[end].character());
      ++end;
    }
    // Blank cells paint nothing (there are no background colours), so
    // spaces at either end are dropped (leading ones move the run's column)
    // and all-blank runs skipped.
    while (!run.text.empty() && run.text.back() == ' ')
      run.text.pop_back();
    const std::size_t lead = std::min(run.text.find_first_not_of(' '), run.text.size());
    run.text.erase(0, lead);
    run.column += static_cast<unsigned>(lead);
    if (!run.text.empty()) runs.push_back(std::move(run));
    i = end;
  }
  return runs;
}

// --- Session lifecycle and intake ---

void follow_session(const app::AppState& app, SessionView& view) {
  const auto kind = app.session ? std::optional(app.session->kind) : std::nullopt;
  if (view.generation == app.session_generation && view.session_kind == kind) return;
  view = SessionView{};
  view.generation = app.session_generation;
  view.session_kind = kind;
}

void take_session_output(app::AppState& app, SessionView& view) {
  follow_session(app, view);
  if (!app.session) return;
  SessionState& s = *app.session;
  switch (s.kind) {
    case SessionState::Kind::Vnc:
      // The frame (and with it the snapshot's buffer) is released at the end
      // of this block, so the worker does not have to copy on its next write.
      if (auto frame = s.vnc->take_frame(); frame && frame->pixels) {
        if (view.picture.update(frame->pixels->data(), frame->pixels->size(), frame->width,
                                frame->height))
          ++view.pictures_taken;
        app.needs_redraw = true;
      }
      break;
    case SessionState::Kind::Device:
      if (auto picture = s.device->take_picture()) {
        if (view.picture.update(picture->pixels.data(), picture->pixels.size(), picture->width,
                                picture->height))
          ++view.pictures_taken;
        view.device_frame_size = device::FrameSize{picture->width, picture->height};
        // Converted; the decoder thread writes its next picture into it.
        s.device->recycle(std::move(*picture));
        app.needs_redraw = true;
      }
      break;
    case SessionState::Kind::Ssh:
      if (s.ssh->pump_output()) app.needs_redraw = true;
      break;
    default:
      break;
  }
}

// --- Paint ---

kova::ui::Rect session_body(const app::AppState& app) {
  const kova::ui::Rect& c = app.content_rect;
  return {content_left(app), c.top + (app.fullscreen ? 0 : header_height), c.right, c.bottom};
}

void paint_session(const app::AppState& app, ViewState& view, PaintContext& ctx) {
  const kova::ui::Rect& c = app.content_rect;
  const double left = content_left(app);
  view.session.image_rect.reset();
  const auto* profile = app::find_profile(app, app.screen.connection);
  if (!profile) {
    ctx.tr.draw(ctx.p, "Connection no longer exists.", {left + 24, c.top + 24}, {14, 0},
                ctx.theme.primary_text, std::max(c.right - left - 48, 0.0));
    return;
  }
  if (const auto card = status_card(app, *profile)) {
    draw_status_card(app, *profile, *card, view, ctx);
    return;
  }
  draw_connected(app, *profile, *shown_session(app), view, ctx);
}

// --- Pure pieces ---

kova::ui::Rect picture_rect(kova::ui::Rect body, std::uint32_t w, std::uint32_t h, bool fit) {
  const double pw = std::max<double>(w, 1);
  const double ph = std::max<double>(h, 1);
  double dw = 0;
  double dh = 0;
  if (fit) {
    const double s = std::min(body.width() / pw, body.height() / ph);
    dw = pw * s;
    dh = ph * s;
  } else {
    dw = std::min(pw, body.width());
    dh = std::min(ph, body.height());
  }
  const double x = body.left + (body.width() - dw) / 2;
  const double y = body.top + (body.height() - dh) / 2;
  return {x, y, x + dw, y + dh};
}

std::optional<std::pair<std::uint16_t, std::uint16_t>> map_to_framebuffer(kova::ui::Rect drawn,
                                                                          std::uint32_t w,
                                                                          std::uint32_t h,
                                                                          kova::ui::Point at) {
  if (drawn.empty() || w == 0 || h == 0 || !drawn.contains(at)) return std::nullopt;
  auto axis = [](double v, double lo, double hi, std::uint32_t size) {
    const double f = std::clamp((v - lo) / (hi - lo) * size, 0.0, static_cast<double>(size - 1));
    return static_cast<std::uint16_t>(std::min(std::trunc(f), 65535.0));
  };
  return std::pair{axis(at.x, drawn.left, drawn.right, w), axis(at.y, drawn.top, drawn.bottom, h)};
}

std::optional<std::pair<std::uint16_t, std::uint16_t>> map_vnc_pointer(const app::AppState& app,
                                                                       const SessionView& view,
                                                                       kova::ui::Point at) {
  if (!app.session || app.session->kind != SessionState::Kind::Vnc || !connected(*app.session) ||
      !view.image_rect)
    return std::nullopt;
  const auto size = app.session->vnc->frame_size();
  if (!size) return std::nullopt;
  return map_to_framebuffer(*view.image_rect, size->first, size->second, at);
}

std::optional<device::PointerMove> map_device_pointer(const app::AppState& app,
                                                      const SessionView& view, kova::ui::Point at) {
  if (!app.session || app.session->kind != SessionState::Kind::Device || !connected(*app.session) ||
      !view.image_rect)
    return std::nullopt;
  const device::FrameSize size = app.session->device->frame_size();
  if (size.width == 0 || size.height == 0) return std::nullopt;
  const kova::ui::Rect& r = *view.image_rect;
  return device::map_pointer(at.x, at.y, {r.left, r.top, r.right, r.bottom}, size);
}

std::string target_summary(const profiles::ConnectionProfile& p) {
  if (p.kind == ConnectionKind::Kova) {
    const std::string_view host = p.host;
    std::string out = "Kova device ";
    std::size_t i = 0;
    std::size_t taken = 0;
    while (i < host.size() && taken < 12) {
      kova::utf8::next(host, i);
      ++taken;
    }
    out += host.substr(0, i);
    if (i < host.size()) out += "…";
    return out;
  }
  std::string out;
  if (p.kind == ConnectionKind::Ssh && !p.user.empty()) out = p.user + "@";
  out += p.host;
  if (p.port != 0) out += ":" + std::to_string(p.port);
  return out;
}

std::optional<StatusCard> status_card(const app::AppState& app,
                                      const profiles::ConnectionProfile& profile) {
  StatusCard card;
  const SessionState* s = shown_session(app);
  const auto status = s ? app::session_status(app) : std::nullopt;
  if (!status) {
    card.pill = "Not connected";
    card.details = {"This transport is unavailable in this build.",
                    "Your saved connection is unchanged."};
  } else {
    switch (status->kind) {
      case SessionStatus::Kind::Connected:
        return std::nullopt;
      case SessionStatus::Kind::Connecting:
        card.tone = StatusCard::Tone::InProgress;
        if (profile.kind == ConnectionKind::Kova) {
          card.pill = "Waiting for consent…";
          card.details = {
              "Opening an authenticated route to the exact target, then waiting for it to share a "
              "workspace "
              "surface…"};
        } else {
          card.pill = "Connecting…";
          card.details = {"Negotiating the transport and authenticating…"};
        }
        break;
      case SessionStatus::Kind::Ended:
        card.pill = "Session ended";
        card.details = {"The remote closed the session."};
        break;
      case SessionStatus::Kind::Unavailable:
        card.pill = "Connection not available";
        card.details = {status->text, unavailable_kind_text(profile.kind)};
        card.offer_edit = true;
        break;
      case SessionStatus::Kind::Failed:
        card.pill = "Connection failed";
        card.tone = StatusCard::Tone::Error;
        card.details = {status->text, "This is the real error — nothing is simulated."};
        break;
    }
  }
  bool key_button = false;
  if (profile.kind == ConnectionKind::Ssh) {
    if (const auto verdict = app::host_key_verdict(app, profile.id)) {
      if (std::holds_alternative<ssh::HostKeyUntrusted>(*verdict)) {
        card.buttons.emplace_back("Trust key", app::msg::RequestTrustSshHostKey{profile.id});
        key_button = true;
      } else if (std::holds_alternative<ssh::HostKeyChanged>(*verdict)) {
        card.buttons.emplace_back("Forget key", app::msg::RequestForgetSshHostKey{profile.id});
        key_button = true;
      }
    }
  }
  if (card.tone == StatusCard::Tone::Error && !key_button)
    card.buttons.emplace_back("Retry", app::msg::RequestConnect{profile.id});
  if (card.offer_edit)
    card.buttons.emplace_back("Edit profile", app::msg::EditConnection{profile.id});
  card.buttons.emplace_back("Back to list", app::msg::Disconnect{});
  return card;
}

}  // namespace remote::ui
