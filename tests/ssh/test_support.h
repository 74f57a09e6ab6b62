// Helpers shared by the SSH tests: private temporary directories and running
// a command for its output.
#pragma once

#include <filesystem>
#include <string>

namespace remote::ssh::testing {

// A fresh directory of mode 0700 under the system temporary directory,
// removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct CommandResult {
  int status = -1;     // exit status, or -1 when it did not exit normally
  std::string output;  // standard output and standard error
};

// Runs `command` through /bin/sh with no standard input.
CommandResult run_command(const std::string& command);

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& bytes, unsigned mode);

// Quotes `text` for /bin/sh.
std::string shell_quote(const std::string& text);

}  // namespace remote::ssh::testing
