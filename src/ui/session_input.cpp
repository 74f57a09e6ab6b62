#include "ui/session_input.h"

#include <array>
#include <string>

#include "app/session.h"
#include "device/input.h"
#include "core/utf8.h"

namespace remote::ui {

namespace {

using app::SessionState;
using kova::ui::Key;
using kova::ui::KeyEvent;
using kova::ui::PointerButton;

bool on_session_screen(const app::AppState& app) {
  return app.screen.kind == app::Screen::Kind::Session && app.session &&
         app.session_connection == app.screen.connection;
}

bool live(const app::AppState& app, SessionState::Kind kind) {
  if (!on_session_screen(app) || app.pending_confirmation || app.session->kind != kind)
    return false;
  const auto status = app::session_status(app);
  return status && status->kind == SessionStatus::Kind::Connected;
}

void send_vnc(app::AppState& app, const rfb::VncInputEvent& event) {
  // A full queue drops the event; the user interface never waits.
  (void)app.session->vnc->send(event);
}

std::uint32_t device_button_code(PointerButton button) {
  switch (button) {
    case PointerButton::Primary:
      return device::button_left;
    case PointerButton::Secondary:
      return device::button_right;
    case PointerButton::Middle:
      return device::button_middle;
  }
  return device::button_left;
}

using CodeTable = std::array<std::string, 0xE8>;

CodeTable make_code_table() {
  CodeTable t{};
  for (std::uint32_t i = 0; i < 26; ++i)
    t[0x04 + i] = std::string("Key") + static_cast<char>('A' + i);
  for (std::uint32_t i = 0; i < 9; ++i)
    t[0x1E + i] = std::string("Digit") + static_cast<char>('1' + i);
  t[0x27] = "Digit0";
  const std::array<std::pair<std::uint32_t, const char*>, 30> named{{
      {0x28, "Enter"},        {0x29, "Escape"},     {0x2A, "Backspace"}, {0x2B, "Tab"},
      {0x2C, "Space"},        {0x2D, "Minus"},      {0x2E, "Equal"},     {0x2F, "BracketLeft"},
      {0x30, "BracketRight"}, {0x31, "Backslash"},  {0x33, "Semicolon"}, {0x34, "Quote"},
      {0x35, "Backquote"},    {0x36, "Comma"},      {0x37, "Period"},    {0x38, "Slash"},
      {0x4C, "Delete"},       {0x4F, "ArrowRight"}, {0x50, "ArrowLeft"}, {0x51, "ArrowDown"},
      {0x52, "ArrowUp"},      {0x4A, "Home"},       {0x4D, "End"},       {0xE0, "ControlLeft"},
      {0xE1, "ShiftLeft"},    {0xE2, "AltLeft"},    {0xE3, "MetaLeft"},  {0xE4, "ControlRight"},
      {0xE5, "ShiftRight"},   {0xE6, "AltRight"},
  }};
  for (const auto& [usage, name] : named)
    t[usage] = name;
  t[0xE7] = "MetaRight";
  return t;
}

}  // namespace

std::string_view physical_code(std::uint32_t usb_usage) {
  static const CodeTable table = make_code_table();
  if (usb_usage >= table.size()) return {};
  return table[usb_usage];
}

terminal::KeyEvent terminal_key(const KeyEvent& key) {
  using terminal::KeyKind;
  using terminal::NamedKey;
  terminal::KeyEvent out;
  out.pressed = key.pressed;
  out.modifiers = static_cast<terminal::Modifier>(key.modifiers.bits & 0x0F);
  if (!key.text.empty()) out.text = key.text;
  auto named = [&](NamedKey n) {
    out.kind = KeyKind::Named;
    out.named = n;
  };
  switch (key.key) {
    case Key::Character:
      out.kind = KeyKind::Character;
      kova::utf8::append(out.character, key.character);
      break;
    case Key::Enter:
      named(NamedKey::Enter);
      break;
    case Key::Tab:
      named(NamedKey::Tab);
      break;
    case Key::Space:
      named(NamedKey::Space);
      break;
    case Key::Backspace:
      named(NamedKey::Backspace);
      break;
    case Key::Delete:
      named(NamedKey::Delete);
      break;
    case Key::Escape:
      named(NamedKey::Escape);
      break;
    case Key::Left:
      named(NamedKey::ArrowLeft);
      break;
    case Key::Right:
      named(NamedKey::ArrowRight);
      break;
    case Key::Up:
      named(NamedKey::ArrowUp);
      break;
    case Key::Down:
      named(NamedKey::ArrowDown);
      break;
    case Key::Home:
      named(NamedKey::Home);
      break;
    case Key::End:
      named(NamedKey::End);
      break;
    case Key::PageUp:
      named(NamedKey::PageUp);
      break;
    case Key::PageDown:
      named(NamedKey::PageDown);
      break;
    case Key::Insert:
      named(NamedKey::Insert);
      break;
    case Key::Other:
      out.kind = KeyKind::Other;
      break;
    default:
      named(NamedKey::Function);
      break;  // F1 to F12
  }
  return out;
}

std::optional<std::uint32_t> vnc_keysym(const KeyEvent& key) {
  using rfb::NamedKey;
  std::optional<NamedKey> named;
  switch (key.key) {
    case Key::Character:
      break;
    case Key::Enter:
      named = NamedKey::Enter;
      break;
    case Key::Tab:
      named = NamedKey::Tab;
      break;
    case Key::Space:
      named = NamedKey::Space;
      break;
    case Key::Backspace:
      named = NamedKey::Backspace;
      break;
    case Key::Delete:
      named = NamedKey::Delete;
      break;
    case Key::Escape:
      named = NamedKey::Escape;
      break;
    case Key::Left:
      named = NamedKey::ArrowLeft;
      break;
    case Key::Up:
      named = NamedKey::ArrowUp;
      break;
    case Key::Right:
      named = NamedKey::ArrowRight;
      break;
    case Key::Down:
      named = NamedKey::ArrowDown;
      break;
    default:
      named = NamedKey::Other;
      break;
  }
  return rfb::keysym_for(named, key.text);
}

std::uint8_t vnc_button_mask(std::uint8_t mask, PointerButton button, bool pressed) {
  std::uint8_t bit = 1;
  if (button == PointerButton::Middle) bit = 2;
  if (button == PointerButton::Secondary) bit = 4;
  return pressed ? static_cast<std::uint8_t>(mask | bit) : static_cast<std::uint8_t>(mask & ~bit);
}

bool device_key(app::AppState& app, const KeyEvent& key) {
  // Only on the session screen: a device session left running behind the
  // list must not swallow what is typed into the list's search field.
  if (!live(app, SessionState::Kind::Device) || key.physical == 0) return false;
  if (key.key == Key::Escape && app.fullscreen) return false;
  if (const auto code = device::key_code(physical_code(key.physical)))
    app::send_device_input(app, device::KeyEvent{key.pressed, *code});
  return true;
}

bool session_key(app::AppState& app, const KeyEvent& key) {
  if (!key.pressed) return false;
  if (live(app, SessionState::Kind::Ssh)) {
    const std::string bytes = terminal::terminal_key_bytes(terminal_key(key));
    if (bytes.empty()) return false;
    // Busy or closed: the key is lost, as a stalled terminal would lose it.
    (void)app.session->ssh->send_text(bytes);
    app.needs_redraw = true;
    return true;
  }
  if (live(app, SessionState::Kind::Vnc)) {
    const auto keysym = vnc_keysym(key);
    if (!keysym) return false;
    for (const auto& event : rfb::key_press_events(*keysym))
      send_vnc(app, event);
    app.needs_redraw = true;
    return true;
  }
  return false;
}

void session_pointer_moved(app::AppState& app, SessionView& view, kova::ui::Point at) {
  if (live(app, SessionState::Kind::Vnc)) {
    if (const auto fb = map_vnc_pointer(app, view, at))
      send_vnc(app, rfb::VncPointerEvent{view.vnc_buttons, fb->first, fb->second});
  } else if (live(app, SessionState::Kind::Device)) {
    if (const auto move = map_device_pointer(app, view, at)) app::send_device_input(app, *move);
  }
}

bool session_button(app::AppState& app, SessionView& view,
                    const kova::ui::PointerButtonEvent& button) {
  if (live(app, SessionState::Kind::Vnc)) {
    const auto fb = map_vnc_pointer(app, view, button.position);
    if (!fb) return false;
    view.vnc_buttons = vnc_button_mask(view.vnc_buttons, button.button, button.pressed);
    send_vnc(app, rfb::VncPointerEvent{view.vnc_buttons, fb->first, fb->second});
    return true;
  }
  if (live(app, SessionState::Kind::Device)) {
    if (!map_device_pointer(app, view, button.position)) return false;
    if (button.pressed && button.button == PointerButton::Primary)
      app::send_device_input(app, device::PressMarker{});
    app::send_device_input(app,
                           device::ButtonEvent{button.pressed, device_button_code(button.button)});
    return true;
  }
  return false;
}

}  // namespace remote::ui
