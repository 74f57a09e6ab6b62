#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>

#include "automation/endpoint.h"
#include "automation/limits.h"
#include "fixtures.h"

namespace kova::automation::testing {
namespace {

bool contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

mode_t mode_of(const std::filesystem::path& p) {
  struct stat st{};
  EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

TEST(Endpoint, PathFollowsRuntimeDirElseStateHome) {
  RuntimeDir dir;
  EXPECT_EQ(endpoint_path("so.kova.remote").value(), dir.path() / "kova" / "so.kova.remote.sock");
  ::setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
  ::setenv("XDG_STATE_HOME", "/state/home", 1);
  EXPECT_EQ(endpoint_path("so.kova.remote").value(), "/state/home/kova/run/so.kova.remote.sock");
  ::unsetenv("XDG_RUNTIME_DIR");
  ::unsetenv("XDG_STATE_HOME");
  ::unsetenv("HOME");
  EXPECT_FALSE(endpoint_path("so.kova.remote"));
}

TEST(Server, PrivateDirectoryAndSocketAnswerTheSameUser) {
  RuntimeDir dir;
  auto server = start_server(dir.socket());
  ASSERT_TRUE(server);
  EXPECT_EQ(mode_of(dir.socket().parent_path()), 0700u);
  EXPECT_EQ(mode_of(dir.socket()), 0600u);
  FakeHost host;
  Client client(dir.socket());
  ASSERT_TRUE(client.connected());
  EXPECT_EQ(client.request(*server, host, R"({"id":1,"method":"ping"})"), R"({"id":1,"ok":true,"result":"pong"})");
  server.reset();
  EXPECT_FALSE(std::filesystem::exists(dir.socket())) << "the socket is removed on shutdown";
}

TEST(Server, TightensAnExistingDirectory) {
  RuntimeDir dir;
  std::filesystem::create_directory(dir.socket().parent_path());
  ::chmod(dir.socket().parent_path().c_str(), 0755);
  auto server = start_server(dir.socket());
  ASSERT_TRUE(server);
  EXPECT_EQ(mode_of(dir.socket().parent_path()), 0700u);
}

TEST(Server, ClosesPeersOfAnotherUserAtOnce) {
  RuntimeDir dir;
  auto server = start_server(dir.socket(), ::geteuid() + 1);
  ASSERT_TRUE(server);
  FakeHost host;
  Client client(dir.socket());
  ASSERT_TRUE(client.connected());
  client.send(*server, host, "{\"id\":1,\"method\":\"resources\"}\n");
  EXPECT_EQ(client.read_line(*server, host), "");
  EXPECT_TRUE(client.saw_eof());
  EXPECT_EQ(server->client_count(), 0u);
  EXPECT_TRUE(host.calls.empty());
}

TEST(Server, AnswersMalformedLinesAndKeepsServing) {
  RuntimeDir dir;
  auto server = start_server(dir.socket());
  ASSERT_TRUE(server);
  FakeHost host;
  Client client(dir.socket());
  struct Case {
    const char* line;
    const char* reply_part;
  };
  const Case cases[] = {
      {"garbage", R"({"id":null,"ok":false,"error":{"code":"bad_json")"},
      {R"({"id":9})", R"({"id":9,"ok":false,"error":{"code":"bad_request")"},
      {R"({"id":10,"method":"invoke","resource":"nowhere","action":"x"})", R"("code":"unknown_resource")"},
      {"{\"id\":11,\"method\":\"ping\"}\r", R"({"id":11,"ok":true,"result":"pong"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_TRUE(contains(client.request(*server, host, c.line), c.reply_part));
  }
  // Several requests in one write are answered in order; blank lines are skipped.
  client.send(*server, host, "{\"id\":1,\"method\":\"ping\"}\n\n{\"id\":2,\"method\":\"ping\"}\n");
  EXPECT_TRUE(contains(client.read_line(*server, host), R"("id":1)"));
  EXPECT_TRUE(contains(client.read_line(*server, host), R"("id":2)"));
}

TEST(Server, RefusesAnOverLongLineWithoutKeepingIt) {
  RuntimeDir dir;
  auto server = start_server(dir.socket());
  ASSERT_TRUE(server);
  FakeHost host;
  Client client(dir.socket());
  client.send(*server, host, std::string(max_request_line_bytes + 1, 'x'));
  EXPECT_TRUE(contains(client.read_line(*server, host), R"("code":"line_too_long")"));
  // The rest of that line is skipped; the next request is served.
  client.send(*server, host, std::string(300000, 'y') + "\n");
  EXPECT_EQ(client.request(*server, host, R"({"id":2,"method":"ping"})"), R"({"id":2,"ok":true,"result":"pong"})");
  EXPECT_TRUE(host.calls.empty());
}

TEST(Server, AnswersALastRequestWithoutNewlineAfterHalfClose) {
  RuntimeDir dir;
  auto server = start_server(dir.socket());
  ASSERT_TRUE(server);
  FakeHost host;
  Client client(dir.socket());
  client.send(*server, host, R"({"id":5,"method":"connections"})");
  client.shutdown_write();
  EXPECT_EQ(client.read_line(*server, host), R"({"id":5,"ok":true,"result":[{"name":"Build Box"}]})");
  EXPECT_EQ(client.read_line(*server, host), "");
  EXPECT_EQ(server->client_count(), 0u);
}

TEST(Server, BoundsTheNumberOfClients) {
  RuntimeDir dir;
  auto server = start_server(dir.socket());
  ASSERT_TRUE(server);
  FakeHost host;
  std::vector<std::unique_ptr<Client>> clients;
  for (std::size_t i = 0; i < max_clients; ++i) {
    clients.push_back(std::make_unique<Client>(dir.socket()));
    server->serve_ready(host);
  }
  EXPECT_EQ(server->client_count(), max_clients);
  Client extra(dir.socket());
  EXPECT_TRUE(contains(extra.read_line(*server, host), R"("code":"too_many_clients")"));
  EXPECT_EQ(extra.read_line(*server, host), "");
  EXPECT_TRUE(extra.saw_eof());
  // Every admitted client is still served.
  EXPECT_TRUE(contains(clients.back()->request(*server, host, R"({"id":1,"method":"ping"})"), "pong"));
  clients.clear();
  server->serve_ready(host);
  EXPECT_EQ(server->client_count(), 0u);
}

TEST(Server, DropsAClientThatNeverReads) {
  RuntimeDir dir;
  // A small outbox bound so a few replies of 64 KiB pass it.
  constexpr std::size_t outbox_bytes = 1 << 20;
  auto server = start_server(dir.socket(), ::geteuid(), outbox_bytes);
  ASSERT_TRUE(server);
  FakeHost host;
  host.listed.push_back({"k", "big", std::string(1 << 16, 'L'), {}, {}});
  Client sink(dir.socket());
  Client other(dir.socket());
  server->serve_ready(host);
  const std::string request = "{\"id\":1,\"method\":\"resources\"}\n";
  for (std::size_t sent = 0; sent < 4 * outbox_bytes / (1 << 16) && server->client_count() == 2; ++sent) {
    ASSERT_EQ(::send(sink.fd(), request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
    server->serve_ready(host);
  }
  EXPECT_EQ(server->client_count(), 1u) << "the client that never reads is dropped";
  EXPECT_TRUE(contains(other.request(*server, host, R"({"id":2,"method":"ping"})"), "pong"));
}

TEST(Server, ASecondInstanceRefusesWhileTheFirstServes) {
  RuntimeDir dir;
  auto first = start_server(dir.socket());
  ASSERT_TRUE(first);
  const auto second = Server::start({dir.socket(), ::geteuid(), max_client_outbox_bytes});
  ASSERT_FALSE(second);
  EXPECT_TRUE(contains(second.error(), "another instance is already serving")) << second.error();
  FakeHost host;
  Client client(dir.socket());
  EXPECT_TRUE(contains(client.request(*first, host, R"({"id":1,"method":"ping"})"), "pong"));
}

// Leaves a socket file behind with nothing listening, as a crashed program does.
void plant_stale_socket(const std::filesystem::path& path) {
  std::filesystem::create_directories(path.parent_path());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.string().size());
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
  ::close(fd);
}

TEST(Server, ReplacesAStaleSocketButNothingElse) {
  struct Case {
    const char* name;
    void (*plant)(const std::filesystem::path&);
    bool starts;
    const char* error_part;
  };
  const Case cases[] = {
      {"stale socket", plant_stale_socket, true, ""},
      {"regular file",
       [](const std::filesystem::path& p) {
         std::filesystem::create_directories(p.parent_path());
         std::ofstream(p) << "keep me";
       },
       false, "is not a socket"},
      {"symlink to a socket elsewhere",
       [](const std::filesystem::path& p) {
         plant_stale_socket(p.parent_path() / "elsewhere.sock");
         std::filesystem::create_symlink(p.parent_path() / "elsewhere.sock", p);
       },
       false, "is not a socket"},
      {"dangling symlink",
       [](const std::filesystem::path& p) {
         std::filesystem::create_directories(p.parent_path());
         std::filesystem::create_symlink(p.parent_path() / "nowhere.sock", p);
       },
       false, "is not a socket"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RuntimeDir dir;
    c.plant(dir.socket());
    auto server = Server::start({dir.socket(), ::geteuid(), max_client_outbox_bytes});
    EXPECT_EQ(server.has_value(), c.starts);
    if (!server) {
      EXPECT_TRUE(contains(server.error(), c.error_part)) << server.error();
      EXPECT_TRUE(std::filesystem::is_symlink(dir.socket()) || std::filesystem::is_regular_file(dir.socket()))
          << "what was there is left alone";
      EXPECT_FALSE(std::filesystem::exists(dir.socket().parent_path() / "nowhere.sock"))
          << "nothing is created where a symlink points";
      continue;
    }
    FakeHost host;
    Client client(dir.socket());
    EXPECT_TRUE(contains(client.request(**server, host, R"({"id":1,"method":"ping"})"), "pong"));
  }
}

TEST(Server, RefusesADirectoryThatIsASymlink) {
  RuntimeDir dir;
  std::filesystem::create_directory(dir.path() / "real");
  std::filesystem::create_directory_symlink(dir.path() / "real", dir.path() / "kova");
  const auto server = Server::start({dir.socket(), ::geteuid(), max_client_outbox_bytes});
  ASSERT_FALSE(server);
  EXPECT_TRUE(contains(server.error(), "not a directory")) << server.error();
}

TEST(Server, SilentAndVanishingClientsCostNothing) {
  RuntimeDir dir;
  auto server = start_server(dir.socket());
  ASSERT_TRUE(server);
  FakeHost host;
  Client silent(dir.socket());
  Client vanished(dir.socket());
  Client half(dir.socket());
  server->serve_ready(host);
  vanished.close();
  half.send(*server, host, R"({"id":1,"method":"reso)");
  server->serve_ready(host);
  half.close();
  Client other(dir.socket());
  EXPECT_EQ(other.request(*server, host, R"({"id":2,"method":"ping"})"), R"({"id":2,"ok":true,"result":"pong"})");
  for (int i = 0; i < 10 && server->client_count() > 2; ++i) server->serve_ready(host);
  EXPECT_EQ(server->client_count(), 2u) << "only the silent client and the one being served are kept";
  EXPECT_TRUE(host.calls.empty()) << "a cut-off request reaches nothing";
  EXPECT_TRUE(contains(silent.request(*server, host, R"({"id":3,"method":"ping"})"), "pong"))
      << "a client that said nothing for a while is served when it speaks";
}

// What a process of user `uid` sees when it connects to `socket` and sends a
// request: "refused" (closed without a byte), "answered", "no answer", or
// the connect error's name.
std::string connect_as(Server& server, AutomationHost& host, uid_t uid, gid_t gid,
                       const std::filesystem::path& socket) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(90);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, socket.c_str(), socket.string().size());
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
      ::_exit(errno == EACCES ? 80 : 81);
    const char request[] = "{\"id\":1,\"method\":\"connections\"}\n";
    [[maybe_unused]] const auto sent = ::send(fd, request, sizeof request - 1, MSG_NOSIGNAL);
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20'000) != 1) ::_exit(2);
    // Closed with the request unread, the connection may end in a reset
    // rather than an orderly end; both are a refusal.
    char byte = 0;
    const ssize_t n = ::recv(fd, &byte, 1, 0);
    ::_exit(n == 0 || (n < 0 && errno == ECONNRESET) ? 0 : n > 0 ? 1 : 3);
  }
  int status = 0;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > give_up) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      return "hung";
    }
    pollfd p{server.fd(), POLLIN, 0};
    ::poll(&p, 1, 10);
    server.serve_ready(host);
  }
  switch (WIFEXITED(status) ? WEXITSTATUS(status) : -1) {
    case 0: return "refused";
    case 1: return "answered";
    case 2: return "no answer";
    case 80: return "EACCES";
    case 90: return "could not change user";
    default: return "failed";
  }
}

