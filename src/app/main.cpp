#include <string_view>
#include <vector>

#include "app/commands.h"
#include "shell/launch.h"

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  if (const auto status = remote::app::run_command(args)) return *status;
  kova::shell::launch::run_or_exit(remote::app::launch_description(), argc, argv);
}
