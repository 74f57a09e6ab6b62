#include "ssh/trust_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>

#include "ssh/host_key.h"
#include "test_support.h"

namespace remote::ssh {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::TempDir;
using testing::write_file;

const HostKeyIdentity key_a{"ssh-ed25519", "SHA256:AAAAtQ3Ut2XW8yQ1PpvPR3fmpbKz0X6V5vYAmrb6x9M"};
const HostKeyIdentity key_b{"ecdsa-sha2-nistp256",
                            "SHA256:bbbbYn4cFg1nQkuJ8JJ0YoKc2lV8Qn9gI+1v0pQyZJE"};

const char* const one_pin_form =
    "{\n"
    "  \"entries\": [\n"
    "    {\n"
    "      \"host\": \"h\\u00e9\\\"x\",\n"
    "      \"port\": 22,\n"
    "      \"identity\": {\n"
    "        \"algorithm\": \"ssh-ed25519\",\n"
    "        \"fingerprint\": \"SHA256:AAAAtQ3Ut2XW8yQ1PpvPR3fmpbKz0X6V5vYAmrb6x9M\"\n"
    "      }\n"
    "    }\n"
    "  ]\n"
    "}";

mode_t mode_of(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

ino_t inode_of(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info.st_ino;
}

// Each test gets its own environment: the store path rules read it anew.
class TrustStore : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("REMOTE_SSH_KNOWN_HOSTS");
    ::setenv("XDG_STATE_HOME", (dir.path() / "state").c_str(), 1);
    store_dir = dir.path() / "private";
    fs::create_directory(store_dir);
    fs::permissions(store_dir, fs::perms::owner_all, fs::perm_options::replace);
    file = store_dir / "known-hosts.json";
  }
  TempDir dir;
  fs::path store_dir;
  fs::path file;
};

TEST(KnownHostsForm, WritesTheEmptyAndOnePinFormsExactly) {
  EXPECT_EQ(serialize_known_hosts({}).value(), "{\n  \"entries\": []\n}");
  // Non-ASCII stays UTF-8 text; quotes are escaped.
  KnownHosts one{{{"h\xc3\xa9\"x", 22, key_a}}};
  std::string expected = one_pin_form;
  expected.replace(expected.find("\\u00e9"), 6, "\xc3\xa9");
  EXPECT_EQ(serialize_known_hosts(one).value(), expected);
  EXPECT_EQ(parse_known_hosts(expected).value(), one);
}

TEST(KnownHostsForm, ReadsFreeFormAndRejectsEveryBrokenFile) {
  const KnownHosts one{{{"h", 22, key_a}}};
  const std::string ident =
      R"("identity":{"algorithm":"ssh-ed25519","fingerprint":")" + key_a.fingerprint + "\"}";
  struct Case {
    const char* name;
    std::string text;
    bool ok;
    std::string error_part;
  };
  const Case cases[] = {
      {"reordered with extra keys",
       "{\"x\":[1,{\"host\":2}],\"entries\":[{" + ident +
           ",\"port\":22,\"extra\":{\"host\":1},\"host\":\"h\"}]}",
       true, ""},
      {"empty object", "{}", false, "missing key \"entries\""},
      {"empty file", "", false, "parse error"},
      {"not json", "{\"entries\": [", false, "parse error"},
      {"entries not array", R"({"entries":{}})", false, "\"entries\" must be an array"},
      {"port above 65535", "{\"entries\":[{\"host\":\"h\",\"port\":65536," + ident + "}]}", false,
       "\"port\""},
      {"negative port", "{\"entries\":[{\"host\":\"h\",\"port\":-1," + ident + "}]}", false,
       "\"port\""},
      {"fractional port", "{\"entries\":[{\"host\":\"h\",\"port\":22.0," + ident + "}]}", false,
       "\"port\""},
      {"string port", "{\"entries\":[{\"host\":\"h\",\"port\":\"22\"," + ident + "}]}", false,
       "\"port\""},
      {"missing fingerprint",
       R"({"entries":[{"host":"h","port":22,"identity":{"algorithm":"a"}}]})", false,
       "missing key \"fingerprint\""},
      {"duplicate host",
       "{\"entries\":[{\"host\":\"h\",\"host\":\"g\",\"port\":22," + ident + "}]}", false,
       "duplicate key \"host\""},
      {"duplicate entries", R"({"entries":[],"entries":[]})", false, "duplicate key"},
      {"entry not object", R"({"entries":[1]})", false, "must be an object"},
      {"root not object", "[]", false, "JSON object"},
      {"invalid utf-8", "{\"entries\":[{\"host\":\"\xff\",\"port\":22," + ident + "}]}", false,
       "parse error"},
      {"deep nesting", "{\"x\":" + std::string(5000, '[') + std::string(5000, ']') + "}", false,
       "nesting"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto parsed = parse_known_hosts(c.text);
    ASSERT_EQ(parsed.has_value(), c.ok) << (parsed ? "" : parsed.error().message);
    if (c.ok) {
      EXPECT_EQ(*parsed, one);
    } else {
      EXPECT_NE(parsed.error().message.find(c.error_part), std::string::npos)
          << parsed.error().message;
    }
  }
}

