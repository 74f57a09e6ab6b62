#include "core/fs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "kova-core-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Sets or unsets an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

mode_t mode_of(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0);
  return info.st_mode & 07777;
}

TEST(StateHome, FollowsXdgThenHome) {
  struct Case {
    const char* name;
    const char* xdg;
    const char* home;
    std::optional<fs::path> expected;
  };
  const Case cases[] = {
      {"absolute xdg wins", "/srv/state", "/home/ann", fs::path("/srv/state")},
      {"relative xdg ignored", "rel/state", "/home/ann", fs::path("/home/ann/.local/state")},
      {"empty xdg ignored", "", "/home/ann", fs::path("/home/ann/.local/state")},
      {"no xdg", nullptr, "/home/ann", fs::path("/home/ann/.local/state")},
      {"nothing", nullptr, nullptr, std::nullopt},
      {"empty home", nullptr, "", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv xdg("XDG_STATE_HOME", c.xdg);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(kova::state_home(), c.expected);
  }
}

TEST(WriteWithMode, WritesExactBytesAndModeDespiteUmask) {
  TempDir dir;
  fs::path file = dir.path() / "known-hosts.json";
  mode_t old_umask = ::umask(0077);
  auto first = kova::write_with_mode(file, "first", 0644);
  ::umask(0777 & ~0700);
  auto second = kova::write_with_mode(file, std::string_view("a\0b", 3), 0600);
  ::umask(old_umask);
  ASSERT_TRUE(first.has_value());
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(read_file(file), std::string("a\0b", 3));
  EXPECT_EQ(mode_of(file), 0600u);
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(WriteWithMode, ReplacesASymlinkInsteadOfFollowingIt) {
  TempDir dir;
  fs::path victim = dir.path() / "victim";
  { std::ofstream(victim) << "untouched"; }
  fs::path link = dir.path() / "store.json";
  fs::create_symlink(victim, link);
  ASSERT_TRUE(kova::write_with_mode(link, "new", 0600).has_value());
  EXPECT_EQ(read_file(victim), "untouched");
  EXPECT_FALSE(fs::is_symlink(link));
  EXPECT_EQ(read_file(link), "new");
}

TEST(WriteWithMode, MissingDirectoryIsAnError) {
  TempDir dir;
  auto result = kova::write_with_mode(dir.path() / "absent" / "file", "x", 0600);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), std::errc::no_such_file_or_directory);
}

TEST(CreateDirectoriesWithMode, CreatesPrivateParentsAndKeepsExistingOnes) {
  TempDir dir;
  ::chmod(dir.path().c_str(), 0755);
  fs::path leaf = dir.path() / "kova" / "remote";
  mode_t old_umask = ::umask(0);
  auto created = kova::create_directories_with_mode(leaf, 0700);
  ::umask(old_umask);
  ASSERT_TRUE(created.has_value());
  EXPECT_EQ(mode_of(dir.path() / "kova"), 0700u);
  EXPECT_EQ(mode_of(leaf), 0700u);
  EXPECT_EQ(mode_of(dir.path()), 0755u);
  EXPECT_TRUE(kova::create_directories_with_mode(leaf, 0700).has_value());
}

TEST(CreateDirectoriesWithMode, FileInTheWayIsAnError) {
  TempDir dir;
  { std::ofstream(dir.path() / "plain") << "x"; }
  auto result = kova::create_directories_with_mode(dir.path() / "plain" / "sub", 0700);
  EXPECT_FALSE(result.has_value());
}

}  // namespace
