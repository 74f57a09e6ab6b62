#include "shell/automation_host.h"

#include "action_host/context.h"
#include "core/fs.h"
#include "shell/event_loop.h"
#include "ui_toolkit/canvas.h"

namespace kova::shell {

using actions::operation::Invocation;
using actions::operation::Outcome;

ShellAutomationHost::ShellAutomationHost(Application& app, doc::Store& store,
                                         const actions::registry::Registry& registry, std::string app_id,
                                         WindowSize picture_size)
    : app_(app), store_(store), registry_(registry), app_id_(std::move(app_id)), picture_size_(picture_size) {}

std::vector<actions::resource::Resource> ShellAutomationHost::resources() { return app_.resources(store_.doc()); }

Invocation ShellAutomationHost::typed(const Invocation& invocation) const {
  Invocation out = invocation;
  if (out.type_name.empty()) {
    const auto names = app_.operation_namespaces();
    if (!names.empty()) out.type_name = names.front();
  }
  return out;
}

// Operations may leave document edits behind; they are committed at once so
// a client that reads right after sees them.
Outcome ShellAutomationHost::execute(const Invocation& invocation) {
  Outcome out = app_.execute_operation(typed(invocation));
  commit_pending(store_, "");
  return out;
}

Outcome ShellAutomationHost::start(const Invocation& invocation) {
  Outcome out = app_.start_operation(typed(invocation));
  commit_pending(store_, "");
  return out;
}

Outcome ShellAutomationHost::poll(std::string_view invocation_id, bool cancel) {
  Outcome out = app_.poll_operation(invocation_id, cancel);
  commit_pending(store_, "");
  return out;
}

std::expected<void, std::string> ShellAutomationHost::change(std::string_view type_name, std::string_view json) {
  std::string type(type_name);
  if (type.empty()) {
    const auto names = registry_.type_names();
    if (names.size() != 1) return std::unexpected(std::string("name the change type: the program registers ") +
                                                  std::to_string(names.size()));
    type = names.front();
  }
  auto decoded = registry_.decode(type, json);
  if (!decoded) return std::unexpected(decoded.error().message);
  auto* host = app_.action_host();
  if (!host) return std::unexpected(std::string("the application dispatches no changes"));
  const auto variant = (*decoded)->variant_name();
  const std::string label = variant ? actions::context::humanize_identifier(*variant) : "Update";
  const auto record = host->dispatch(store_.doc(), **decoded, {app_id_, app_.display_name(), label});
  if (record.error) return std::unexpected(record.error->message);
  // The application follows the document through document_changed, as for
  // a change another process made.
  app_.document_changed(store_.doc());
  commit_pending(store_, "");
  return {};
}

std::optional<std::string> ShellAutomationHost::query(std::string_view name) {
  return app_.automation_query(name, store_.doc());
}

std::optional<ui::AccessNode> ShellAutomationHost::tree() {
  ui::AccessNode root;
  if (!app_.accessibility_tree(root)) return std::nullopt;
  return root;
}

bool ShellAutomationHost::act(std::string_view node_id, ui::AccessAction action,
                              const std::optional<std::string>& value) {
  actions::params::ActionArgs args;
  if (value) args.set_text("value", *value);
  const bool handled = app_.semantic_action(node_id, ui::action_name(action), args);
  commit_pending(store_, "");
  return handled;
}

std::expected<void, std::string> ShellAutomationHost::snapshot(const std::filesystem::path& path) {
  const ui::Size size{static_cast<double>(picture_size_.width), static_cast<double>(picture_size_.height)};
  auto canvas = ui::Canvas::create(size, 1.0);
  if (!canvas) return std::unexpected("offscreen canvas: " + canvas.error().message);
  {
    ui::Painter painter(*canvas);
    app_.paint(painter);
  }
  auto png = canvas->encode_png();
  if (!png) return std::unexpected("PNG encoding: " + png.error().message);
  if (auto written = kova::write_with_mode(path, *png, 0600); !written)
    return std::unexpected("cannot write " + path.string() + ": " + written.error().message());
  return {};
}

}  // namespace kova::shell
