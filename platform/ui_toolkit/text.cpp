#include "ui_toolkit/text.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>
#include <strings.h>

#include "ui_toolkit/limits.h"
#include "ui_toolkit/sanitizer.h"
#include "core/utf8.h"

namespace kova::ui {

namespace {

struct GObjectUnref {
  void operator()(void* p) const { g_object_unref(p); }
};
using LayoutPtr = std::unique_ptr<PangoLayout, GObjectUnref>;

bool is_break(char32_t cp) {
  return cp == '\t' || cp == '\n' || cp == '\r' || cp == 0x0B || cp == 0x0C || cp == 0x85 ||
         cp == 0x2028 || cp == 0x2029;
}
bool is_control(char32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || utf8::is_direction_control(cp);
}

// Shared by lines and paragraphs: `keep_newlines` keeps '\n' for wrapping.
std::string sanitize(std::string_view text, bool keep_newlines, std::size_t max_code_points,
                     std::size_t max_bytes) {
  std::string out;
  out.reserve(std::min(text.size(), max_bytes) + 4);
  std::size_t i = 0;
  std::size_t count = 0;
  while (i < text.size()) {
    if (count == max_code_points || out.size() >= max_bytes) {
      out += "\u2026";
      break;
    }
    char32_t cp = utf8::next(text, i);
    if (keep_newlines && cp == '\n') {
      out.push_back('\n');
    } else if (is_break(cp)) {
      out.push_back(' ');
    } else {
      utf8::append(out, is_control(cp) ? utf8::replacement : cp);
    }
    ++count;
  }
  return out;
}

int pango_weight(int weight) {
  switch (std::clamp(weight, 0, 3)) {
    case 0: return PANGO_WEIGHT_NORMAL;
    case 1: return PANGO_WEIGHT_MEDIUM;
    case 2: return PANGO_WEIGHT_SEMIBOLD;
    default: return PANGO_WEIGHT_BOLD;
  }
}

int to_pango(double v) { return static_cast<int>(std::lround(v * PANGO_SCALE)); }
double from_pango(int v) { return static_cast<double>(v) / PANGO_SCALE; }

}  // namespace

std::string sanitize_line(std::string_view text) {
  return sanitize(text, false, max_single_line_code_points, std::string::npos);
}

struct TextRenderer::Impl {
  PangoFontMap* font_map = nullptr;
  PangoContext* context = nullptr;
  double scale = 0;
  mutable std::map<std::tuple<int, int, long>, PangoFontDescription*> fonts;

  ~Impl() {
    for (auto& [key, desc] : fonts) pango_font_description_free(desc);
    if (context) g_object_unref(context);
    if (font_map) g_object_unref(font_map);
  }

  const PangoFontDescription* font(TextStyle style) const {
    long size_key = std::lround(std::max(style.size, 0.0) * 64);
    auto key = std::make_tuple(static_cast<int>(style.face), std::clamp(style.weight, 0, 3), size_key);
    auto it = fonts.find(key);
    if (it != fonts.end()) return it->second;
    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(
        desc, style.face == FontFace::Terminal ? terminal_font_family : interface_font_family);
    pango_font_description_set_weight(desc, static_cast<PangoWeight>(pango_weight(style.weight)));
    pango_font_description_set_absolute_size(desc, std::max(1.0, style.size) * PANGO_SCALE);
    fonts.emplace(key, desc);
    return desc;
  }

  LayoutPtr layout(std::string_view text, TextStyle style) const {
    LayoutPtr l{pango_layout_new(context)};
    pango_layout_set_font_description(l.get(), font(style));
    // Left-to-right base alignment for every script: right-to-left names are
    // still reordered inside the line but stay where the screen put them.
    pango_layout_set_auto_dir(l.get(), FALSE);
    pango_layout_set_text(l.get(), text.data(), static_cast<int>(text.size()));
    return l;
  }

  // Screens draw the same labels every frame, so shaped lines are kept
  // (read-only) until the cache fills or the scale changes.
  static constexpr std::size_t max_cached_lines = 512;
  mutable std::unordered_map<std::string, LayoutPtr> lines;

