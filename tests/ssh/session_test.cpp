// The session worker against a real OpenSSH server on loopback.
#include "ssh/session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "sshd_fixture.h"
#include "support/eventually.h"

namespace remote::ssh {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::Sshd;
using testing::TempDir;

using kova::testing::eventually;

SessionStatus settled_status(const SshSession& session) {
  eventually([&] { return session.status().kind != SessionStatus::Kind::Connecting; });
  return session.status();
}

// Collects the byte stream the way the view's repaint pump does.
struct Transcript {
  std::string bytes;
  bool contains(SshSession& session, const std::string& needle) {
    return eventually([&] {
      session.pump_output([&](std::string_view chunk) { bytes.append(chunk); });
      return bytes.find(needle) != std::string::npos;
    });
  }
};

std::vector<std::string> screen_rows(const terminal::TerminalScreen& screen) {
  std::vector<std::string> rows;
  for (unsigned r = 0; r < screen.rows(); ++r) {
    std::string line;
    for (const terminal::TerminalCell& cell : screen.row(r)) {
      line += static_cast<char>(cell.character() < 0x80 ? cell.character() : U'?');
    }
    while (!line.empty() && line.back() == ' ')
      line.pop_back();
    rows.push_back(std::move(line));
  }
  return rows;
}

// A row ending in `text` (a prompt may precede output typed ahead of it).
bool screen_has_row_ending(const terminal::TerminalScreen& screen, const std::string& text) {
  const auto rows = screen_rows(screen);
  return std::any_of(rows.begin(), rows.end(),
                     [&](const std::string& row) { return row.ends_with(text); });
}

HostKeyIdentity keygen_identity(const fs::path& pub) {
  auto listed = testing::keygen_identity(pub);
  EXPECT_TRUE(listed.has_value()) << listed.error();
  return listed ? HostKeyIdentity{listed->first, listed->second} : HostKeyIdentity{};
}

class SshServer : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* type : {"ed25519", "rsa"}) {
      ASSERT_TRUE(testing::make_key(keys.path() / type, type).has_value());
    }
    ASSERT_TRUE(testing::make_key(keys.path() / "locked", "ed25519", "open sesame").has_value());
    ASSERT_TRUE(testing::make_key(keys.path() / "stranger", "ed25519").has_value());
    std::string authorized;
    for (const char* name : {"ed25519", "rsa", "locked"}) {
      authorized += testing::read_file(keys.path() / (std::string(name) + ".pub"));
    }
    auto started = Sshd::start({.authorized_keys = authorized});
    ASSERT_TRUE(started.has_value()) << started.error();
    sshd = std::move(*started);
    auto login = testing::login_user();
    ASSERT_TRUE(login.has_value()) << login.error();
    user = *login;
    // The shell runs as that user and writes here.
    fs::permissions(work.path(), fs::perms::all, fs::perm_options::replace);
    known_hosts = store.path() / "known-hosts.json";
  }

  SshWorkerConfig config(SshCredentials credentials, std::string login = {}) const {
    return SshWorkerConfig{"127.0.0.1", login.empty() ? user : login, known_hosts,
                           std::move(credentials), sshd->port()};
  }
  KeyCredentials key(const char* name) const { return KeyCredentials{keys.path() / name, {}}; }
  void pin_server_key() {
    ASSERT_TRUE(trust_host_key(known_hosts, "127.0.0.1", sshd->port(),
                               keygen_identity(sshd->host_key().string() + ".pub"))
                    .has_value());
  }
  SshSession connected(SshCredentials credentials) {
    auto session = start_ssh_session(config(std::move(credentials)));
    EXPECT_TRUE(session.has_value());
    EXPECT_EQ(settled_status(*session), SessionStatus::connected()) << sshd->log();
    return std::move(*session);
  }

  TempDir keys;
  TempDir store;
  TempDir work;
  fs::path known_hosts;
  std::string user;
  std::unique_ptr<Sshd> sshd;
};

TEST_F(SshServer, FirstSightIsUntrustedAndTheTrustedKeyConnects) {
  auto first = start_ssh_session(config(key("ed25519"))).value();
  const HostKeyIdentity expected = keygen_identity(sshd->host_key().string() + ".pub");
  EXPECT_EQ(settled_status(first), SessionStatus::failed(host_key_message(
                                       HostKeyUntrusted{expected}, "127.0.0.1", sshd->port())));
  ASSERT_EQ(first.host_key_verdict(), HostKeyVerdict{HostKeyUntrusted{expected}});
  // A refused key never saw a credential.
  EXPECT_EQ(sshd->log().find("Accepted"), std::string::npos);
  EXPECT_FALSE(fs::exists(known_hosts));

  ASSERT_TRUE(trust_host_key(known_hosts, "127.0.0.1", sshd->port(), expected).has_value());
  SshSession session = connected(key("ed25519"));
  EXPECT_EQ(session.host_key_verdict(), std::nullopt);

  // The command's output (not its echo) lands in the 80x24 grid.
  ASSERT_TRUE(session.send_text("echo kova-$((6*7))\r").has_value());
  EXPECT_TRUE(eventually([&] {
    session.pump_output();
    return screen_has_row_ending(session.screen(), "kova-42");
  })) << ::testing::PrintToString(screen_rows(session.screen()));
  EXPECT_EQ(session.screen().columns(), 80u);
  EXPECT_EQ(session.screen().rows(), 24u);
  Transcript transcript;

  // Typed text reaches the shell unchanged: two letters and a line feed.
  const fs::path typed = work.path() / "typed";
  const fs::path touched = work.path() / "touched";
  ASSERT_TRUE(session.send_text("head -c 3 > " + typed.string() + "\r").has_value());
  ASSERT_TRUE(session.send_text("ab\n").has_value());
  auto ack = session.send_text_acknowledged("touch " + touched.string() + "\r").value();
  EXPECT_TRUE(eventually([&] { return fs::exists(touched); })) << transcript.bytes;
  EXPECT_EQ(testing::read_file(typed), "ab\n");
  EXPECT_EQ(ack.poll().state, AckSlot::State::Delivered);

  ASSERT_TRUE(session.send_text("exit\r").has_value());
  EXPECT_TRUE(eventually([&] { return session.status() == SessionStatus::ended(); }));
  EXPECT_EQ(session.send_text("x").error().message, "SSH session input channel is closed");
  EXPECT_EQ(session.send_text_acknowledged("x").error().message,
            "SSH session input channel is closed");
}

