#include "profiles/sample.h"

#include <gtest/gtest.h>

#include <set>

#include "core/endpoint_key.h"
#include "profiles/validate.h"

namespace remote::profiles {
namespace {

TEST(Sample, DevicesAreFixedDistinctEndpointIds) {
  const auto devices = sample_devices();
  ASSERT_EQ(devices.size(), 4u);
  const std::vector<std::pair<std::string, Presence>> expected = {
      {"Studio Node", Presence::Online},
      {"Workshop Laptop", Presence::Online},
      {"Living Room TV", Presence::Online},
      {"Garage Pi", Presence::Offline}};
  std::set<std::string> ids;
  for (std::size_t i = 0; i < devices.size(); ++i) {
    SCOPED_TRACE(devices[i].name);
    EXPECT_EQ(devices[i].name, expected[i].first);
    EXPECT_EQ(devices[i].presence, expected[i].second);
    const auto key = kova::p2p::EndpointKey::parse(devices[i].endpoint_id);
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(key->to_string(), devices[i].endpoint_id);
    ids.insert(devices[i].endpoint_id);
  }
  EXPECT_EQ(ids.size(), 4u);
  EXPECT_EQ(sample_devices(), devices);
}

TEST(Sample, ProfilesMatchTheTable) {
  struct Row {
    const char* name;
    ConnectionKind kind;
    std::uint16_t port;
    const char* user;
    AuthMethod auth;
    Presence presence;
    bool favorite;
    const char* last_used;
    const char* group;
  };
  using enum ConnectionKind;
  using enum AuthMethod;
  using enum Presence;
  const std::vector<Row> rows = {
      {"Build Box", Ssh, 22, "admin", PublicKey, Online, true, "12m ago", "lab"},
      {"Studio Node", Kova, 0, "", DeviceIdentity, Online, true, "just now", "Kova"},
      {"Office NAS", Vnc, 5900, "media", Password, Online, false, "2h ago", "home"},
      {"Win Workstation", Rdp, 3389, nullptr, Password, Offline, false, "yesterday", "work"},
      {"Edge Gateway", Ssh, 2222, "root", PublicKey, Online, false, "3d ago", "prod"},
      {"Pi Cluster Head", Ssh, 22, "pi", Password, Offline, false, "1w ago", "lab"},
      {"Workshop Laptop", Kova, 0, "", DeviceIdentity, Online, false, "5h ago", "Kova"},
      {"Backup Vault", Vnc, 5901, "ops", Password, Unknown, false, "Never", "prod"},
  };
  const auto profiles = sample_profiles();
  const auto devices = sample_devices();
  ASSERT_EQ(profiles.size(), rows.size());
  std::set<ConnectionId> ids;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const auto& p = profiles[i];
    const auto& r = rows[i];
    SCOPED_TRACE(r.name);
    EXPECT_EQ(p.name, r.name);
    EXPECT_EQ(p.kind, r.kind);
    EXPECT_EQ(p.port, r.port);
    if (r.user)
      EXPECT_EQ(p.user, r.user);
    else
      EXPECT_FALSE(p.user.empty());
    EXPECT_EQ(p.auth, r.auth);
    EXPECT_EQ(p.presence, r.presence);
    EXPECT_EQ(p.favorite, r.favorite);
    EXPECT_EQ(p.last_used, r.last_used);
    EXPECT_EQ(p.group, r.group);
    EXPECT_EQ(p.id.to_string()[14], '4');
    // Every sample can be opened as far as its own consistency goes.
    EXPECT_EQ(profile_problem(p.kind, p.host, p.auth), std::nullopt);
    ids.insert(p.id);
  }
  EXPECT_EQ(ids.size(), rows.size());
  EXPECT_EQ(profiles[0].host.size(), 18u);
  EXPECT_TRUE(profiles[0].host.ends_with(".lab.local"));
  EXPECT_EQ(profiles[4].host.size(), 16u);
  EXPECT_EQ(profiles[7].host.size(), 17u);
  EXPECT_EQ(profiles[1].host, devices[0].endpoint_id);
  EXPECT_EQ(profiles[6].host, devices[1].endpoint_id);
  EXPECT_NE(sample_profiles()[0].id, profiles[0].id);
}

}  // namespace
}  // namespace remote::profiles
