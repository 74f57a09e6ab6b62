// The kova-remote executable, run as a real process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "support/spawn.h"

namespace {

namespace fs = std::filesystem;

fs::path program() {
  return KOVA_REMOTE_PROGRAM;
}

struct TempDir {
  fs::path path;
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "kova-app-XXXXXX").string();
    path = ::mkdtemp(tmpl.data());
  }
  ~TempDir() { fs::remove_all(path); }
};

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A started kova-remote with its standard output and error on pipes.
struct Process {
  pid_t pid = -1;
  int out = -1;
  int err = -1;
  std::string out_text;
  std::string err_text;

  Process(const std::vector<std::string>& args, const fs::path& state_home) {
    EXPECT_TRUE(fs::exists(program())) << "kova-remote not built at " << program();
    int out_pipe[2], err_pipe[2];
    EXPECT_EQ(::pipe2(out_pipe, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(err_pipe, O_CLOEXEC), 0);
    std::vector<std::string> argv{program().string()};
    argv.insert(argv.end(), args.begin(), args.end());
    pid = kova::testing::spawn(std::move(argv),
                               {"XDG_STATE_HOME=" + state_home.string(), "HOME=/nonexistent",
                                "PATH=/usr/bin:/bin", "ASAN_OPTIONS=detect_leaks=0"},
                               out_pipe[1], err_pipe[1]);
    EXPECT_GT(pid, 0) << "cannot start " << program();
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    out = out_pipe[0];
    err = err_pipe[0];
  }
  ~Process() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    ::close(out);
    ::close(err);
  }

  // Reads until standard error holds `line` as a whole line; false when the
  // process ends (or 30 s pass, a hang) first.
  bool wait_for_err_line(const std::string& line) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (err_text.find(line + "\n") == std::string::npos) {
      if (std::chrono::steady_clock::now() > give_up) return false;
      if (!pump(200)) return err_text.find(line + "\n") != std::string::npos;
    }
    return true;
  }

  // Moves available output into the texts; false once both pipes closed.
  bool pump(int timeout_ms) {
    pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
    if (::poll(fds, 2, timeout_ms) < 0) return false;
    bool open = false;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0) continue;
      if (fds[i].revents == 0) {
        open = true;
        continue;
      }
      char buf[4096];
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        (i == 0 ? out_text : err_text).append(buf, static_cast<std::size_t>(n));
        open = true;
      }
    }
    return open;
  }

  int finish() {
    while (pump(1000)) {
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
};

struct Result {
  int status;
  std::string out;
  std::string err;
};

Result run(const std::vector<std::string>& args, const fs::path& state_home) {
  Process p(args, state_home);
  const int status = p.finish();
  return {status, p.out_text, p.err_text};
}

struct Cli : ::testing::Test {
  TempDir state;
  fs::path doc_file() const { return state.path / "kova" / "documents" / "so.kova.remote.sqlite"; }
};

TEST_F(Cli, UsageAndExitStatus) {
  const struct {
    std::vector<std::string> args;
    int status;
    bool usage_on_stdout;
    bool usage_on_stderr;
  } cases[] = {
      {{"--help"}, 0, true, false},
      {{"--bogus"}, 2, false, true},
      {{"stray"}, 2, false, true},
      {{"doc"}, 2, false, true},
      {{"doc", "frobnicate"}, 2, false, true},
      {{"doc", "apply"}, 2, false, true},
      {{"--size", "0x0", "--headless"}, 2, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front() + (c.args.size() > 1 ? " " + c.args[1] : ""));
    const auto r = run(c.args, state.path);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.out.starts_with("usage: kova-remote"), c.usage_on_stdout);
    EXPECT_EQ(r.err.find("usage: kova-remote") != std::string::npos, c.usage_on_stderr);
  }
  EXPECT_FALSE(fs::exists(doc_file()));
}

TEST_F(Cli, DocPathShowSeedAndApply) {
  auto r = run({"doc", "path"}, state.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, doc_file().string() + "\n");

  r = run({"doc", "seed-sample"}, state.path);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "wrote 8 sample machines\n");
  EXPECT_EQ(fs::status(doc_file()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  r = run({"doc", "seed-sample"}, state.path);
  EXPECT_EQ(r.out, "the document already holds connections; nothing written\n");

  const std::string id = "3f0c9a3e-8f1d-4c55-9a77-0d9c1b2a4e61";
  r = run(
      {"doc", "apply",
       R"({"UpsertConnection":{"id":")" + id +
           R"(","name":"Lab Box","host":"lab.example","port":2222,"user":"me","kind":"Ssh","auth":"PublicKey","group":"lab"}})"},
      state.path);
  EXPECT_EQ(r.status, 0) << r.err;
  r = run({"doc", "show"}, state.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\"" + id + "\""), std::string::npos);
  EXPECT_NE(r.out.find("\"Lab Box\""), std::string::npos);
  EXPECT_NE(r.out.find("\"Build Box\""), std::string::npos);
  EXPECT_LT(r.out.find("\"auth\""), r.out.find("\"favorite\""));  // keys sorted
}

