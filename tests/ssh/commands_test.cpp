#include "ssh/commands.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "ssh/trust_store.h"
#include "sshd_fixture.h"

namespace remote::ssh {
namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

template <class Command>
Outcome run(Command command, std::vector<std::string_view> args) {
  std::ostringstream out, err;
  const int status = command(args, out, err);
  return {status, out.str(), err.str()};
}

int fingerprint(std::span<const std::string_view> a, std::ostream& o, std::ostream& e) {
  return fingerprint_command(a, o, e);
}
int trust(std::span<const std::string_view> a, std::ostream& o, std::ostream& e) {
  return trust_command(a, o, e);
}

TEST(FingerprintCommand, PrintsWhatSshKeygenPrintsWithoutAuthenticating) {
  for (const char* type : {"ed25519", "ecdsa", "rsa"}) {
    SCOPED_TRACE(type);
    auto sshd = testing::Sshd::start({.host_key_type = type, .authorized_keys = ""});
    ASSERT_TRUE(sshd.has_value()) << sshd.error();
    const auto expected = testing::keygen_identity((*sshd)->host_key().string() + ".pub");
    ASSERT_TRUE(expected.has_value()) << expected.error();
    const std::string port = std::to_string((*sshd)->port());
    const Outcome got = run(fingerprint, {"127.0.0.1", port});
    EXPECT_EQ(got.status, 0) << got.err;
    EXPECT_EQ(got.out, expected->first + " " + expected->second + "\n");
    EXPECT_EQ((*sshd)->log().find("Accepted"), std::string::npos);
  }
}

TEST(FingerprintCommand, UsageAndConnectionErrors) {
  const std::string usage = "usage: kova-remote ssh-fingerprint HOST PORT\n";
  struct Case {
    std::vector<std::string_view> args;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {{}, 2, usage},
      {{"127.0.0.1"}, 2, usage},
      {{"127.0.0.1", "65536"}, 2, usage},
      {{"127.0.0.1", "22x"}, 2, usage},
      {{"127.0.0.1", "-1"}, 2, usage},
      {{"127.0.0.1", "1"}, 1, "connect: Connection refused\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.size());
    const Outcome got = run(fingerprint, c.args);
    EXPECT_EQ(got.status, c.status);
    EXPECT_EQ(got.err, c.err);
    EXPECT_EQ(got.out, "");
  }
}

TEST(TrustCommand, ListsAndForgetsPinsThroughTheVettedStore) {
  testing::TempDir dir;
  const auto file = dir.path() / "known-hosts.json";
  ::setenv("REMOTE_SSH_KNOWN_HOSTS", file.c_str(), 1);
  const HostKeyIdentity a{"ssh-ed25519", "SHA256:a"};
  const HostKeyIdentity b{"ssh-rsa", "SHA256:b"};
  ASSERT_TRUE(save_known_hosts(file, {{{"h", 22, a}, {"g", 2222, b}}}).has_value());

  EXPECT_EQ(run(trust, {"list"}).out, "h:22 ssh-ed25519 SHA256:a\ng:2222 ssh-rsa SHA256:b\n");
  const Outcome forgot = run(trust, {"forget", "h", "22"});
  EXPECT_EQ(forgot.status, 0);
  EXPECT_EQ(forgot.out, "forgot the pinned host key of h:22\n");
  EXPECT_EQ(run(trust, {"forget", "h", "22"}).out, "no pinned host key for h:22\n");
  EXPECT_EQ(run(trust, {"list"}).out, "g:2222 ssh-rsa SHA256:b\n");

  for (const std::vector<std::string_view>& args : {std::vector<std::string_view>{},
                                                    {"add", "h", "22"},
                                                    {"forget", "h"},
                                                    {"list", "x"},
                                                    {"forget", "h", "port"}}) {
    const Outcome got = run(trust, args);
    EXPECT_EQ(got.status, 2);
    EXPECT_EQ(got.err, "usage: kova-remote trust list | trust forget HOST PORT\n");
  }

  std::filesystem::permissions(file, std::filesystem::perms(0644),
                               std::filesystem::perm_options::replace);
  const Outcome refused = run(trust, {"list"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err,
            "SSH host-key trust is unavailable: SSH host-key store must not be accessible to "
            "group or other users\n");
  EXPECT_EQ(run(trust, {"forget", "g", "2222"}).status, 1);
  ::unsetenv("REMOTE_SSH_KNOWN_HOSTS");
}

}  // namespace
}  // namespace remote::ssh
