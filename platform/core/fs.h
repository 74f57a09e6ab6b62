// Per-user state directory and whole-file replacement.
//
// Both are used from the UI thread and from command-line tools; neither keeps
// any state between calls.
#pragma once

#include <sys/types.h>

#include <expected>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

namespace kova {

// The user's private state directory: $XDG_STATE_HOME when it holds an
// absolute path, else $HOME/.local/state, else nothing. The directory is not
// created here.
std::optional<std::filesystem::path> state_home();

// Replaces the file at `path` with exactly `bytes`, with permission bits
// `mode` (not subject to the umask). A concurrent reader sees the old file or
// the new one, never a partial one: the bytes go to a temporary file in the
// same directory, created with `mode`, which is synced and renamed over the
// target; the directory is synced afterwards. A symbolic link at `path` is
// replaced, never followed. The directory must exist.
std::expected<void, std::error_code> write_with_mode(const std::filesystem::path& path,
                                                     std::string_view bytes, mode_t mode);

// Creates `dir` and any missing parents; directories this call creates get
// `mode`. Existing directories are left as they are.
std::expected<void, std::error_code> create_directories_with_mode(
    const std::filesystem::path& dir, mode_t mode);

}  // namespace kova
