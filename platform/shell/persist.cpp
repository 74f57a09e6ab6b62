#include "shell/persist.h"

#include "core/fs.h"

namespace kova::shell::persist {

std::optional<std::filesystem::path> document_path(std::string_view app_id) {
  const auto home = kova::state_home();
  if (!home) return std::nullopt;
  return *home / "kova" / "documents" / (std::string(app_id) + ".sqlite");
}

Opened open_path(const std::optional<std::filesystem::path>& path) {
  if (!path) {
    return Opened{doc::Store::in_memory(),
                  "No state directory (set XDG_STATE_HOME or HOME); changes are not saved."};
  }
  auto store = doc::Store::open(*path);
  if (!store) {
    return Opened{doc::Store::in_memory(), "The document " + path->string() +
                                               " cannot be used (" + store.error().message +
                                               "); changes are not saved."};
  }
  return Opened{std::move(*store), std::nullopt};
}

Opened open(std::string_view app_id) { return open_path(document_path(app_id)); }

}  // namespace kova::shell::persist
