#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cmath>

#include "ui_toolkit/frontend.h"
#include "ui_toolkit/limits.h"
#include "ui_toolkit/sanitizer.h"

#if KOVA_UI_ASAN
#include <sanitizer/lsan_interface.h>
#endif

namespace kova::ui {

namespace {

// SDL, the X11 client libraries and the GL driver SDL loads keep allocations
// for the life of the process (and the driver is unloaded before the leak
// check runs, leaving its blocks without a module name to suppress). They are
// not ours, so the leak checker ignores what these calls allocate; our own
// code stays checked.
struct SystemAllocations {
#if KOVA_UI_ASAN
  SystemAllocations() { __lsan_disable(); }
  ~SystemAllocations() { __lsan_enable(); }
#else
  SystemAllocations() {}
  ~SystemAllocations() {}  // user-provided, so a scope guard is not "unused"
#endif
  SystemAllocations(const SystemAllocations&) = delete;
  SystemAllocations& operator=(const SystemAllocations&) = delete;
};

// Shared with every Waker handed out, so a wake after the window is gone is
// harmless: `alive` is cleared under the lock before SDL shuts down.
struct WakeChannel {
  std::mutex mutex;
  bool alive = true;
  Uint32 type = 0;
  std::atomic<bool> pending{false};
};

class SdlWaker final : public Waker {
 public:
  explicit SdlWaker(std::shared_ptr<WakeChannel> c) : channel_(std::move(c)) {}
  void wake() override {
    if (channel_->pending.exchange(true)) return;  // one queued wake-up is enough
    std::lock_guard lock(channel_->mutex);
    if (!channel_->alive) return;
    SDL_Event e{};
    e.type = channel_->type;
    SDL_PushEvent(&e);  // thread-safe by SDL's contract
  }

 private:
  std::shared_ptr<WakeChannel> channel_;
};

class SdlClipboard final : public Clipboard {
 public:
  std::string text() override {
    char* raw = SDL_GetClipboardText();
    if (!raw) return {};
    std::string out(raw, strnlen(raw, max_clipboard_bytes));
    SDL_free(raw);
    return out;
  }
  void set_text(std::string_view text) override { SDL_SetClipboardText(std::string(text).c_str()); }
};

Key named_key(SDL_Keycode k) {
  switch (k) {
    case SDLK_RETURN: case SDLK_KP_ENTER: return Key::Enter;
    case SDLK_TAB: return Key::Tab;
    case SDLK_SPACE: return Key::Space;
    case SDLK_BACKSPACE: return Key::Backspace;
    case SDLK_DELETE: return Key::Delete;
    case SDLK_ESCAPE: return Key::Escape;
    case SDLK_LEFT: return Key::Left;
    case SDLK_RIGHT: return Key::Right;
    case SDLK_UP: return Key::Up;
    case SDLK_DOWN: return Key::Down;
    case SDLK_HOME: return Key::Home;
    case SDLK_END: return Key::End;
    case SDLK_PAGEUP: return Key::PageUp;
    case SDLK_PAGEDOWN: return Key::PageDown;
    case SDLK_INSERT: return Key::Insert;
    case SDLK_F1: return Key::F1;
    case SDLK_F2: return Key::F2;
    case SDLK_F3: return Key::F3;
    case SDLK_F4: return Key::F4;
    case SDLK_F5: return Key::F5;
    case SDLK_F6: return Key::F6;
    case SDLK_F7: return Key::F7;
    case SDLK_F8: return Key::F8;
    case SDLK_F9: return Key::F9;
    case SDLK_F10: return Key::F10;
    case SDLK_F11: return Key::F11;
    case SDLK_F12: return Key::F12;
    default: break;
  }
  // SDL keycodes of character keys are their (unshifted) code points.
  if (k >= 0x21 && k < 0x110000 && k != 0x7F && !(k & SDLK_SCANCODE_MASK)) return Key::Character;
  return Key::Other;
}

// A window coordinate from a logical one scaled; far-off values (a caret
// scrolled out of an 8000-wide window) are clamped instead of overflowing.
int window_coordinate(double v) {
  return static_cast<int>(std::clamp(v, -1.0 * max_surface_side_px, 1.0 * max_surface_side_px));
}

Modifiers modifiers(Uint16 mod) {
  Modifiers m;
  if (mod & KMOD_SHIFT) m.bits |= ModShift;
  if (mod & KMOD_CTRL) m.bits |= ModControl;
  if (mod & KMOD_ALT) m.bits |= ModAlt;
  if (mod & KMOD_GUI) m.bits |= ModSuper;
  return m;
}

class SdlFrontend final : public Frontend {
 public:
  SdlFrontend(SDL_Window* w, SDL_Renderer* r, double user_scale, Canvas canvas)
      : window_(w), renderer_(r), user_scale_(user_scale), canvas_(std::move(canvas)) {
    channel_ = std::make_shared<WakeChannel>();
    channel_->type = SDL_RegisterEvents(1);
    update_metrics();
  }

