#include "app/remote_app.h"

#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

#include "actions/codec.h"
#include "app/operations.h"
#include "app/reducer.h"
#include "app/resources.h"
#include "app/session.h"
#include "app/sync.h"
#include "document/document.h"
#include "profiles/connections_document.h"
#include "ui/access_tree.h"
#include "ui/input.h"
#include "ui/shell_view.h"
#include "ui_toolkit/canvas.h"
#include "ui_toolkit/theme.h"

namespace remote::app {

namespace {

using profiles::ConnectionKind;

// The width below which the layout is narrow, in logical pixels.
constexpr double narrow_breakpoint = 720;

const ConnectionProfile* first_of_kind(const AppState& app, ConnectionKind kind) {
  for (const auto& p : app.profiles)
    if (p.kind == kind) return &p;
  return nullptr;
}

void show_review_session(AppState& app, const ConnectionProfile* p, SessionStatus status) {
  if (!p) return;
  app.session = SessionState::review(std::move(status));
  app.session_connection = p->id;
  app.screen = Screen::session(p->id);
}

}  // namespace

RemoteApp::RemoteApp() : RemoteApp({}, {}) {}

RemoteApp::RemoteApp(std::vector<ConnectionProfile> profiles,
                     std::vector<profiles::DiscoveredDevice> discovered_devices) {
  state_.profiles = std::move(profiles);
  state_.discovered_devices = std::move(discovered_devices);
  state_.selection = first_visible(state_);
  refill_inputs(state_);
}

void RemoteApp::apply(const AppMessage& message, kova::doc::Document& document) {
  apply_message(state_, message, document);
}

void RemoteApp::document_changed(kova::doc::Document& document) {
  document_ = &document;
  sync_from_document(state_, document);
  if (pending_review_state_) {
    const std::string name = std::move(*pending_review_state_);
    pending_review_state_.reset();
    apply_review_state(*this, name);
  }
}

kova::shell::NavigationSplit RemoteApp::layout(const kova::ui::Rect& box) {
  state_.content_rect = box;
  state_.narrow_layout = box.width() < narrow_breakpoint;
  if (state_.layout_request != LayoutRequest::None) {
    state_.flap.set_now(state_.layout_request == LayoutRequest::NarrowOpen);
    state_.layout_request = LayoutRequest::None;
  }
  state_.flap.on_layout(state_.narrow_layout);
  return {narrow_breakpoint, state_.flap.position};
}

void RemoteApp::paint(kova::ui::Painter& painter) {
  const auto theme = kova::ui::Theme::dark();
  if (!text_ && !text_failed_) {
    auto created = kova::ui::TextRenderer::create();
    if (created)
      text_.emplace(std::move(*created));
    else
      text_failed_ = true;
  }
  if (!text_) {
    painter.clear(theme.window_background);
    return;
  }
  text_->set_scale(painter.scale());
  remote::ui::PaintContext ctx{painter, *text_, theme};
  remote::ui::paint_app(state_, view_, ctx, remote::ui::Clock::now());
}

bool RemoteApp::handle_event(const kova::ui::Event& event) {
  if (!text_) return false;  // nothing drawn yet, so nothing to click
  kova::ui::Clipboard& clipboard = system_clipboard_ ? *system_clipboard_ : clipboard_;
  remote::ui::InputContext ctx{document_ ? *document_ : scratch_, clipboard, *text_,
                               remote::ui::Clock::now()};
  remote::ui::handle_event(state_, view_, event, ctx);
  return true;
}

bool RemoteApp::accessibility_tree(kova::ui::AccessNode& root) {
  root = remote::ui::build_access_tree(state_, view_);
  return true;
}

bool RemoteApp::semantic_action(std::string_view node_id, std::string_view action,
                                const kova::actions::params::ActionArgs& args) {
  const auto parsed = kova::ui::parse_action_name(action);
  if (!parsed) return false;
  return remote::ui::perform_semantic_action(state_, view_, document_ ? *document_ : scratch_,
                                             node_id, *parsed, args.text("value"));
}

std::optional<std::string> RemoteApp::automation_query(std::string_view name,
                                                       const kova::doc::Document& document) {
  if (name != "connections") return std::nullopt;
  auto list = nlohmann::ordered_json::array();
  for (const auto& p : profiles::load_connections(document)) {
    const actions::RemoteAction upsert =
        actions::UpsertConnection{p.id, p.name, p.host, p.port, p.user, p.kind, p.auth, p.group};
    auto entry = actions::remote_action_value(upsert)["UpsertConnection"];
    entry["favorite"] = p.favorite;
    entry["presence"] = std::string(profiles::presence_document_text(p.presence));
    entry["last_used"] = p.last_used;
    list.push_back(std::move(entry));
  }
  return list.dump();
}

bool RemoteApp::wants_frame() const {
  if (remote::ui::shell_wants_frame(state_, view_)) return true;
  return session_wants_frame(state_);
}

std::vector<kova::actions::resource::Resource> RemoteApp::resources(
    const kova::doc::Document& document) {
  return app::resources(state_, document);
}

kova::actions::operation::Outcome RemoteApp::execute_operation(
    const kova::actions::operation::Invocation& invocation) {
  return app::execute_operation(state_, invocation);
}

kova::actions::operation::Outcome RemoteApp::start_operation(
    const kova::actions::operation::Invocation& invocation) {
  return app::start_operation(state_, invocation);
}

kova::actions::operation::Outcome RemoteApp::poll_operation(std::string_view invocation_id,
                                                            bool cancel) {
  return app::poll_operation(state_, invocation_id, cancel);
}

std::vector<kova::shell::PlatformRequest> RemoteApp::take_platform_requests() {
  return app::take_platform_requests(state_);
}

void RemoteApp::deliver_device_event(const kova::shell::DeviceStreamEvent& event) {
  app::deliver_device_event(state_, event);
}

const std::vector<std::string>& review_state_names() {
  static const std::vector<std::string> names{
      "narrow",           "narrow-open",     "form",
      "form-kova",        "session-ssh",     "session-vnc",
      "session-rdp",      "session-kova",    "session-connecting",
      "session-failed",   "confirm-connect", "confirm-delete",
      "confirm-ssh-trust"};
  return names;
}

bool sample_mode_requested() {
  const char* value = std::getenv("KOVA_REMOTE_SAMPLE");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

void apply_layout_request(AppState& app, std::string_view name) {
  if (name == "narrow") app.layout_request = LayoutRequest::NarrowClosed;
  if (name == "narrow-open") app.layout_request = LayoutRequest::NarrowOpen;
}

void apply_review_state(RemoteApp& app, std::string_view name) {
  AppState& s = app.state();
  // Review states only open screens and confirmations; nothing they do
  // reaches a document, so a scratch one takes the (absent) changes.
  kova::doc::Document scratch;
  if (name == "form") {
    app.apply(msg::NewConnectionForm{}, scratch);
  } else if (name == "form-kova") {
    app.apply(msg::NewConnectionForm{}, scratch);
    app.apply(msg::SetFormKind{ConnectionKind::Kova}, scratch);
  } else if (name == "session-ssh" || name == "session-vnc") {
    const auto* p =
        first_of_kind(s, name == "session-ssh" ? ConnectionKind::Ssh : ConnectionKind::Vnc);
    if (p) app.apply(msg::Connect{p->id}, scratch);
  } else if (name == "session-rdp") {
    show_review_session(s, first_of_kind(s, ConnectionKind::Rdp),
                        SessionStatus::unavailable(readiness_text(2, ConnectionKind::Rdp)));
  } else if (name == "session-kova") {
    show_review_session(s, first_of_kind(s, ConnectionKind::Kova), SessionStatus::connecting());
  } else if (name == "session-connecting") {
    show_review_session(s, first_of_kind(s, ConnectionKind::Ssh), SessionStatus::connecting());
  } else if (name == "session-failed") {
    show_review_session(s, first_of_kind(s, ConnectionKind::Vnc),
                        SessionStatus::failed("Connection refused"));
  } else if (name == "confirm-connect") {
    if (const auto* p = first_of_kind(s, ConnectionKind::Kova))
      app.apply(msg::RequestConnect{p->id}, scratch);
  } else if (name == "confirm-delete") {
    if (!s.profiles.empty()) app.apply(msg::RequestDelete{s.profiles.front().id}, scratch);
  } else if (name == "confirm-ssh-trust") {
    if (const auto* p = first_of_kind(s, ConnectionKind::Ssh)) {
      s.pending_confirmation = PendingConfirmation{PendingConfirmation::Kind::TrustSshHostKey,
                                                   p->id, profile_signature(*p), "ssh-ed25519",
                                                   "SHA256:DemoFingerprintForVisualReviewOnly"};
    }
  }
}

std::unique_ptr<RemoteApp> make_remote_app(const kova::shell::LaunchOptions& options) {
  const std::string name = options.review_state.value_or("");
  if (!sample_mode_requested()) {
    auto app = std::make_unique<RemoteApp>();
    apply_layout_request(app->state(), name);
    return app;
  }
  auto app = std::make_unique<RemoteApp>(profiles::sample_profiles(), profiles::sample_devices());
  apply_layout_request(app->state(), name);
  app->review_after_document(name);
  return app;
}

}  // namespace remote::app
