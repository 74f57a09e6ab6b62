// Subcommands of kova-remote that work without a window (and while another
// copy of the program runs: the running one follows document changes through
// the store's watch descriptor).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "shell/launch.h"

namespace remote::app {

// One row per subcommand. `words` are matched against the first arguments
// ("doc show"); `run` gets the arguments after them and returns the exit
// status.
struct Command {
  std::string_view words;
  std::string_view usage;  // arguments after the words, e.g. "JSON"
  std::string_view summary;
  int (*run)(std::span<const std::string_view> args);
};

std::span<const Command> commands();

// Runs the subcommand the arguments name. Nothing when the first argument is
// not a subcommand word (the program then runs normally); 2 with the usage
// on standard error when it starts a subcommand that does not exist.
std::optional<int> run_command(std::span<const std::string_view> args);

// The program's usage text, subcommands included.
std::string usage_text();

// The launch description of the program.
kova::shell::launch::LaunchDescription launch_description();

}  // namespace remote::app