  ~SdlFrontend() override {
    SystemAllocations system;
    {
      std::lock_guard lock(channel_->mutex);
      channel_->alive = false;
    }
    if (texture_) SDL_DestroyTexture(texture_);
    SDL_DestroyRenderer(renderer_);
    SDL_DestroyWindow(window_);
    SDL_Quit();
  }

  Size logical_size() const override { return logical_; }
  double scale() const override { return scale_; }
  bool headless() const override { return false; }

  std::vector<Event> wait_events(std::optional<Clock::time_point> deadline) override {
    SystemAllocations system;
    std::vector<Event> out;
    SDL_Event e;
    int got = 0;
    if (SDL_PollEvent(&e)) {
      got = 1;
    } else if (!deadline) {
      got = SDL_WaitEvent(&e);
    } else {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
      if (left.count() > 0) got = SDL_WaitEventTimeout(&e, static_cast<int>(std::min<long long>(left.count(), 1 << 30)));
    }
    while (got) {
      translate(e, out);
      got = SDL_PollEvent(&e);
    }
    return out;
  }

  Canvas& canvas() override {
    if (canvas_.device_width() != device_side(logical_.width, scale_) ||
        canvas_.device_height() != device_side(logical_.height, scale_) ||
        canvas_.scale() != scale_) {
      if (auto c = Canvas::create(logical_, scale_)) canvas_ = std::move(*c);
    }
    return canvas_;
  }

  void present() override {
    SystemAllocations system;
    int w = canvas_.device_width();
    int h = canvas_.device_height();
    if (!texture_ || w != texture_w_ || h != texture_h_) {
      if (texture_) SDL_DestroyTexture(texture_);
      texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, w, h);
      texture_w_ = w;
      texture_h_ = h;
    }
    if (!texture_) return;
    cairo_surface_flush(canvas_.surface());
    SDL_UpdateTexture(texture_, nullptr, cairo_image_surface_get_data(canvas_.surface()),
                      cairo_image_surface_get_stride(canvas_.surface()));
    redraw();
  }

  Clipboard& clipboard() override { return clipboard_; }

  void set_fullscreen(bool on) override {
    SDL_SetWindowFullscreen(window_, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
  }

  void set_text_input_area(std::optional<Rect> caret) override {
    SystemAllocations system;
    if (!caret) {
      if (SDL_IsTextInputActive()) SDL_StopTextInput();
      return;
    }
    const double k = scale_ / ratio_;  // logical -> window units
    const Rect w{std::floor(caret->left * k), std::floor(caret->top * k), std::ceil(caret->right * k),
                 std::ceil(caret->bottom * k)};
    SDL_Rect r{window_coordinate(w.left), window_coordinate(w.top),
               std::max(1, window_coordinate(w.width())), std::max(1, window_coordinate(w.height()))};
    SDL_SetTextInputRect(&r);
    if (!SDL_IsTextInputActive()) SDL_StartTextInput();
  }

  std::shared_ptr<Waker> waker() override { return std::make_shared<SdlWaker>(channel_); }

 private:
  void redraw() {
    SDL_RenderClear(renderer_);
    if (texture_) SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
    SDL_RenderPresent(renderer_);
  }

  void update_metrics() {
    int ww = 1, wh = 1, dw = 1, dh = 1;
    SDL_GetWindowSize(window_, &ww, &wh);
    SDL_GetRendererOutputSize(renderer_, &dw, &dh);
    ratio_ = ww > 0 ? static_cast<double>(dw) / ww : 1;
    if (!(ratio_ > 0)) ratio_ = 1;
    scale_ = user_scale_ > 0 ? user_scale_ : ratio_;
    logical_ = {std::max(1, dw) / scale_, std::max(1, dh) / scale_};
  }

  Point to_logical(double x, double y) const { return {x * ratio_ / scale_, y * ratio_ / scale_}; }

  void translate(const SDL_Event& e, std::vector<Event>& out) {
    if (e.type == channel_->type) {
      channel_->pending = false;
      out.emplace_back(WakeEvent{});
      return;
    }
    switch (e.type) {
      case SDL_QUIT: out.emplace_back(QuitEvent{}); break;
      case SDL_WINDOWEVENT: on_window(e.window, out); break;
      case SDL_KEYDOWN:
      case SDL_KEYUP: on_key(e.key, out); break;
      case SDL_TEXTINPUT: out.emplace_back(TextEvent{e.text.text}); break;
      case SDL_TEXTEDITING: {
        std::string text = e.edit.text;
        // SDL counts the caret in characters; we count bytes.
        std::size_t byte = 0;
        for (int chars = 0; byte < text.size() && chars < e.edit.start; ++chars) {
          do ++byte;
          while (byte < text.size() && (static_cast<unsigned char>(text[byte]) & 0xC0) == 0x80);
        }
        out.emplace_back(CompositionEvent{std::move(text), byte});
        break;
      }
      case SDL_MOUSEMOTION: out.emplace_back(PointerMoveEvent{to_logical(e.motion.x, e.motion.y)}); break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        PointerButton b = e.button.button == SDL_BUTTON_RIGHT    ? PointerButton::Secondary
                          : e.button.button == SDL_BUTTON_MIDDLE ? PointerButton::Middle
                                                                 : PointerButton::Primary;
        if (e.button.button > SDL_BUTTON_RIGHT) break;
        out.emplace_back(PointerButtonEvent{b, e.type == SDL_MOUSEBUTTONDOWN,
                                            to_logical(e.button.x, e.button.y), e.button.clicks});
        break;
      }
      case SDL_MOUSEWHEEL: {
        double flip = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1;
        out.emplace_back(WheelEvent{flip * e.wheel.preciseX, flip * e.wheel.preciseY, WheelUnit::Lines});
        break;
      }
      default: break;
    }
  }

