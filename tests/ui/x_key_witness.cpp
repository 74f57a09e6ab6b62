#include "x_key_witness.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <thread>

namespace remote::ui::testing {

struct KeyWitness::State {
  Display* display = nullptr;
  Window window = 0;
};

namespace {

// The next event of `type` within `limit`; false when none came.
bool wait_for(Display* display, int type, std::chrono::milliseconds limit, XEvent& event) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    while (XPending(display) > 0) {
      XNextEvent(display, &event);
      if (event.type == type) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace

KeyWitness::KeyWitness(const std::string& display) : state_(std::make_unique<State>()) {
  state_->display = XOpenDisplay(display.c_str());
  if (state_->display == nullptr) {
    problem_ = "cannot open X display " + display;
    return;
  }
  Display* d = state_->display;
  const int screen = XDefaultScreen(d);
  state_->window = XCreateSimpleWindow(d, XRootWindow(d, screen), 0, 0,
                                       static_cast<unsigned>(XDisplayWidth(d, screen)),
                                       static_cast<unsigned>(XDisplayHeight(d, screen)), 0, 0, 0);
  XSelectInput(d, state_->window, KeyPressMask | StructureNotifyMask);
  XMapWindow(d, state_->window);
  XEvent event;
  if (!wait_for(d, MapNotify, std::chrono::seconds(10), event)) {
    problem_ = "the key window was never mapped";
    return;
  }
  XSetInputFocus(d, state_->window, RevertToParent, CurrentTime);
  XSync(d, False);
}

KeyWitness::~KeyWitness() {
  if (state_->display != nullptr) XCloseDisplay(state_->display);
}

std::optional<std::uint32_t> KeyWitness::next_key_press(std::chrono::milliseconds limit) {
  if (state_->display == nullptr) return std::nullopt;
  XEvent event;
  if (!wait_for(state_->display, KeyPress, limit, event)) return std::nullopt;
  return static_cast<std::uint32_t>(XLookupKeysym(&event.xkey, 0));
}

}  // namespace remote::ui::testing