TEST_F(SshServer, ReplacedServerKeyIsBlockedBeforeAuthentication) {
  pin_server_key();
  const HostKeyIdentity pinned = keygen_identity(sshd->host_key().string() + ".pub");
  const auto replaced = sshd->replace_host_key();
  ASSERT_TRUE(replaced.has_value()) << replaced.error();
  const HostKeyIdentity fresh = keygen_identity(sshd->host_key().string() + ".pub");
  ASSERT_NE(pinned, fresh);
  // Re-pin under the new port the restarted server listens on.
  ASSERT_TRUE(trust_host_key(known_hosts, "127.0.0.1", sshd->port(), pinned).has_value());

  auto session = start_ssh_session(config(PasswordCredentials{"certainly wrong"})).value();
  EXPECT_EQ(settled_status(session),
            SessionStatus::failed(
                "SSH host key changed for 127.0.0.1:" + std::to_string(sshd->port()) +
                ". Expected " + pinned.algorithm + " " + pinned.fingerprint + "; received " +
                fresh.algorithm + " " + fresh.fingerprint + ". Connection blocked."));
  EXPECT_EQ(session.host_key_verdict(), HostKeyVerdict{(HostKeyChanged{pinned, fresh})});
  EXPECT_EQ(sshd->log().find("Failed password"), std::string::npos);
}

TEST_F(SshServer, UnreadableStoreRefusesTheConnection) {
  testing::write_file(known_hosts, "{", 0600);
  auto session = start_ssh_session(config(key("ed25519"))).value();
  const SessionStatus status = settled_status(session);
  EXPECT_EQ(status.kind, SessionStatus::Kind::Failed);
  EXPECT_EQ(status.text.rfind("SSH host-key store is unavailable: ", 0), 0u) << status.text;
  EXPECT_TRUE(std::holds_alternative<HostKeyStoreUnavailable>(*session.host_key_verdict()));
}

TEST_F(SshServer, EachCredentialKindAuthenticatesOrFailsWithItsSentence) {
  pin_server_key();
  auto account = testing::password_user();
  ASSERT_TRUE(account.has_value()) << account.error();
  const fs::path missing = keys.path() / "missing";
  struct Case {
    const char* name;
    SshCredentials credentials;
    std::string user;
    std::string failure;  // empty: Connected; else the Failed text (a prefix when it ends in ": ")
  };
  const Case cases[] = {
      {"password", PasswordCredentials{account->password}, account->name, ""},
      {"wrong password", PasswordCredentials{"wrong"}, account->name, "Authentication failed"},
      {"empty password", PasswordCredentials{""}, account->name, "Authentication failed"},
      {"ed25519 key", key("ed25519"), "", ""},
      {"rsa key", key("rsa"), "", ""},
      {"passphrase key", KeyCredentials{keys.path() / "locked", "open sesame"}, "", ""},
      {"passphrase key without passphrase", key("locked"), "",
       "load key " + (keys.path() / "locked").string() + ": "},
      {"passphrase key with a wrong one", KeyCredentials{keys.path() / "locked", "nope"}, "",
       "load key " + (keys.path() / "locked").string() + ": "},
      {"missing key file", KeyCredentials{missing, {}}, "",
       "load key " + missing.string() + ": Error opening " + missing.string() +
           ": No such file or directory"},
      {"key the server does not know", key("stranger"), "", "Authentication failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto session = start_ssh_session(config(c.credentials, c.user)).value();
    const SessionStatus status = settled_status(session);
    if (c.failure.empty()) {
      EXPECT_EQ(status, SessionStatus::connected()) << status.text << "\n" << sshd->log();
    } else {
      EXPECT_EQ(status.kind, SessionStatus::Kind::Failed);
      if (c.failure.ends_with(": ")) {
        // "load key PATH: " followed by the library's reason.
        EXPECT_EQ(status.text.rfind(c.failure, 0), 0u) << status.text;
        EXPECT_GT(status.text.size(), c.failure.size()) << status.text;
      } else {
        EXPECT_EQ(status.text, c.failure);
      }
    }
  }
}

TEST_F(SshServer, KilledServerEndsTheSession) {
  pin_server_key();
  SshSession session = connected(key("ed25519"));
  sshd->kill_now();
  EXPECT_TRUE(eventually([&] { return session.status() == SessionStatus::ended(); }))
      << session.status().text;
  auto ack = session.send_text_acknowledged("late");
  EXPECT_FALSE(ack.has_value());
}

TEST_F(SshServer, DroppingTheHandleDisconnectsByApplication) {
  pin_server_key();
  { SshSession session = connected(key("ed25519")); }
  EXPECT_TRUE(eventually([&] {
    return sshd->log().find("Received disconnect") != std::string::npos;
  })) << sshd->log();
  // Reason 11: disconnect by application.
  EXPECT_NE(sshd->log().find(":11:"), std::string::npos) << sshd->log();
}

}  // namespace
}  // namespace remote::ssh