// Needs root to act as another user; CI runs the tests as root. Without
// root, the credential check is still exercised by
// ClosesPeersOfAnotherUserAtOnce (a server that admits a different uid).
TEST(Server, AnotherUsersProcessIsRefusedEvenWithLoosenedPermissions) {
  if (::geteuid() != 0) GTEST_SKIP() << "not root: cannot run a process as another user here (CI runs this as root)";
  const passwd* nobody = ::getpwnam("nobody");
  ASSERT_NE(nobody, nullptr) << "no user \"nobody\" to connect as";
  const uid_t uid = nobody->pw_uid;
  const gid_t gid = nobody->pw_gid;
  RuntimeDir dir;
  auto server = start_server(dir.socket());
  ASSERT_TRUE(server);
  FakeHost host;
  // As created, the private directory keeps the other user from the socket.
  ::chmod(dir.path().c_str(), 0711);
  EXPECT_EQ(connect_as(*server, host, uid, gid, dir.socket()), "EACCES");
  // Opened up by hand, the socket is reachable, and the peer check refuses.
  ASSERT_EQ(::chmod(dir.socket().parent_path().c_str(), 0711), 0);
  ASSERT_EQ(::chmod(dir.socket().c_str(), 0666), 0);
  EXPECT_EQ(connect_as(*server, host, uid, gid, dir.socket()), "refused");
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(server->client_count(), 0u);
  Client mine(dir.socket());
  EXPECT_TRUE(contains(mine.request(*server, host, R"({"id":1,"method":"ping"})"), "pong"));
}

TEST(Server, RefusesADirectoryOfAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "not root: cannot give a directory to another user here (CI runs this as root)";
  const passwd* nobody = ::getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  RuntimeDir dir;
  std::filesystem::create_directory(dir.socket().parent_path());
  ASSERT_EQ(::chown(dir.socket().parent_path().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  const auto server = Server::start({dir.socket(), ::geteuid(), max_client_outbox_bytes});
  ASSERT_FALSE(server);
  EXPECT_TRUE(contains(server.error(), "belongs to another user")) << server.error();
  EXPECT_TRUE(std::filesystem::is_empty(dir.socket().parent_path())) << "nothing is put into it";
}

class Invoke : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = start_server(dir_.socket());
    ASSERT_TRUE(server_);
    host_.listed = sample_resources();
    client_ = std::make_unique<Client>(dir_.socket());
  }
  std::string request(std::string_view line) { return client_->request(*server_, host_, line); }

  RuntimeDir dir_;
  FakeHost host_;
  std::unique_ptr<Server> server_;
  std::unique_ptr<Client> client_;
};

TEST_F(Invoke, RunsEachKindOfActionAsThePlatformDoes) {
  struct Case {
    const char* name;
    std::string request;
    const char* host_call;  // last call the host saw
    const char* reply_part;
  };
  const Case cases[] = {
      {"view operation is executed", R"({"id":1,"method":"invoke","resource":"remote.connection:1","action":"open"})",
       R"(execute 2 {"EditConnection":1})", R"("ok":true,"result":{"code":"","invocation":"automation-)"},
      {"change goes to the document", R"({"id":2,"method":"invoke","resource":"remote.connection:1","action":"delete"})",
       R"(change remote.action {"DeleteConnection":1})", R"({"id":2,"ok":true,"result":{}})"},
      {"text fills the input", R"({"id":3,"method":"invoke","resource":"remote.connection:1","action":"rename","text":"Lab"})",
       R"(change remote.action {"RenameConnection":"Lab"})", R"("ok":true)"},
      {"absent text builds the empty value", R"({"id":4,"method":"invoke","resource":"remote.connection:1","action":"rename"})",
       R"(change remote.action {"RenameConnection":""})", R"("ok":true)"},
      {"unavailable action is refused", R"({"id":5,"method":"invoke","resource":"remote.connection:1","action":"send"})",
       "resources", R"("code":"terminal_not_connected","message":"Text input requires a connected SSH terminal")"},
      {"text for an action without input", R"({"id":6,"method":"invoke","resource":"remote.connection:1","action":"delete","text":"x"})",
       "resources", R"("message":"action \"delete\" takes no text")"},
      {"unknown action", R"({"id":7,"method":"invoke","resource":"remote.connection-list","action":"nope"})", "resources",
       R"("code":"unknown_action")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string reply = request(c.request);
    EXPECT_TRUE(contains(reply, c.reply_part)) << reply;
    ASSERT_FALSE(host_.calls.empty());
    EXPECT_EQ(host_.calls.back(), c.host_call);
  }
  host_.change_error = "saved connection no longer exists";
  EXPECT_TRUE(contains(request(R"({"id":8,"method":"invoke","resource":"remote.connection:1","action":"delete"})"),
                       R"("ok":false,"error":{"code":"change_failed","message":"saved connection no longer exists"})"));
}

TEST_F(Invoke, RepliesToABackgroundActionOnlyWhenItFinishes) {
  host_.poll_answers = {Outcome::no_news(), Outcome::failed("Connection refused", "remote.connect_failed")};
  client_->send(*server_, host_, R"({"id":"c","method":"invoke","resource":"remote.connection:1","action":"connect"})" "\n");
  server_->serve_ready(host_);
  EXPECT_TRUE(server_->wants_poll());
  const std::string reply = client_->read_line(*server_, host_);
  EXPECT_TRUE(contains(reply, R"({"id":"c","ok":false,"error":{"code":"remote.connect_failed","message":"Connection refused"})"))
      << reply;
  EXPECT_FALSE(server_->wants_poll());
  const std::vector<std::string> expected = {"resources", R"(start 1 {"Connect":1})", "poll automation-1",
                                             "poll automation-1"};
  EXPECT_EQ(host_.calls, expected);
}

TEST_F(Invoke, AClientThatLeavesCancelsItsBackgroundAction) {
  client_->send(*server_, host_, R"({"id":1,"method":"invoke","resource":"remote.connection:1","action":"connect"})" "\n");
  server_->serve_ready(host_);
  ASSERT_TRUE(server_->wants_poll());
  client_->close();
  for (int i = 0; i < 100 && server_->wants_poll(); ++i) server_->serve_ready(host_);
  EXPECT_FALSE(server_->wants_poll());
  EXPECT_EQ(host_.calls.back(), "poll automation-1 cancel");
}

TEST_F(Invoke, RawEntryPointsPassOutcomesThrough) {
  struct Case {
    const char* name;
    std::string request;
    Outcome outcome;
    const char* reply_part;
  };
  const Case cases[] = {
      {"execute completed", R"({"id":1,"method":"execute","class":2,"json":"\"ShowConnections\""})", Outcome::completed(),
       R"("ok":true,"result":{"code":"","invocation":"automation-1","message":"","status":"completed"})"},
      {"execute not handled", R"({"id":2,"method":"execute","class":0,"json":"{}"})", Outcome::not_handled(),
       R"("ok":false,"error":{"code":"not_handled")"},
      {"start pending", R"({"id":3,"method":"start","class":1,"json":{"Connect":"x"}})", Outcome::pending(),
       R"("ok":true,"result":{"code":"","invocation":"automation-3","message":"","status":"pending"})"},
      {"start refused", R"({"id":4,"method":"start","class":1,"json":"{}"})",
       Outcome::failed("another remote operation is still running"),
       R"("error":{"code":"failed","message":"another remote operation is still running"})"},
      {"poll cancelled", R"({"id":5,"method":"poll","invocation":"automation-3","cancel":true})",
       Outcome::cancelled("remote connection attempt cancelled"), R"("error":{"code":"cancelled")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host_.execute_answer = host_.start_answer = c.outcome;
    host_.poll_answers = {c.outcome};
    const std::string reply = request(c.request);
    EXPECT_TRUE(contains(reply, c.reply_part)) << reply;
  }
  EXPECT_EQ(host_.calls.back(), "poll automation-3 cancel");
}

TEST_F(Invoke, TreeActConnectionsAndSnapshotReachTheHost) {
  EXPECT_TRUE(contains(request(R"({"id":1,"method":"tree"})"), R"("role":"window")"));
  EXPECT_TRUE(contains(request(R"({"id":2,"method":"act","node":"remote.field:port","action":"set-value","value":"12"})"),
                       R"("result":{"handled":true})"));
  EXPECT_EQ(host_.calls.back(), "act remote.field:port set-value 12");
  host_.act_answer = false;
  EXPECT_TRUE(contains(request(R"({"id":3,"method":"act","node":"x","action":"activate"})"), R"({"handled":false})"));
  EXPECT_TRUE(contains(request(R"({"id":4,"method":"snapshot","path":"/tmp/x.png"})"), R"({"path":"/tmp/x.png"})"));
  host_.connections = std::nullopt;
  EXPECT_TRUE(contains(request(R"({"id":5,"method":"connections"})"), R"("code":"unsupported")"));
  host_.connections = "[1,";
  EXPECT_TRUE(contains(request(R"({"id":6,"method":"connections"})"), R"("code":"internal")"));
}

}  // namespace
}  // namespace kova::automation::testing