TEST(KnownHostsCheck, OnlyTheFirstPinOfTheExactTargetCounts) {
  const std::vector<KnownHostEntry> entries{
      {"h", 22, key_a}, {"h", 2222, key_b}, {"h", 22, key_b}, {"H", 22, key_b}};
  struct Case {
    const char* host;
    std::uint16_t port;
    HostKeyIdentity observed;
    HostKeyVerdict verdict;
  };
  const Case cases[] = {
      {"h", 22, key_a, HostKeyTrusted{}},        {"h", 22, key_b, HostKeyChanged{key_a, key_b}},
      {"h", 2222, key_b, HostKeyTrusted{}},      {"H", 22, key_a, HostKeyChanged{key_b, key_a}},
      {"h", 23, key_a, HostKeyUntrusted{key_a}}, {"h.", 22, key_a, HostKeyUntrusted{key_a}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.host) + ":" + std::to_string(c.port));
    EXPECT_EQ(check_host_key(entries, c.host, c.port, c.observed), c.verdict);
  }
}

TEST(KnownHostsMessage, SentencesAreBuiltByPlainConcatenation) {
  EXPECT_EQ(host_key_message(HostKeyUntrusted{key_a}, "h", 22),
            "SSH host key for h:22 needs explicit trust: ssh-ed25519 " + key_a.fingerprint);
  EXPECT_EQ(host_key_message(HostKeyChanged{key_a, key_b}, "10.0.0.1", 2222),
            "SSH host key changed for 10.0.0.1:2222. Expected ssh-ed25519 " + key_a.fingerprint +
                "; received ecdsa-sha2-nistp256 " + key_b.fingerprint + ". Connection blocked.");
  EXPECT_EQ(host_key_message(HostKeyStoreUnavailable{"boom"}, "h", 22),
            "SSH host-key store is unavailable: boom");
}

TEST_F(TrustStore, FirstTrustCreatesAPrivateDirectoryAndFile) {
  const fs::path path = known_hosts_path().value();
  EXPECT_EQ(path, dir.path() / "state" / "kova" / "remote" / "known-hosts.json");
  EXPECT_EQ(mode_of(path.parent_path()), 0700u);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(check_host_key(load_known_hosts(path).value().entries, "h", 22, key_a),
            HostKeyVerdict{HostKeyUntrusted{key_a}});

  ASSERT_TRUE(trust_host_key(path, "h", 22, key_a).has_value());
  EXPECT_EQ(mode_of(path), 0600u);
  KnownHosts expected{{{"h", 22, key_a}}};
  EXPECT_EQ(read_file(path), serialize_known_hosts(expected).value());
  EXPECT_EQ(check_host_key(load_known_hosts(path).value().entries, "h", 22, key_a),
            HostKeyVerdict{HostKeyTrusted{}});
}

