// Opens an application's replicated document store.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "document/store.h"

namespace kova::shell::persist {

// state_home()/kova/documents/<app id>.sqlite, or nothing when there is no
// state directory.
std::optional<std::filesystem::path> document_path(std::string_view app_id);

struct Opened {
  doc::Store store;
  // Set when the file could not be used: what is wrong, for the user. The
  // store is then in memory and the file is left untouched.
  std::optional<std::string> notice;
};

// Opens the application's document file. A damaged or unreadable file (or
// no state directory at all) gives an in-memory store and a notice; the file
// is never overwritten.
Opened open(std::string_view app_id);

// The same for an explicit path (used by tests and the command line).
Opened open_path(const std::optional<std::filesystem::path>& path);

}  // namespace kova::shell::persist