  void on_window(const SDL_WindowEvent& w, std::vector<Event>& out) {
    switch (w.event) {
      case SDL_WINDOWEVENT_SIZE_CHANGED:
        update_metrics();
        out.emplace_back(ResizeEvent{logical_, scale_});
        break;
      case SDL_WINDOWEVENT_EXPOSED: redraw(); break;
      case SDL_WINDOWEVENT_FOCUS_GAINED: out.emplace_back(FocusEvent{true}); break;
      case SDL_WINDOWEVENT_FOCUS_LOST: out.emplace_back(FocusEvent{false}); break;
      case SDL_WINDOWEVENT_CLOSE: out.emplace_back(QuitEvent{}); break;
      default: break;
    }
  }

  void on_key(const SDL_KeyboardEvent& k, std::vector<Event>& out) {
    KeyEvent ev;
    ev.key = named_key(k.keysym.sym);
    if (ev.key == Key::Character) ev.character = static_cast<char32_t>(k.keysym.sym);
    if (ev.key == Key::Space) ev.character = U' ';
    ev.modifiers = modifiers(k.keysym.mod);
    ev.pressed = k.type == SDL_KEYDOWN;
    ev.physical = static_cast<std::uint32_t>(k.keysym.scancode);  // USB HID usage ids
    if (ev.pressed) {
      // The text a key press produces arrives as the next event; join it to
      // the key so the application sees both at once.
      SDL_Event next;
      SDL_PumpEvents();
      if (SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_TEXTINPUT, SDL_TEXTINPUT) == 1 &&
          SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1 &&
          next.type == SDL_TEXTINPUT) {
        SDL_PeepEvents(&next, 1, SDL_GETEVENT, SDL_TEXTINPUT, SDL_TEXTINPUT);
        ev.text = next.text.text;
      }
    }
    out.emplace_back(std::move(ev));
  }

  SDL_Window* window_;
  SDL_Renderer* renderer_;
  SDL_Texture* texture_ = nullptr;
  int texture_w_ = 0;
  int texture_h_ = 0;
  double user_scale_;
  double ratio_ = 1;
  double scale_ = 1;
  Size logical_;
  Canvas canvas_;
  SdlClipboard clipboard_;
  std::shared_ptr<WakeChannel> channel_;
};

Error sdl_error(std::string what) {
  return Error{ErrorCode::WindowUnavailable, std::move(what) + ": " + SDL_GetError()};
}

}  // namespace

Result<std::unique_ptr<Frontend>> open_window(const WindowOptions& options) {
  SystemAllocations system;
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  SDL_SetHint(SDL_HINT_IME_SHOW_UI, "1");
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) return std::unexpected(sdl_error("no display"));
  double scale = options.scale > 0 && std::isfinite(options.scale) ? options.scale : 0;
  double initial = scale > 0 ? scale : 1;
  int w = std::clamp(static_cast<int>(std::lround(options.logical.width * initial)), 1, max_surface_side_px);
  int h = std::clamp(static_cast<int>(std::lround(options.logical.height * initial)), 1, max_surface_side_px);
  Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
  if (options.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
  SDL_Window* window = SDL_CreateWindow(options.title.c_str(), SDL_WINDOWPOS_CENTERED,
                                        SDL_WINDOWPOS_CENTERED, w, h, flags);
  if (!window) {
    auto err = sdl_error("cannot create window");
    SDL_Quit();
    return std::unexpected(err);
  }
  SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
  if (!renderer) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
  if (!renderer) {
    auto err = sdl_error("cannot create renderer");
    SDL_DestroyWindow(window);
    SDL_Quit();
    return std::unexpected(err);
  }
  // A display that already doubles the window (high-density desktops) needs
  // a smaller window for the same device size.
  int dw = 0, dh = 0;
  SDL_GetRendererOutputSize(renderer, &dw, &dh);
  if (scale > 0 && dw > w) {
    double ratio = static_cast<double>(dw) / w;
    SDL_SetWindowSize(window, static_cast<int>(w / ratio), static_cast<int>(h / ratio));
  }
  auto canvas = Canvas::create(options.logical, initial);
  if (!canvas) {
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return std::unexpected(canvas.error());
  }
  return std::unique_ptr<Frontend>(new SdlFrontend(window, renderer, scale, std::move(*canvas)));
}

}  // namespace kova::ui
