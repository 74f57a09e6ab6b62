// The real program, started --headless with private home, state and runtime
// directories, driven only through "kova-remote ctl" as a user's script
// drives it: against an OpenSSH server and an Xvnc on loopback, and with
// misbehaving clients on its socket.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "../rfb/real_server.h"
#include "../ssh/sshd_fixture.h"
#include "../ssh/test_support.h"
#include "support/eventually.h"
#include "support/spawn.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using remote::ssh::testing::TempDir;
using namespace std::chrono_literals;

using kova::testing::eventually;

using kova::testing::spawn;

struct Ran {
  int status = -1;  // exit status; -1 when it did not exit in time
  std::string out;
  std::string err;
  json value() const { return json::parse(out, nullptr, false); }
};

// Runs a command to its end, at most 60 s (then it is killed).
Ran run(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return {};
  const pid_t pid = spawn(argv, env, out[1], err[1]);
  ::close(out[1]);
  ::close(err[1]);
  Ran r;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  const auto give_up = std::chrono::steady_clock::now() + 60s;
  while ((fds[0].fd >= 0 || fds[1].fd >= 0) && pid > 0 &&
         std::chrono::steady_clock::now() < give_up) {
    if (::poll(fds, 2, 200) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buf[65536];
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        (i == 0 ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
      } else {
        fds[i].fd = -1;
      }
    }
  }
  ::close(out[0]);
  ::close(err[0]);
  if (pid <= 0) return r;
  int status = 0;
  if (fds[0].fd >= 0 || fds[1].fd >= 0) ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (r.status == -1) r.err += "\n(killed: did not finish within 60 s)";
  return r;
}

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// kova-remote --headless with its own HOME, XDG_STATE_HOME and
// XDG_RUNTIME_DIR, its output in a log file. Ended with SIGTERM.
class Program {
 public:
  explicit Program(std::vector<std::string> extra_env = {}) {
    for (const char* d : {"home", "state", "run"})
      fs::create_directory(dir_.path() / d);
    env_ = {"HOME=" + (dir_.path() / "home").string(),
            "XDG_STATE_HOME=" + (dir_.path() / "state").string(),
            "XDG_RUNTIME_DIR=" + (dir_.path() / "run").string(), "PATH=/usr/bin:/bin",
            "ASAN_OPTIONS=detect_leaks=0"};
    env_.insert(env_.end(), extra_env.begin(), extra_env.end());
    const int log = ::open(log_path().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    pid_ = spawn({KOVA_REMOTE_PROGRAM, "--headless"}, env_, log, log);
    ::close(log);
  }
  ~Program() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  // Whether the program answers on its endpoint (within 30 s).
  bool ready() {
    return pid_ > 0 && eventually([&] { return alive() && ctl({"connections"}).status != 3; }) &&
           alive();
  }
  bool alive() { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }
  // SIGTERM; the exit status (-1 when it did not end within 30 s).
  int stop() {
    ::kill(pid_, SIGTERM);
    int status = 0;
    const bool ended = eventually([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; });
    if (!ended) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  Ran ctl(std::vector<std::string> args) {
    args.insert(args.begin(), {KOVA_REMOTE_PROGRAM, "ctl"});
    return run(args, env_);
  }
  fs::path socket() const { return dir_.path() / "run" / "kova" / "so.kova.remote.sock"; }
  fs::path log_path() const { return dir_.path() / "program.log"; }
  std::string log() const { return read_file(log_path()); }

 private:
  TempDir dir_;
  std::vector<std::string> env_;
  pid_t pid_ = -1;
};

// The resource with `id` anywhere in a resources answer; null when absent.
json find_resource(const json& list, const std::string& id) {
  if (!list.is_array()) return nullptr;
  for (const auto& r : list) {
    if (r.value("id", "") == id) return r;
    if (auto found = find_resource(r["children"], id); !found.is_null()) return found;
  }
  return nullptr;
}

json find_action(const json& resource, const std::string& id) {
  if (resource.is_object())
    for (const auto& a : resource["actions"])
      if (a.value("id", "") == id) return a;
  return nullptr;
}

constexpr const char* connection_id = "5b1f2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d";

std::string upsert(const std::string& kind, const std::string& auth, std::uint16_t port,
                   const std::string& user) {
  return json{{"UpsertConnection",
               {{"id", connection_id},
                {"name", "Lab"},
                {"host", "127.0.0.1"},
                {"port", port},
                {"user", user},
                {"kind", kind},
                {"auth", auth},
                {"group", ""}}}}
      .dump();
}

const std::string connection = std::string("remote.connection:") + connection_id;
const std::string session = std::string("remote.session:") + connection_id;

TEST(Live, SshFirstSightTrustThenTextReachesTheShell) {
  namespace st = remote::ssh::testing;
  TempDir keys;
  ASSERT_TRUE(st::make_key(keys.path() / "id", "ed25519").has_value());
  auto sshd = st::Sshd::start({.authorized_keys = st::read_file(keys.path() / "id.pub")});
  ASSERT_TRUE(sshd.has_value()) << sshd.error();
  const auto login = st::login_user();
  ASSERT_TRUE(login.has_value()) << login.error();
  const auto key = st::keygen_identity((*sshd)->host_key().string() + ".pub");
  ASSERT_TRUE(key.has_value()) << key.error();
  const std::string algorithm = key->first;
  const std::string fingerprint = key->second;
  // The trust file's directory must be private; the keys' is.
  const fs::path known_hosts = keys.path() / "known-hosts.json";
  TempDir work;
  // The shell on the other side runs as the login user and writes here.
  fs::permissions(work.path(), fs::perms::all, fs::perm_options::replace);
  const fs::path marker = work.path() / "marker";

  Program program({"REMOTE_LIVE_SESSIONS=1", "REMOTE_SSH_KNOWN_HOSTS=" + known_hosts.string(),
                   "REMOTE_SSH_KEY=" + (keys.path() / "id").string()});
  ASSERT_TRUE(program.ready()) << program.log();
  const std::uint16_t port = (*sshd)->port();

  Ran r = program.ctl({"change", upsert("Ssh", "PublicKey", port, *login)});
  ASSERT_EQ(r.status, 0) << r.err;
  r = program.ctl({"connections"});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.value().size(), 1u) << r.out;
  EXPECT_EQ(r.value()[0]["id"], connection_id);
  EXPECT_EQ(r.value()[0]["port"], port);

  // First sight: the attempt fails, naming the key it saw.
  r = program.ctl({"invoke", connection, "connect"});
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_EQ(r.err, "SSH host key for 127.0.0.1:" + std::to_string(port) +
                       " needs explicit trust: " + algorithm + " " + fingerprint +
                       " (remote.connect_failed)\n");
  // The same identity the out-of-band check prints.
  const Ran printed =
      run({KOVA_REMOTE_PROGRAM, "ssh-fingerprint", "127.0.0.1", std::to_string(port)},
          {"PATH=/usr/bin:/bin", "ASAN_OPTIONS=detect_leaks=0"});
  EXPECT_EQ(printed.status, 0) << printed.err;
  EXPECT_EQ(printed.out, algorithm + " " + fingerprint + "\n");

  // The session resource carries the Untrusted verdict as its trust action.
  r = program.ctl({"resources"});
  ASSERT_EQ(r.status, 0) << r.err;
  const json trust = find_action(find_resource(r.value(), session), "trust-host-key");
  ASSERT_FALSE(trust.is_null()) << r.out;
  EXPECT_EQ(trust["description"], "Explicitly trust " + algorithm + " " + fingerprint +
                                      " for this device only after out-of-band verification.");
  EXPECT_EQ(trust["unavailable"], nullptr);
  EXPECT_FALSE(
      find_action(find_resource(r.value(), session), "send-text")["unavailable"].is_null());

  r = program.ctl({"invoke", session, "trust-host-key"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.value()["status"], "completed");
  EXPECT_NE(read_file(known_hosts).find(fingerprint), std::string::npos);

  // Trusting reconnects; connected, the session offers text input and no
  // more trust.
  json connected;
  EXPECT_TRUE(eventually([&] {
    const Ran now = program.ctl({"resources"});
    const json s = find_resource(now.value(), session);
    const json send = find_action(s, "send-text");
    if (send.is_null() || !send["unavailable"].is_null()) return false;
    connected = s;
    return true;
  })) << program.log()
      << (*sshd)->log();
  EXPECT_TRUE(find_action(connected, "trust-host-key").is_null()) << connected.dump();

  r = program.ctl({"invoke", session, "send-text", "--text", "touch " + marker.string() + "\n"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.value()["status"], "completed") << r.out;
  EXPECT_TRUE(eventually([&] { return fs::exists(marker); }))
      << "the command did not run on the server";

  r = program.ctl({"invoke", session, "disconnect"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(find_resource(program.ctl({"resources"}).value(), session).is_null());
  EXPECT_EQ(program.stop(), 0) << program.log();
}

// Pixels of a PNG file as RGBA; empty when it cannot be read.
std::vector<std::uint8_t> png_pixels(const fs::path& path, std::uint32_t& width,
                                     std::uint32_t& height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGBA;
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  width = image.width;
  height = image.height;
  return pixels;
}

TEST(Live, VncSnapshotShowsTheServersPicture) {
  remote::rfb::testing::Xvnc server({});
  ASSERT_TRUE(server.problem().empty()) << server.problem();
  ASSERT_EQ(server.run_x_client({"xsetroot", "-solid", "#123456"}), 0) << "xsetroot failed";
  Program program({"REMOTE_LIVE_SESSIONS=1"});
  ASSERT_TRUE(program.ready()) << program.log();
  Ran r = program.ctl({"change", upsert("Vnc", "Password", server.port(), "")});
  ASSERT_EQ(r.status, 0) << r.err;
  r = program.ctl({"invoke", connection, "connect"});
  ASSERT_EQ(r.status, 0) << r.err << program.log();
  EXPECT_EQ(r.value()["status"], "completed");

  // The 64 x 48 root, enlarged to fit the window, in the server's colour.
  TempDir shots;
  const fs::path shot = shots.path() / "shot.png";
  std::size_t root_pixels = 0;
  std::uint32_t width = 0, height = 0;
  EXPECT_TRUE(eventually([&] {
    if (program.ctl({"snapshot", shot.string()}).status != 0) return false;
    const auto pixels = png_pixels(shot, width, height);
    root_pixels = 0;
    for (std::size_t i = 0; i + 3 < pixels.size(); i += 4)
      root_pixels += pixels[i] == 0x12 && pixels[i + 1] == 0x34 && pixels[i + 2] == 0x56 &&
                     pixels[i + 3] == 0xff;
    return root_pixels >= 10u * 64 * 48;
  })) << root_pixels
      << " pixels of the root colour in " << width << "x" << height << "\n"
      << program.log();
  struct stat st {};
  ASSERT_EQ(::stat(shot.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  r = program.ctl({"invoke", session, "disconnect"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(program.stop(), 0) << program.log();
}

int connect_to(const fs::path& socket) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, socket.c_str(), socket.string().size());
  EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0) << socket;
  return fd;
}

void send_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) {
      ADD_FAILURE() << "send: " << std::strerror(errno);
      return;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// One reply line, waiting at most 30 s.
std::string read_line(int fd) {
  std::string line;
  char c = 0;
  pollfd p{fd, POLLIN, 0};
  while (::poll(&p, 1, 30'000) == 1 && ::recv(fd, &c, 1, 0) == 1 && c != '\n')
    line += c;
  return line;
}

TEST(Live, BadClientsGetErrorsAndCostTheProgramNothing) {
  Program program;
  ASSERT_TRUE(program.ready()) << program.log();
  const int silent = connect_to(program.socket());
  const int vanishing = connect_to(program.socket());
  send_all(vanishing, R"({"id":1,"method":"conn)");
  ::close(vanishing);

  const int bad = connect_to(program.socket());
  struct Case {
    const char* name;
    std::string line;
    const char* reply_part;
  };
  const Case cases[] = {
      {"not JSON", "garbage\n", R"({"id":null,"ok":false,"error":{"code":"bad_json")"},
      {"unknown method",
       R"({"id":2,"method":"format-disk"})"
       "\n",
       R"({"id":2,"ok":false,"error":{"code":"bad_request")"},
      {"undecodable change",
       R"({"id":3,"method":"change","json":"{\"DeleteConnection\":{}}"})"
       "\n",
       R"({"id":3,"ok":false,"error":{"code":"change_failed")"},
      {"line over 1 MiB", std::string(1536 * 1024, 'x') + "\n",
       R"({"id":null,"ok":false,"error":{"code":"line_too_long")"},
      {"still served",
       R"({"id":4,"method":"ping"})"
       "\n",
       R"({"id":4,"ok":true,"result":"pong"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    send_all(bad, c.line);
    const std::string reply = read_line(bad);
    EXPECT_EQ(reply.rfind(c.reply_part, 0), 0u) << reply;
  }
  ::close(bad);
  // Nothing of that reached the document, and others are served while a
  // silent client stays connected.
  const Ran r = program.ctl({"connections"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.value(), json::array());
  ::close(silent);
  EXPECT_TRUE(program.alive());
  EXPECT_EQ(program.stop(), 0) << program.log();
}

}  // namespace
