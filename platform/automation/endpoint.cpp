#include "automation/endpoint.h"

#include <cstdlib>

#include "core/fs.h"

namespace kova::automation {

std::expected<std::filesystem::path, std::string> endpoint_path(std::string_view app_id) {
  const std::string file = std::string(app_id) + ".sock";
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/')
    return std::filesystem::path(runtime) / "kova" / file;
  if (auto state = kova::state_home()) return *state / "kova" / "run" / file;
  return std::unexpected(std::string(
      "no directory for the automation socket: XDG_RUNTIME_DIR is not an absolute path and "
      "neither XDG_STATE_HOME nor HOME is set"));
}

}  // namespace kova::automation
