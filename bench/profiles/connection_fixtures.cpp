#include "connection_fixtures.h"

#include <array>
#include <string>

#include "profiles/connections_document.h"

namespace remote::profiles::bench {

std::vector<ConnectionProfile> make_profiles(std::size_t count) {
  constexpr std::array kinds{ConnectionKind::Ssh, ConnectionKind::Vnc, ConnectionKind::Rdp,
                             ConnectionKind::Ssh};
  constexpr std::array groups{"lab", "home", "work", "prod", ""};
  std::vector<ConnectionProfile> profiles;
  profiles.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const auto n = std::to_string(i);
    profiles.push_back(ConnectionProfile{
        .id = ConnectionId::random(),
        .name = "Machine " + n + " in rack",
        .host = "host-" + n + ".lab.example",
        .port = static_cast<std::uint16_t>(22 + i % 1000),
        .user = "user" + std::to_string(i % 7),
        .group = groups[i % groups.size()],
        .kind = kinds[i % kinds.size()],
        .auth = AuthMethod::Password,
        .favorite = i % 5 == 0,
        .last_used = i % 3 == 0 ? "Never" : "2h ago",
        .presence = static_cast<Presence>(i % 3),
    });
  }
  return profiles;
}

kova::doc::Document make_document(const std::vector<ConnectionProfile>& profiles) {
  kova::doc::Document document;
  for (const auto& profile : profiles)
    write_profile(document, profile);
  document.commit("seed");
  return document;
}

}  // namespace remote::profiles::bench
