// Input of the live session: keys to the SSH shell (terminal encoding), keys
// and pointer to the VNC desktop (keysyms, button mask), keys and pointer to
// a device (Linux input codes). Input routing calls these at their places in
// its order; each returns whether it consumed the event. UI thread only;
// every hand-over to a worker is a try-put that drops input when full.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "app/state.h"
#include "rfb/input.h"
#include "terminal/key.h"
#include "ui/session_view.h"
#include "ui_toolkit/events.h"

namespace remote::ui {

// Device keys, before anything else: while a connected device session is
// live and no confirmation is open, presses and releases of an identified
// physical key go to the device (or are dropped when the device has no code
// for them). Escape in full screen and unidentified keys are not taken.
bool device_key(app::AppState& app, const kova::ui::KeyEvent& key);

// A key press on the session screen for a connected SSH or VNC session
// (after the shortcuts and the full-screen Escape). True when consumed: the
// session's encoding covers the key or the key has text.
bool session_key(app::AppState& app, const kova::ui::KeyEvent& key);

// The pointer moved to `at` (already known to differ from the last
// position): a connected VNC or device view under it hears of it.
void session_pointer_moved(app::AppState& app, SessionView& view, kova::ui::Point at);

// A button over a connected VNC or device picture goes to the session; true
// when it did (the event then goes no further).
bool session_button(app::AppState& app, SessionView& view,
                    const kova::ui::PointerButtonEvent& button);

// --- Translations, exposed for tests ---

// The toolkit's key as the terminal encoder sees it.
terminal::KeyEvent terminal_key(const kova::ui::KeyEvent& key);
// The keysym a key press sends to a VNC server, if any.
std::optional<std::uint32_t> vnc_keysym(const kova::ui::KeyEvent& key);
// The W3C UI Events code of a USB HID keyboard usage ("KeyA", "Digit1",
// "ArrowUp", "ShiftLeft", ...); empty for usages without one here.
std::string_view physical_code(std::uint32_t usb_usage);
// The VNC button mask after `button` is pressed or released.
std::uint8_t vnc_button_mask(std::uint8_t mask, kova::ui::PointerButton button, bool pressed);

}  // namespace remote::ui
