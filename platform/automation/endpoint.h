// Where an application's automation endpoint lives, shared by the server and
// the command-line client.
#pragma once

#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

namespace kova::automation {

// $XDG_RUNTIME_DIR/kova/<app_id>.sock when XDG_RUNTIME_DIR holds an absolute
// path, else state_home()/kova/run/<app_id>.sock. Nothing is created here.
// The error says that neither directory is known.
std::expected<std::filesystem::path, std::string> endpoint_path(std::string_view app_id);

}  // namespace kova::automation