TEST_F(TrustStore, RetrustingNeverRewritesAndADifferentKeyIsRefused) {
  ASSERT_TRUE(trust_host_key(file, "h", 22, key_a).has_value());
  const std::string before = read_file(file);
  const ino_t inode = inode_of(file);

  EXPECT_TRUE(trust_host_key(file, "h", 22, key_a).has_value());
  const auto refused = trust_host_key(file, "h", 22, key_b);
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().message,
            "a different trusted host key already exists; forget it before retrusting");
  EXPECT_EQ(inode_of(file), inode);  // a rewrite would have renamed a new file in
  EXPECT_EQ(read_file(file), before);

  ASSERT_TRUE(trust_host_key(file, "h", 2222, key_b).has_value());
  EXPECT_EQ(load_known_hosts(file).value().entries.back(), (KnownHostEntry{"h", 2222, key_b}));
}

TEST_F(TrustStore, ForgetRemovesEveryPinOfTheTargetAndKeepsTheOrder) {
  const KnownHosts hand_edited{
      {{"a", 1, key_a}, {"h", 22, key_a}, {"b", 2, key_b}, {"h", 22, key_b}, {"c", 3, key_a}}};
  ASSERT_TRUE(save_known_hosts(file, hand_edited).has_value());
  const ino_t inode = inode_of(file);

  EXPECT_EQ(forget_host_key(file, "h", 23).value(), false);
  EXPECT_EQ(inode_of(file), inode);

  EXPECT_EQ(forget_host_key(file, "h", 22).value(), true);
  const KnownHosts rest{{{"a", 1, key_a}, {"b", 2, key_b}, {"c", 3, key_a}}};
  EXPECT_EQ(load_known_hosts(file).value(), rest);
  EXPECT_EQ(mode_of(file), 0600u);
}

TEST_F(TrustStore, UnknownKeysAreReadAndDroppedAtTheNextSave) {
  write_file(file, "{\"entries\":[],\"note\":1}", 0600);
  ASSERT_TRUE(trust_host_key(file, "h", 22, key_a).has_value());
  EXPECT_EQ(read_file(file).find("note"), std::string::npos);
}

