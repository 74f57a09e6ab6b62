// Starting a program under test as a child process.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace kova::testing {

// The argv or environ form of `texts`: their C strings, then a null. The
// pointers live as long as `texts` is neither changed nor destroyed.
inline std::vector<char*> c_strings(std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (auto& text : texts)
    out.push_back(text.data());
  out.push_back(nullptr);
  return out;
}

// Starts `argv` (argv[0] a path) with exactly `env`, standard input from
// /dev/null and standard output and error on `out_fd` and `err_fd`. The
// child blocks no signal, whatever this process blocks. -1 when it could
// not be started.
inline pid_t spawn(std::vector<std::string> argv, std::vector<std::string> env, int out_fd,
                   int err_fd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
  posix_spawn_file_actions_adddup2(&actions, err_fd, 2);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  auto args = c_strings(argv);
  auto vars = c_strings(env);
  const int rc = ::posix_spawn(&pid, args[0], &actions, &attr, args.data(), vars.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  return rc == 0 ? pid : -1;
}

}  // namespace kova::testing
