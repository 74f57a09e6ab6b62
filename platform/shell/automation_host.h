// The shell's side of the automation endpoint: answers the endpoint's
// requests from the running application, its document store and its action
// registry. Lives on the UI thread with the loop that serves the endpoint.
#pragma once

#include <string>

#include "action_host/registry.h"
#include "automation/host.h"
#include "document/store.h"
#include "shell/application.h"
#include "shell/options.h"

namespace kova::shell {

class ShellAutomationHost final : public automation::AutomationHost {
 public:
  // `picture_size` is the logical size snapshots are drawn at (the window's
  // size at launch).
  ShellAutomationHost(Application& app, doc::Store& store, const actions::registry::Registry& registry,
                      std::string app_id, WindowSize picture_size);

  std::vector<actions::resource::Resource> resources() override;
  actions::operation::Outcome execute(const actions::operation::Invocation& invocation) override;
  actions::operation::Outcome start(const actions::operation::Invocation& invocation) override;
  actions::operation::Outcome poll(std::string_view invocation_id, bool cancel) override;
  std::expected<void, std::string> change(std::string_view type_name, std::string_view json) override;
  std::optional<std::string> query(std::string_view name) override;
  std::optional<ui::AccessNode> tree() override;
  bool act(std::string_view node_id, ui::AccessAction action, const std::optional<std::string>& value) override;
  std::expected<void, std::string> snapshot(const std::filesystem::path& path) override;

 private:
  // Operations name their type; an invocation without one is taken to be of
  // the application's first operation type.
  actions::operation::Invocation typed(const actions::operation::Invocation& invocation) const;

  Application& app_;
  doc::Store& store_;
  const actions::registry::Registry& registry_;
  std::string app_id_;
  WindowSize picture_size_;
};

}  // namespace kova::shell
