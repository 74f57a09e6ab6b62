// What the automation endpoint needs from the program it serves. The shell
// implements it over the running application, its document store and its
// action registry; tests implement it with a fake. Every call is made on the
// UI thread from Server::serve_ready and must not block.
#pragma once

#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "action_host/operation.h"
#include "action_host/resource.h"
#include "ui_toolkit/access.h"

namespace kova::automation {

class AutomationHost {
 public:
  virtual ~AutomationHost() = default;

  // The application's resources, rebuilt for this request.
  virtual std::vector<actions::resource::Resource> resources() = 0;

  // The operation entry points, passed through to the application.
  virtual actions::operation::Outcome execute(const actions::operation::Invocation& invocation) = 0;
  virtual actions::operation::Outcome start(const actions::operation::Invocation& invocation) = 0;
  virtual actions::operation::Outcome poll(std::string_view invocation_id, bool cancel) = 0;

  // Decodes `json` as a change of `type_name` (empty: the program's one
  // change type) and dispatches it to the document through the typed-action
  // dispatch, committed. The error is the decoder's or dispatcher's text.
  virtual std::expected<void, std::string> change(std::string_view type_name,
                                                  std::string_view json) = 0;

  // A named read-only query the application answers with JSON text (for
  // example "connections"); nothing when it does not know the name.
  virtual std::optional<std::string> query(std::string_view name) = 0;

  // The accessibility tree; nothing when the application offers none.
  virtual std::optional<ui::AccessNode> tree() = 0;
  // A semantic action on the node with text id `node_id`; whether handled.
  virtual bool act(std::string_view node_id, ui::AccessAction action,
                   const std::optional<std::string>& value) = 0;

  // Draws the current picture offscreen and writes it as a PNG to `path`
  // (absolute), mode 0600. The error says what failed.
  virtual std::expected<void, std::string> snapshot(const std::filesystem::path& path) = 0;
};

}  // namespace kova::automation
