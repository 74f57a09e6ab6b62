// Launching an application: the description an entry point fills and the
// call that runs it.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "action_host/registry.h"
#include "shell/application.h"
#include "shell/event_loop.h"
#include "shell/options.h"
#include "shell/persist.h"

namespace kova::shell {

// The framework's side of a running application: the pieces an installer
// may touch while the application is being set up.
class App {
 public:
  // The action registry; the launch description's installer registers the
  // application's change types here.
  actions::registry::Registry& action_registry_mut() { return registry_; }
  const actions::registry::Registry& action_registry() const { return registry_; }

 private:
  actions::registry::Registry registry_;
};

namespace launch {

using PersistOpener = std::function<persist::Opened(std::string_view app_id)>;
// Builds a window frontend; nothing when no window can be opened here.
using FrontendFactory = std::function<std::unique_ptr<Frontend>(const LaunchOptions&, WindowSize)>;
using DeviceServiceFactory =
    std::function<std::unique_ptr<callstream::DeviceStreamService>(std::function<void()> wake)>;

struct LaunchDescription {
  std::string app_id;
  // Names accepted by --review-state, in the application's order.
  std::vector<std::string> review_states;
  // A plain application with no launch options.
  std::function<std::unique_ptr<Application>()> construct;
  // The application for these options; never fails.
  std::function<std::unique_ptr<Application>(const LaunchOptions&)> factory;
  // Registers the application's change types.
  std::function<void(App&)> install_registry;
  WindowSize default_size{1280, 800};
  // Framework settings passed through unchanged.
  std::function<int()> secondary_callback;
  std::array<bool, 4> option_flags{};
  PersistOpener persistence = persist::open;
  // Usage text printed for --help (to standard output) and for a bad
  // command line (to standard error).
  std::string usage;
  // The window frontend; when unset the shell opens its own window. When no
  // window can be opened the application runs headless.
  FrontendFactory window_frontend;
  // The service behind the application's device-stream port, given the
  // loop's thread-safe wake-up; unset: device streams are not served.
  DeviceServiceFactory device_service;
};

// Runs the described application with the arguments after the program name
// and returns the exit status: 0 after a clean end (SIGINT, SIGTERM, a
// closed window, a written snapshot), 2 for a bad command line, 1 when the
// loop could not start or a snapshot could not be written.
int run(const LaunchDescription& desc, std::span<const std::string_view> args);

// run() with main's arguments, then exits the process with its status.
[[noreturn]] void run_or_exit(const LaunchDescription& desc, int argc, char** argv);

}  // namespace launch
}  // namespace kova::shell
