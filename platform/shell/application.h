// The application interface: the one polymorphic boundary between the shell
// (window, event loop, document, action system) and an application. The
// shell calls every operation on its one UI thread; none may block.
//
// Operations are listed in the interface's order. Those with a body keep the
// shell's default behaviour unless an application overrides them.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "action_host/bound_dispatch.h"
#include "action_host/operation.h"
#include "action_host/params.h"
#include "action_host/resource.h"
#include "document/document.h"
#include "shell/device_stream.h"
#include "ui_toolkit/events.h"
#include "ui_toolkit/geometry.h"

namespace kova::ui {
class Clipboard;
class Painter;
struct AccessNode;
}  // namespace kova::ui

namespace kova::shell {

// The second interface of an application object that opens device streams:
// the shell drains the queued requests, serves them and delivers the
// service's events back, all on the UI thread.
class DeviceStreamPort {
 public:
  virtual ~DeviceStreamPort() = default;
  virtual std::vector<PlatformRequest> take_platform_requests() = 0;
  virtual void deliver_device_event(const DeviceStreamEvent& event) = 0;
};

// What the application tells the shell's navigation split at each layout.
struct NavigationSplit {
  double breakpoint = 720;     // logical width below which the layout is narrow
  double flap_position = 1.0;  // 0 hidden .. 1 shown
};

class Application {
 public:
  virtual ~Application() = default;

  // 1. A stable name of the implementing type, for logs.
  virtual std::string_view type_name() const = 0;
  // 2. The device-stream port, when the application opens device streams.
  virtual DeviceStreamPort* device_stream_port() { return nullptr; }
  // 3. The document changed (at start and whenever another process or a
  //    merge changed it). The application may write to it; the shell
  //    commits whatever is pending after the call.
  virtual void document_changed(doc::Document& /*document*/) {}
  // 4. Layout: the box the window gives the application (logical pixels).
  virtual NavigationSplit layout(const ui::Rect& /*box*/) { return {}; }
  // 5. Paint one frame; handle one input event (true when consumed).
  virtual void paint(ui::Painter& /*painter*/) {}
  virtual bool handle_event(const ui::Event& /*event*/) { return false; }
  // 6. Type names of the operations this application executes.
  virtual std::vector<std::string> operation_namespaces() const { return {}; }
  // 7. Name shown to users and automation clients.
  virtual std::string display_name() const { return std::string(type_name()); }
  // 8. The area the application draws its screens into, once laid out.
  virtual std::optional<ui::Rect> content_rect() const { return std::nullopt; }
  // 9. Accessibility: fill `root` with the application's tree (false: none),
  //    and perform a semantic action on node `node_id` (false: not handled).
  virtual bool accessibility_tree(ui::AccessNode& /*root*/) { return false; }
  virtual bool semantic_action(std::string_view /*node_id*/, std::string_view /*action*/,
                               const actions::params::ActionArgs& /*args*/) {
    return false;
  }
  // 10. Reduced motion; whether the first document is still awaited (the
  //     shell shows no content until it arrives); resources for automation.
  virtual void set_reduced_motion(bool /*on*/) {}
  virtual bool awaiting_document() const { return false; }
  virtual std::vector<actions::resource::Resource> resources(const doc::Document& /*document*/) {
    return {};
  }
  //     A named read-only query for automation clients (for example
  //     "connections"), answered as JSON text; nothing for unknown names.
  virtual std::optional<std::string> automation_query(std::string_view /*name*/,
                                                      const doc::Document& /*document*/) {
    return std::nullopt;
  }
  // 11. Operations (see action_host/operation.h).
  virtual actions::operation::Outcome execute_operation(const actions::operation::Invocation&) {
    return actions::operation::Outcome::not_handled();
  }
  virtual actions::operation::Outcome start_operation(const actions::operation::Invocation&) {
    return actions::operation::Outcome::not_handled();
  }
  virtual actions::operation::Outcome poll_operation(std::string_view /*invocation_id*/,
                                                     bool /*cancel*/) {
    return actions::operation::Outcome::no_news();
  }
  // 12. Frames: whether another frame is wanted soon (animation, live
  //     session), whether the state changed since the last drawing, and the
  //     notice that a frame was drawn.
  virtual bool wants_frame() const { return false; }
  virtual bool needs_redraw() const { return false; }
  virtual void did_draw() {}

  // Shell services handed to the application before the first call above.
  // The host through which the application dispatches typed actions; the
  // shell makes it commit into the document store. Null: the application
  // dispatches nothing.
  virtual actions::bound_dispatch::ActionHost* action_host() { return nullptr; }
  // A thread-safe callable that wakes the event loop; workers call it after
  // each hand-over.
  virtual void set_waker(std::function<void()> /*wake*/) {}
  // The system clipboard of the window, which outlives every call into the
  // application; never called without a window.
  virtual void set_clipboard(ui::Clipboard& /*clipboard*/) {}
  // A problem the shell met that the user should see (for example a damaged
  // document file).
  virtual void platform_notice(std::string_view /*text*/) {}
};

}  // namespace kova::shell
