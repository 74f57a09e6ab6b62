// The automation endpoint's command-line client, "kova-remote ctl":
//
//   ctl resources
//   ctl invoke RESOURCE ACTION [--text TEXT]
//   ctl execute CLASS JSON
//   ctl start CLASS JSON
//   ctl poll INVOCATION [--cancel]
//   ctl change JSON
//   ctl connections
//   ctl tree
//   ctl act NODE ACTION [VALUE]
//   ctl snapshot PATH
//
// Each prints the program's answer as JSON on standard output. Exit status:
// 0 success, 1 the program answered with a failure (its message on standard
// error), 2 usage error, 3 no running program could be reached.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace kova::automation {

inline constexpr int ctl_ok = 0;
inline constexpr int ctl_failed = 1;
inline constexpr int ctl_usage = 2;
inline constexpr int ctl_unreachable = 3;

// The application this build's command line talks to.
inline constexpr std::string_view ctl_app_id = "so.kova.remote";

struct CtlResult {
  int status = ctl_usage;
  std::string out;  // for standard output
  std::string err;  // for standard error
};

// Runs one subcommand (the arguments after "ctl") against the endpoint of
// `app_id`, collecting what it would print.
CtlResult run_ctl(std::string_view app_id, std::span<const std::string_view> args);

// run_ctl for ctl_app_id, printed to standard output and standard error;
// returns the exit status.
int ctl_main(std::span<const std::string_view> args);

// The usage text of the subcommands.
std::string ctl_usage_text();

}  // namespace kova::automation