  PangoLayout* line_layout(std::string_view safe, TextStyle style, double max_width) const {
    std::string key(safe);
    int width = std::isfinite(max_width) ? to_pango(std::max(max_width, 0.0)) : -1;
    key.push_back('\0');
    key += std::to_string(static_cast<int>(style.face)) + ':' + std::to_string(style.weight) + ':' +
           std::to_string(to_pango(style.size)) + ':' + std::to_string(width);
    auto it = lines.find(key);
    if (it != lines.end()) return it->second.get();
    if (lines.size() >= max_cached_lines) lines.clear();
    LayoutPtr l = layout(safe, style);
    pango_layout_set_single_paragraph_mode(l.get(), TRUE);
    if (width >= 0) {
      pango_layout_set_width(l.get(), width);
      pango_layout_set_ellipsize(l.get(), PANGO_ELLIPSIZE_END);
    }
    return lines.emplace(std::move(key), std::move(l)).first->second.get();
  }
};

namespace {

Size logical_size(PangoLayout* l) {
  PangoRectangle ink;
  PangoRectangle logical;
  pango_layout_get_extents(l, &ink, &logical);
  return {from_pango(logical.width), from_pango(logical.height)};
}

std::string family_of(PangoFontMap* map, PangoContext* ctx, const char* family) {
  PangoFontDescription* desc = pango_font_description_from_string(family);
  PangoFont* font = pango_font_map_load_font(map, ctx, desc);
  pango_font_description_free(desc);
  if (!font) return {};
  PangoFontDescription* got = pango_font_describe(font);
  std::string name = pango_font_description_get_family(got) ? pango_font_description_get_family(got) : "";
  pango_font_description_free(got);
  g_object_unref(font);
  return name;
}

void record(Painter& p, std::string text, Rect rect, TextStyle style, Color color) {
  if (!p.log()) return;
  p.log()->texts.push_back({std::move(text), rect.intersect(p.clip()), style.size, style.weight, color});
}

void show(Painter& p, PangoLayout* l, Point origin, Color color) {
  // Layouts are made before drawing, so the caller syncs the scale first
  // (set_scale with the painter's scale); this only places the glyphs.
  cairo_t* cr = p.cairo();
  cairo_move_to(cr, origin.x, origin.y);
  cairo_set_source_rgba(cr, color.r, color.g, color.b, color.a);
  pango_cairo_show_layout(cr, l);
  cairo_new_path(cr);
}

}  // namespace

TextRenderer::TextRenderer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TextRenderer::TextRenderer(TextRenderer&&) noexcept = default;
TextRenderer& TextRenderer::operator=(TextRenderer&&) noexcept = default;
TextRenderer::~TextRenderer() = default;

Result<TextRenderer> TextRenderer::create() {
  auto impl = std::make_unique<Impl>();
  impl->font_map = pango_cairo_font_map_new();
  impl->context = pango_font_map_create_context(impl->font_map);
  pango_context_set_round_glyph_positions(impl->context, FALSE);
  cairo_font_options_t* opts = cairo_font_options_create();
  cairo_font_options_set_antialias(opts, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(opts, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(opts, CAIRO_HINT_METRICS_OFF);
  pango_cairo_context_set_font_options(impl->context, opts);
  cairo_font_options_destroy(opts);
  for (const char* family : {interface_font_family, terminal_font_family}) {
    std::string got = family_of(impl->font_map, impl->context, family);
    if (strcasecmp(got.c_str(), family) != 0) {
      return std::unexpected(Error{ErrorCode::FontMissing,
                                   std::string("font family \"") + family +
                                       "\" is not installed (found \"" + got +
                                       "\"); install fonts-noto-core and fonts-dejavu-core"});
    }
  }
  TextRenderer r(std::move(impl));
  r.set_scale(1);
  return r;
}

double TextRenderer::scale() const { return impl_->scale; }

void TextRenderer::set_scale(double scale) const {
  if (!(scale > 0) || !std::isfinite(scale)) scale = 1;
  if (scale == impl_->scale) return;
  impl_->scale = scale;
  PangoMatrix m = PANGO_MATRIX_INIT;
  pango_matrix_scale(&m, scale, scale);
  pango_context_set_matrix(impl_->context, &m);
  impl_->lines.clear();
}

Size TextRenderer::measure(std::string_view text, TextStyle style) const {
  return logical_size(impl_->line_layout(sanitize_line(text), style, std::numeric_limits<double>::infinity()));
}

double TextRenderer::line_height(TextStyle style) const { return measure("Hg", style).height; }

Size TextRenderer::draw(Painter& p, std::string_view text, Point origin, TextStyle style,
                        Color color, double max_width) const {
  if (!(max_width > 0)) return {};
  set_scale(p.scale());
  std::size_t cap = max_single_line_code_points;
  if (std::isfinite(max_width)) {
    double fit = max_width / std::max(style.size, 1.0) * max_code_points_per_em;
    cap = std::min(cap, static_cast<std::size_t>(std::min(fit, 1e6)) + extra_code_points_per_line);
  }
  std::string safe = sanitize(text, false, cap, std::string::npos);
  PangoLayout* l = impl_->line_layout(safe, style, max_width);
  Size size = logical_size(l);
  double width = std::isfinite(max_width) ? std::min(size.width, max_width) : size.width;
  Rect box{origin.x, origin.y, origin.x + width, origin.y + size.height};
  if (!box.intersects(p.clip())) return size;
  bool limited = std::isfinite(max_width);
  if (limited) p.push_clip({origin.x, origin.y - size.height, origin.x + max_width, origin.y + 2 * size.height});
  show(p, l, origin, color);
  if (limited) p.pop_clip();
  record(p, std::move(safe), box, style, color);
  return {width, size.height};
}

Size TextRenderer::draw_in(Painter& p, std::string_view text, Rect box, TextStyle style,
                           Color color, Align align) const {
  if (box.width() <= 0) return {};
  set_scale(p.scale());
  Size natural = measure(text, style);
  double w = std::min(natural.width, box.width());
  double x = align == Align::Start    ? box.left
             : align == Align::Center ? box.left + (box.width() - w) / 2
                                      : box.right - w;
  double y = box.top + (box.height() - natural.height) / 2;
  return draw(p, text, {x, y}, style, color, box.right - x);
}

double TextRenderer::measure_wrapped(std::string_view text, double width, TextStyle style) const {
  std::string safe = sanitize(text, true, std::string::npos, max_paragraph_bytes);
  auto l = impl_->layout(safe, style);
  pango_layout_set_width(l.get(), to_pango(std::max(width, 1.0)));
  pango_layout_set_wrap(l.get(), PANGO_WRAP_WORD_CHAR);
  return logical_size(l.get()).height;
}

double TextRenderer::draw_wrapped(Painter& p, std::string_view text, Point origin, double width,
                                  TextStyle style, Color color, Align align) const {
  if (!(width > 0)) return 0;
  set_scale(p.scale());
  std::string safe = sanitize(text, true, std::string::npos, max_paragraph_bytes);
  auto l = impl_->layout(safe, style);
  pango_layout_set_width(l.get(), to_pango(width));
  pango_layout_set_wrap(l.get(), PANGO_WRAP_WORD_CHAR);
  pango_layout_set_alignment(l.get(), align == Align::Start    ? PANGO_ALIGN_LEFT
                                      : align == Align::Center ? PANGO_ALIGN_CENTER
                                                               : PANGO_ALIGN_RIGHT);
  double height = logical_size(l.get()).height;
  Rect box{origin.x, origin.y, origin.x + width, origin.y + height};
  // A single unbreakable glyph wider than the box must not spill sideways.
  p.push_clip({origin.x, origin.y - height, origin.x + width, origin.y + 2 * height});
  show(p, l.get(), origin, color);
  p.pop_clip();
  record(p, std::move(safe), box, style, color);
  return height;
}

std::size_t TextRenderer::index_at(std::string_view text, TextStyle style, double x) const {
  PangoLayout* l = impl_->line_layout(text, style, std::numeric_limits<double>::infinity());
  int index = 0;
  int trailing = 0;
  int y = to_pango(logical_size(l).height / 2);
  pango_layout_xy_to_index(l, to_pango(x), y, &index, &trailing);
  const char* base = text.data();
  const char* pos = base + index;
  for (int k = 0; k < trailing && pos < base + text.size(); ++k) pos = g_utf8_next_char(pos);
  return static_cast<std::size_t>(std::min<std::ptrdiff_t>(pos - base, static_cast<std::ptrdiff_t>(text.size())));
}

double TextRenderer::caret_x(std::string_view text, TextStyle style, std::size_t index) const {
  PangoLayout* l = impl_->line_layout(text, style, std::numeric_limits<double>::infinity());
  PangoRectangle strong;
  pango_layout_get_cursor_pos(l, static_cast<int>(std::min(index, text.size())), &strong, nullptr);
  return from_pango(strong.x);
}

std::vector<std::pair<double, double>> TextRenderer::x_ranges(std::string_view text,
                                                              TextStyle style, std::size_t start,
                                                              std::size_t end) const {
  std::vector<std::pair<double, double>> out;
  if (start >= end || text.empty()) return out;
  PangoLayout* l = impl_->line_layout(text, style, std::numeric_limits<double>::infinity());
  PangoLayoutLine* line = pango_layout_get_line_readonly(l, 0);
  int* ranges = nullptr;
  int n = 0;
  pango_layout_line_get_x_ranges(line, static_cast<int>(std::min(start, text.size())),
                                 static_cast<int>(std::min(end, text.size())), &ranges, &n);
  for (int i = 0; i < n; ++i) out.emplace_back(from_pango(ranges[2 * i]), from_pango(ranges[2 * i + 1]));
  g_free(ranges);
  return out;
}

void TextRenderer::draw_raw(Painter& p, std::string_view text, Point origin, TextStyle style,
                            Color color, std::size_t underline_start,
                            std::size_t underline_end) const {
  set_scale(p.scale());
  LayoutPtr l = impl_->layout(text, style);
  pango_layout_set_single_paragraph_mode(l.get(), TRUE);
  if (underline_start < underline_end) {
    PangoAttrList* attrs = pango_attr_list_new();
    PangoAttribute* u = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
    u->start_index = static_cast<guint>(underline_start);
    u->end_index = static_cast<guint>(underline_end);
    pango_attr_list_insert(attrs, u);
    pango_layout_set_attributes(l.get(), attrs);
    pango_attr_list_unref(attrs);
  }
  Size size = logical_size(l.get());
  show(p, l.get(), origin, color);
  record(p, std::string(text), {origin.x, origin.y, origin.x + size.width, origin.y + size.height},
         style, color);
}

}  // namespace kova::ui

// fontconfig keeps process-lifetime caches that it never frees; they are not
// leaks of ours. Any sanitizer build that lays out text gets this
// suppression through the text renderer.
#if KOVA_UI_ASAN
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
#endif