TEST_F(Cli, UndecodableChangeLeavesTheFileUntouched) {
  ASSERT_EQ(run({"doc", "seed-sample"}, state.path).status, 0);
  const std::string before = read_file(doc_file());
  const struct {
    std::string json;
    std::string error;
  } cases[] = {
      {R"({"SetFavorite":{"id":"not-a-uuid","favorite":true}})",
       "invalid value for `id`: expected a formatted UUID string\n"},
      {R"({"Rename":{}})", ""},
      {"{", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    const auto r = run({"doc", "apply", c.json}, state.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.err.empty());
    if (!c.error.empty()) {
      EXPECT_EQ(r.err, c.error);
    }
    EXPECT_EQ(read_file(doc_file()), before);
  }
  TempDir empty;
  EXPECT_EQ(run({"doc", "apply", "{"}, empty.path).status, 1);
  EXPECT_FALSE(fs::exists(empty.path / "kova"));
}

TEST_F(Cli, MergeBringsInTheOtherReplicasCommits) {
  TempDir other;
  ASSERT_EQ(run({"doc", "seed-sample"}, other.path).status, 0);
  const fs::path other_file = other.path / "kova" / "documents" / "so.kova.remote.sqlite";
  const std::string other_before = read_file(other_file);
  auto r = run({"doc", "merge", other_file.string()}, state.path);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1 commits came in\n");
  EXPECT_NE(run({"doc", "show"}, state.path).out.find("\"Backup Vault\""), std::string::npos);
  r = run({"doc", "merge", other_file.string()}, state.path);
  EXPECT_EQ(r.out, "0 commits came in\n");
  EXPECT_EQ(read_file(other_file), other_before);
  EXPECT_EQ(run({"doc", "merge", (state.path / "missing.sqlite").string()}, state.path).status, 1);
}

TEST_F(Cli, RunningProgramFollowsAChangeAndEndsOnSigterm) {
  ASSERT_EQ(run({"doc", "seed-sample"}, state.path).status, 0);
  Process running({"--headless", "--trace"}, state.path);
  ASSERT_TRUE(running.wait_for_err_line("ready")) << running.err_text;
  const auto r =
      run({"doc", "apply", R"({"DeleteConnection":{"id":"3f0c9a3e-8f1d-4c55-9a77-0d9c1b2a4e61"}})"},
          state.path);
  ASSERT_EQ(r.status, 0) << r.err;
  // Deleting an id that is not there changes nothing; a real change follows.
  const auto show = run({"doc", "show"}, state.path).out;
  std::smatch found;
  const std::regex uuid("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  ASSERT_TRUE(std::regex_search(show, found, uuid)) << show;
  const std::string id = found.str();
  ASSERT_EQ(run({"doc", "apply", R"({"RenameConnection":{"id":")" + id + R"(","name":"Renamed"}})"},
                state.path)
                .status,
            0);
  EXPECT_TRUE(running.wait_for_err_line("document changed")) << running.err_text;
  ::kill(running.pid, SIGTERM);
  EXPECT_EQ(running.finish(), 0);
  EXPECT_NE(running.err_text.find("quit\n"), std::string::npos);
  EXPECT_EQ(running.err_text.find("action dispatch failed"), std::string::npos);
}

TEST_F(Cli, DamagedDocumentIsReportedAndKept) {
  fs::create_directories(doc_file().parent_path());
  const std::string garbage(4096, 'x');
  std::ofstream(doc_file()) << garbage;
  const auto png = (state.path / "shot.png").string();
  const auto r = run({"--headless", "--snapshot", png}, state.path);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(doc_file().string()), std::string::npos) << r.err;
  EXPECT_EQ(read_file(doc_file()), garbage);
  EXPECT_TRUE(fs::exists(png));
  EXPECT_EQ(run({"doc", "show"}, state.path).status, 1);
  EXPECT_EQ(read_file(doc_file()), garbage);
}

}  // namespace
