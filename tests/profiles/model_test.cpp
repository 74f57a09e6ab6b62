#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "profiles/connection_id.h"
#include "profiles/profile.h"

namespace remote::profiles {
namespace {

TEST(ConnectionId, ParsesOnlyTheHyphenatedForm) {
  struct Case {
    std::string text;
    bool parses;
  };
  const std::vector<Case> cases = {
      {"0b5e9a1c-7d2f-4e3a-9c8b-1a2b3c4d5e6f", true},
      {"0B5E9A1C-7D2F-4E3A-9C8B-1A2B3C4D5E6F", true},
      {"00000000-0000-0000-0000-000000000000", true},
      {"", false},
      {"0b5e9a1c7d2f4e3a9c8b1a2b3c4d5e6f", false},
      {"{0b5e9a1c-7d2f-4e3a-9c8b-1a2b3c4d5e6f}", false},
      {"0b5e9a1c-7d2f-4e3a-9c8b-1a2b3c4d5e6", false},
      {"0b5e9a1c-7d2f-4e3a-9c8b-1a2b3c4d5e6f0", false},
      {"0b5e9a1c7-d2f-4e3a-9c8b-1a2b3c4d5e6f", false},
      {"0b5e9a1c-7d2f-4e3a-9c8b-1a2b3c4d5e6g", false},
      {" b5e9a1c-7d2f-4e3a-9c8b-1a2b3c4d5e6f", false},
      {std::string("0b5e9a1c-7d2f-4e3a-9c8b-1a2b3c4d5e6\0", 36), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto id = ConnectionId::parse(c.text);
    ASSERT_EQ(id.has_value(), c.parses);
    if (id) {
      std::string lower = c.text;
      for (auto& ch : lower)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      EXPECT_EQ(id->to_string(), lower);
      EXPECT_EQ(ConnectionId::parse(id->to_string()), id);
    }
  }
}

TEST(ConnectionId, RandomIdsAreDistinctVersionFour) {
  std::set<ConnectionId> seen;
  for (int i = 0; i < 64; ++i) {
    const auto id = ConnectionId::random();
    const auto text = id.to_string();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4') << text;
    EXPECT_NE(std::string("89ab").find(text[19]), std::string::npos) << text;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 64u);
}

TEST(Enumerations, KindTable) {
  struct Case {
    ConnectionKind kind;
    std::uint8_t byte;
    std::string_view label, document;
    std::optional<std::uint16_t> port;
    std::vector<AuthMethod> methods;
  };
  using enum ConnectionKind;
  using enum AuthMethod;
  const std::vector<Case> cases = {
      {Ssh, 0, "SSH", "SSH", 22, {Password, PublicKey}},
      {Vnc, 1, "VNC", "VNC", 5900, {Password}},
      {Rdp, 2, "RDP", "RDP", 3389, {Password}},
      {Kova, 3, "Kova device", "Kova", std::nullopt, {DeviceIdentity}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(static_cast<std::uint8_t>(c.kind), c.byte);
    EXPECT_EQ(kind_label(c.kind), c.label);
    EXPECT_EQ(kind_document_text(c.kind), c.document);
    EXPECT_EQ(kind_from_text(c.document), c.kind);
    EXPECT_EQ(default_port(c.kind), c.port);
    const auto methods = allowed_auth_methods(c.kind);
    EXPECT_EQ(std::vector<AuthMethod>(methods.begin(), methods.end()), c.methods);
    for (auto auth : {Password, PublicKey, DeviceIdentity}) {
      EXPECT_EQ(auth_allowed(c.kind, auth), std::ranges::find(c.methods, auth) != c.methods.end());
    }
  }
}

TEST(Enumerations, AuthAndPresenceTables) {
  using enum AuthMethod;
  const std::vector<std::tuple<AuthMethod, std::uint8_t, std::string_view, std::string_view>>
      auths = {{Password, 0, "Password", "password"},
               {PublicKey, 1, "Public key", "public-key"},
               {DeviceIdentity, 2, "Device identity", "device-identity"}};
  for (const auto& [auth, byte, label, slug] : auths) {
    SCOPED_TRACE(label);
    EXPECT_EQ(static_cast<std::uint8_t>(auth), byte);
    EXPECT_EQ(auth_label(auth), label);
    EXPECT_EQ(auth_slug(auth), slug);
    EXPECT_EQ(auth_from_label(label), auth);
    EXPECT_EQ(auth_from_slug(slug), auth);
  }
  using enum Presence;
  const std::vector<std::tuple<Presence, std::uint8_t, std::string_view>> presences = {
      {Online, 0, "online"}, {Offline, 1, "offline"}, {Unknown, 2, "unknown"}};
  for (const auto& [presence, byte, text] : presences) {
    SCOPED_TRACE(text);
    EXPECT_EQ(static_cast<std::uint8_t>(presence), byte);
    EXPECT_EQ(presence_document_text(presence), text);
    EXPECT_EQ(presence_from_text(text), presence);
  }
}

TEST(Enumerations, TextsOutsideTheTablesFallBack) {
  for (std::string_view text : {"ssh", "Kova device", "", "vnc", " VNC", "RDP ", "kova"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(kind_from_text(text), ConnectionKind::Ssh);
  }
  for (std::string_view text : {"Public Key", "public key", "password", "public-key", ""}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(auth_from_label(text), AuthMethod::Password);
  }
  for (std::string_view text : {"Public key", "device_identity", "Device-identity", ""}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(auth_from_slug(text), AuthMethod::Password);
  }
  for (std::string_view text : {"Online", "OFFLINE", " online", ""}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(presence_from_text(text), Presence::Unknown);
  }
}

TEST(ConnectionProfile, EqualityCoversEveryField) {
  const ConnectionProfile base{.id = ConnectionId::random(),
                               .name = "n",
                               .host = "h",
                               .port = 22,
                               .user = "u",
                               .group = "g",
                               .kind = ConnectionKind::Ssh,
                               .auth = AuthMethod::Password,
                               .favorite = false,
                               .last_used = "Never",
                               .presence = Presence::Unknown};
  const std::vector<std::pair<const char*, void (*)(ConnectionProfile&)>> edits = {
      {"id", [](ConnectionProfile& p) { p.id = ConnectionId::random(); }},
      {"name", [](ConnectionProfile& p) { p.name += "x"; }},
      {"host", [](ConnectionProfile& p) { p.host += "x"; }},
      {"port", [](ConnectionProfile& p) { p.port = 23; }},
      {"user", [](ConnectionProfile& p) { p.user += "x"; }},
      {"group", [](ConnectionProfile& p) { p.group += "x"; }},
      {"kind", [](ConnectionProfile& p) { p.kind = ConnectionKind::Rdp; }},
      {"auth", [](ConnectionProfile& p) { p.auth = AuthMethod::PublicKey; }},
      {"favorite", [](ConnectionProfile& p) { p.favorite = true; }},
      {"last_used", [](ConnectionProfile& p) { p.last_used = "just now"; }},
      {"presence", [](ConnectionProfile& p) { p.presence = Presence::Online; }},
  };
  EXPECT_EQ(base, ConnectionProfile(base));
  for (const auto& [field, edit] : edits) {
    SCOPED_TRACE(field);
    auto changed = base;
    edit(changed);
    EXPECT_NE(changed, base);
  }
}

}  // namespace
}  // namespace remote::profiles