TEST_F(TrustStore, UnsafeFilesAndDirectoriesMakeTheStoreUnusable) {
  const std::string group_file =
      "SSH host-key store must not be accessible to group or other users";
  const std::string group_dir =
      "SSH host-key store parent must not be accessible to group or other users";
  const std::string pinned = serialize_known_hosts({{{"h", 22, key_a}}}).value();
  struct Case {
    const char* name;
    std::function<fs::path()> prepare;  // returns the path to use
    std::string error;
  };
  const Case cases[] = {
      {"file 0640",
       [&] {
         write_file(file, pinned, 0640);
         return file;
       },
       group_file},
      {"directory 0750",
       [&] {
         write_file(file, pinned, 0600);
         fs::permissions(store_dir, fs::perms(0750), fs::perm_options::replace);
         return file;
       },
       group_dir},
      {"file is a symlink",
       [&] {
         write_file(dir.path() / "real.json", pinned, 0600);
         fs::create_symlink(dir.path() / "real.json", file);
         return file;
       },
       "SSH host-key store must be a regular file"},
      {"file is a directory",
       [&] {
         fs::create_directory(file);
         return file;
       },
       "SSH host-key store must be a regular file"},
      {"parent is a symlink",
       [&] {
         fs::create_directory_symlink(store_dir, dir.path() / "link");
         return dir.path() / "link" / "known-hosts.json";
       },
       "SSH host-key store parent must be a real directory"},
      {"parent is missing", [&] { return dir.path() / "missing" / "known-hosts.json"; },
       "No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(store_dir);
    fs::remove(dir.path() / "link");
    fs::create_directory(store_dir);
    fs::permissions(store_dir, fs::perms::owner_all, fs::perm_options::replace);
    const fs::path path = c.prepare();
    const std::string before = fs::is_regular_file(path) ? read_file(path) : "";

    EXPECT_EQ(load_known_hosts(path).error().message, c.error);
    EXPECT_EQ(trust_host_key(path, "x", 1, key_b).error().message, c.error);
    EXPECT_EQ(forget_host_key(path, "h", 22).error().message, c.error);
    ::setenv("REMOTE_SSH_KNOWN_HOSTS", path.c_str(), 1);
    EXPECT_EQ(known_hosts_path().error().message, c.error);
    ::unsetenv("REMOTE_SSH_KNOWN_HOSTS");
    if (fs::is_regular_file(path)) {
      EXPECT_EQ(read_file(path), before);
    }
  }
  EXPECT_FALSE(fs::exists(dir.path() / "missing"));
}

TEST_F(TrustStore, BrokenJsonIsReportedAndNeverRewritten) {
  write_file(file, "{\"entries\": [ {\"host\": ", 0600);
  const auto loaded = load_known_hosts(file);
  ASSERT_FALSE(loaded.has_value());
  EXPECT_NE(loaded.error().message.find("parse error"), std::string::npos);
  EXPECT_EQ(trust_host_key(file, "h", 22, key_a).error().message, loaded.error().message);
  EXPECT_EQ(read_file(file), "{\"entries\": [ {\"host\": ");
}

TEST_F(TrustStore, OverridePathRules) {
  struct Case {
    const char* value;
    std::string error;  // empty: accepted
  };
  const Case cases[] = {
      {"known-hosts.json", "SSH host-key store has no private parent directory"},
      {"", "SSH host-key store has no private parent directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    ::setenv("REMOTE_SSH_KNOWN_HOSTS", c.value, 1);
    EXPECT_EQ(known_hosts_path().error().message, c.error);
  }
  ::setenv("REMOTE_SSH_KNOWN_HOSTS", file.c_str(), 1);
  EXPECT_EQ(known_hosts_path().value(), file);
  EXPECT_FALSE(fs::exists(dir.path() / "state"));  // the override creates nothing
}

TEST_F(TrustStore, NoStateDirectoryAndNoOverride) {
  ::unsetenv("XDG_STATE_HOME");
  ::unsetenv("HOME");
  EXPECT_EQ(known_hosts_path().error().message,
            "no private state directory is available for SSH host trust");
}

TEST(HostKeyIdentity, FingerprintsMatchSshKeygen) {
  TempDir dir;
  for (const char* type : {"ed25519", "ecdsa", "rsa"}) {
    SCOPED_TRACE(type);
    const fs::path key = dir.path() / type;
    const auto made =
        testing::run_command("ssh-keygen -q -t " + std::string(type) + " -N '' -f " + key.string());
    ASSERT_EQ(made.status, 0) << "ssh-keygen is required: " << made.output;
    // "<algorithm> <base64 blob> <comment>"
    std::istringstream pub(read_file(key.string() + ".pub"));
    std::string algorithm, blob_text;
    pub >> algorithm >> blob_text;
    const auto blob = decode_base64(blob_text);
    ASSERT_TRUE(blob.has_value());
    const auto listed = testing::run_command("ssh-keygen -l -E sha256 -f " + key.string() + ".pub");
    ASSERT_EQ(listed.status, 0) << listed.output;
    std::istringstream line(listed.output);
    std::string bits, fingerprint;
    line >> bits >> fingerprint;
    EXPECT_EQ(host_key_identity(algorithm, *blob), (HostKeyIdentity{algorithm, fingerprint}));
  }
  EXPECT_FALSE(decode_base64("not base64!").has_value());
}

}  // namespace
}  // namespace remote::ssh
