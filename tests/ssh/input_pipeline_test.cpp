// The input pipeline's answers, against a worker that never gets past the
// handshake: a loopback listener that accepts connections into its backlog
// and never speaks.
#include <gtest/gtest.h>
#include <unistd.h>

#include "ssh/session.h"
#include "support/eventually.h"
#include "support/loopback.h"
#include "test_support.h"

namespace remote::ssh {
namespace {

class SilentServer {
 public:
  SilentServer() { fd_ = kova::testing::listen_loopback(port_); }
  ~SilentServer() { close(); }
  // Closing the listener resets the connection waiting in its backlog.
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  std::uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

SshWorkerConfig config_for(std::uint16_t port, const testing::TempDir& dir) {
  return SshWorkerConfig{"127.0.0.1", "nobody", dir.path() / "known-hosts.json",
                         PasswordCredentials{"unused"}, port};
}

bool settles(const SshSession& session) {
  return kova::testing::eventually(
      [&] { return session.status().kind != SessionStatus::Kind::Connecting; });
}

TEST(InputPipeline, LimitsBusyAndClosedAnswers) {
  testing::TempDir dir;
  SilentServer server;
  SshSession session = start_ssh_session(config_for(server.port(), dir)).value();

  EXPECT_EQ(session.send_text("").error().message, "SSH input cannot be empty");
  EXPECT_EQ(session.send_text(std::string(65537, 'x')).error().message,
            "SSH input exceeds the 64 KiB per-operation limit");
  EXPECT_EQ(session.send_text_acknowledged(std::string(65537, 'x')).error().message,
            "SSH input exceeds the 64 KiB per-operation limit");
  ASSERT_TRUE(session.send_text(std::string(65536, 'x')).has_value());
  auto ack = session.send_text_acknowledged("queued").value();
  for (int i = 2; i < 256; ++i)
    ASSERT_TRUE(session.send_text("k").has_value()) << i;
  EXPECT_EQ(session.send_text("k").error().message,
            "SSH input is busy; wait for the remote session to catch up");
  EXPECT_EQ(session.send_text_acknowledged("k").error().message,
            "SSH input is busy; wait for the remote session to catch up");
  EXPECT_EQ(ack.poll().state, AckSlot::State::Pending);
  EXPECT_EQ(session.status(), SessionStatus::connecting());

  // The worker fails in the handshake: queued inputs are dropped unwritten.
  server.close();
  ASSERT_TRUE(settles(session));
  EXPECT_EQ(session.status().kind, SessionStatus::Kind::Failed);
  EXPECT_EQ(session.status().text.rfind("connect: ", 0), 0u) << session.status().text;
  EXPECT_EQ(ack.poll().state, AckSlot::State::Closed);
  EXPECT_EQ(session.send_text("k").error().message, "SSH session input channel is closed");
  EXPECT_EQ(session.send_text_acknowledged("k").error().message,
            "SSH session input channel is closed");
}

TEST(InputPipeline, RefusedConnectionFailsWithTheSystemText) {
  testing::TempDir dir;
  std::uint16_t port = 0;
  {
    SilentServer closed;  // a port that was free a moment ago
    port = closed.port();
  }
  SshSession session = start_ssh_session(config_for(port, dir)).value();
  ASSERT_TRUE(settles(session));
  EXPECT_EQ(session.status(), SessionStatus::failed("connect: Connection refused"));
  EXPECT_EQ(session.host_key_verdict(), std::nullopt);
}

TEST(Credentials, EnvironmentRulesInOrder) {
  testing::TempDir dir;
  const auto second = dir.path() / "id_ecdsa";
  testing::write_file(second, "key", 0600);
  const std::vector<std::filesystem::path> candidates{dir.path() / "id_ed25519", second};
  struct Case {
    const char* name;
    SshAuth auth;
    std::vector<std::pair<const char*, const char*>> env;  // nullptr value: unset
    std::variant<SshCredentials, std::string> expected;
  };
  const Case cases[] = {
      {"password", SshAuth::Password, {{"REMOTE_SSH_PASSWORD", "pw"}}, PasswordCredentials{"pw"}},
      {"empty password", SshAuth::Password, {{"REMOTE_SSH_PASSWORD", ""}}, PasswordCredentials{""}},
      {"no password",
       SshAuth::Password,
       {{"REMOTE_SSH_PASSWORD", nullptr}},
       std::string("no SSH password: set REMOTE_SSH_PASSWORD")},
      {"password not text",
       SshAuth::Password,
       {{"REMOTE_SSH_PASSWORD", "\xff"}},
       std::string("no SSH password: set REMOTE_SSH_PASSWORD")},
      {"explicit key",
       SshAuth::PublicKey,
       {{"REMOTE_SSH_KEY", "/k"}, {"REMOTE_SSH_KEY_PASSPHRASE", "p"}},
       KeyCredentials{"/k", "p"}},
      {"empty key path",
       SshAuth::PublicKey,
       {{"REMOTE_SSH_KEY", ""}, {"REMOTE_SSH_KEY_PASSPHRASE", nullptr}},
       KeyCredentials{"", {}}},
      {"second default key",
       SshAuth::PublicKey,
       {{"REMOTE_SSH_KEY", nullptr}},
       KeyCredentials{second, {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& [name, value] : c.env) {
      if (value != nullptr) {
        ::setenv(name, value, 1);
      } else {
        ::unsetenv(name);
      }
    }
    const auto got = ssh_credentials(c.auth, candidates);
    if (const auto* error = std::get_if<std::string>(&c.expected)) {
      EXPECT_EQ(got.error().message, *error);
    } else {
      const auto& want = std::get<SshCredentials>(c.expected);
      ASSERT_TRUE(got.has_value());
      if (const auto* password = std::get_if<PasswordCredentials>(&want)) {
        EXPECT_EQ(std::get<PasswordCredentials>(*got).password, password->password);
      } else {
        const auto& key = std::get<KeyCredentials>(want);
        EXPECT_EQ(std::get<KeyCredentials>(*got).key_path, key.key_path);
        EXPECT_EQ(std::get<KeyCredentials>(*got).passphrase, key.passphrase);
      }
    }
  }
  ::unsetenv("REMOTE_SSH_KEY");
  EXPECT_EQ(ssh_credentials(SshAuth::PublicKey, {dir.path() / "none"}).error().message,
            "no SSH key: set REMOTE_SSH_KEY or add ~/.ssh/id_ed25519");
}

TEST(Credentials, LoginNameAndDefaultKeys) {
  ::setenv("USER", "alice", 1);
  EXPECT_EQ(ssh_login_name("bob"), "bob");
  EXPECT_EQ(ssh_login_name(""), "alice");
  ::unsetenv("USER");
  EXPECT_EQ(ssh_login_name(""), "root");
  ::setenv("HOME", "/home/h", 1);
  EXPECT_EQ(default_key_candidates(), (std::vector<std::filesystem::path>{
                                          "/home/h/.ssh/id_ed25519", "/home/h/.ssh/id_ecdsa"}));
  ::unsetenv("HOME");
  EXPECT_EQ(default_key_candidates(),
            (std::vector<std::filesystem::path>{".ssh/id_ed25519", ".ssh/id_ecdsa"}));
}

}  // namespace
}  // namespace remote::ssh
