// RemoteApp: the application object the shell runs. It holds the whole
// application state (state.h) and answers the shell's application interface
// on the UI thread; all behaviour is in the free functions it calls.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/state.h"
#include "shell/application.h"
#include "shell/options.h"
#include "ui/view.h"
#include "ui_toolkit/frontend.h"
#include "ui_toolkit/text.h"

namespace remote::app {

class RemoteApp final : public kova::shell::Application, public kova::shell::DeviceStreamPort {
 public:
  // A normal application with empty lists and no review state.
  RemoteApp();
  // The construction steps: selection on the first visible profile, the
  // default form, the list screen.
  RemoteApp(std::vector<ConnectionProfile> profiles,
            std::vector<profiles::DiscoveredDevice> discovered_devices);

  AppState& state() { return state_; }
  const AppState& state() const { return state_; }
  // Presentation state of the screens (hit regions, scrolling, tooltip).
  remote::ui::ViewState& view() { return view_; }
  // Applies one message with `document` as the target of its changes.
  void apply(const AppMessage& message, kova::doc::Document& document);

  // kova::shell::Application, in the interface's order.
  std::string_view type_name() const override { return "remote::app::RemoteApp"; }
  kova::shell::DeviceStreamPort* device_stream_port() override { return this; }
  void document_changed(kova::doc::Document& document) override;
  // A review state to open once the first document has been read: the
  // connections it opens are those of the document, which may already hold
  // the samples of an earlier run under their own ids.
  void review_after_document(std::string name) { pending_review_state_ = std::move(name); }
  kova::shell::NavigationSplit layout(const kova::ui::Rect& box) override;
  void paint(kova::ui::Painter& painter) override;
  bool handle_event(const kova::ui::Event& event) override;
  std::vector<std::string> operation_namespaces() const override { return {"remote.operation"}; }
  std::string display_name() const override { return "RemoteApp"; }
  std::optional<kova::ui::Rect> content_rect() const override { return state_.content_rect; }
  bool accessibility_tree(kova::ui::AccessNode& root) override;
  bool semantic_action(std::string_view node_id, std::string_view action,
                       const kova::actions::params::ActionArgs& args) override;
  void set_reduced_motion(bool on) override { state_.reduced_motion = on; }
  bool awaiting_document() const override { return !state_.document_synchronised; }
  std::vector<kova::actions::resource::Resource> resources(
      const kova::doc::Document& document) override;
  // "connections": the saved connections as load_connections reads them.
  std::optional<std::string> automation_query(std::string_view name,
                                              const kova::doc::Document& document) override;
  kova::actions::operation::Outcome execute_operation(
      const kova::actions::operation::Invocation& invocation) override;
  kova::actions::operation::Outcome start_operation(
      const kova::actions::operation::Invocation& invocation) override;
  kova::actions::operation::Outcome poll_operation(std::string_view invocation_id,
                                                   bool cancel) override;
  bool wants_frame() const override;
  bool needs_redraw() const override { return state_.needs_redraw; }
  void did_draw() override { state_.needs_redraw = false; }
  kova::actions::bound_dispatch::ActionHost* action_host() override { return &state_.action_host; }
  void set_clipboard(kova::ui::Clipboard& clipboard) override { system_clipboard_ = &clipboard; }
  void platform_notice(std::string_view text) override { state_.notice = std::string(text); }

  // kova::shell::DeviceStreamPort
  std::vector<kova::shell::PlatformRequest> take_platform_requests() override;
  void deliver_device_event(const kova::shell::DeviceStreamEvent& event) override;

 private:
  AppState state_;
  remote::ui::ViewState view_;
  // Created at the first paint; none when the interface font is missing.
  std::optional<kova::ui::TextRenderer> text_;
  bool text_failed_ = false;
  std::optional<std::string> pending_review_state_;
  // The window's clipboard once the shell hands it over; before that (and
  // headless) copy and paste work between the application's own fields.
  kova::ui::Clipboard* system_clipboard_ = nullptr;
  kova::ui::MemoryClipboard clipboard_;
  // The shell's document, from the last document_changed; input routing
  // applies messages to it. Until then changes go to a scratch document.
  kova::doc::Document* document_ = nullptr;
  kova::doc::Document scratch_;
};

// The review-state names --review-state accepts, in order.
const std::vector<std::string>& review_state_names();

// Sample mode: KOVA_REMOTE_SAMPLE is exactly "1".
bool sample_mode_requested();

// The launch description's factory: a normal or sample application with the
// review state of `options` applied once the document has been read. Never
// fails.
std::unique_ptr<RemoteApp> make_remote_app(const kova::shell::LaunchOptions& options);

// Applies a review state by name to the connections the application shows
// now (sample mode only does more than the layout request; see
// make_remote_app).
void apply_review_state(RemoteApp& app, std::string_view name);
void apply_layout_request(AppState& app, std::string_view name);

}  // namespace remote::app
