#include "profiles/sample.h"

#include <array>

#include "core/endpoint_key.h"

namespace remote::profiles {

namespace {

using Seed = kova::p2p::EndpointKey::Bytes;

// Fixed secret keys of the sample devices. They only give the samples stable
// endpoint ids; no session is ever authenticated with them.
constexpr std::array<Seed, 4> device_seeds{{
    {0x25, 0x2f, 0x71, 0x72, 0x00, 0x08, 0x6e, 0xf8, 0x5e, 0x21, 0x94,
     0xe5, 0x97, 0x6b, 0x3a, 0xd8, 0xc3, 0x9f, 0x51, 0xe0, 0xc8, 0x86,
     0x01, 0xf3, 0x79, 0xa4, 0x76, 0x86, 0x22, 0x29, 0x96, 0x41},
    {0xf2, 0xb3, 0x15, 0x4f, 0xf8, 0x03, 0x02, 0xf8, 0x5d, 0x6b, 0xc4,
     0xce, 0x4e, 0x89, 0x67, 0x08, 0xe0, 0xc6, 0xfa, 0x8f, 0x2b, 0x77,
     0x05, 0x95, 0x58, 0x72, 0x31, 0xf3, 0x21, 0x23, 0xd3, 0xd3},
    {0x02, 0xcf, 0x93, 0x14, 0x0f, 0x50, 0xc4, 0x9d, 0x57, 0xaf, 0x15,
     0xed, 0xc8, 0xdf, 0x07, 0x42, 0xdf, 0x0b, 0xc3, 0x26, 0x82, 0xab,
     0x6b, 0xfe, 0x6c, 0x9e, 0x97, 0xc7, 0x83, 0xd2, 0x84, 0xd5},
    {0xd6, 0xad, 0x50, 0x9a, 0x25, 0x86, 0xcf, 0xce, 0x7d, 0xf2, 0x47,
     0xe4, 0x03, 0x2a, 0x30, 0x2f, 0x45, 0x8e, 0x3c, 0xb3, 0x81, 0xfb,
     0x54, 0x49, 0xd7, 0x72, 0x42, 0xf4, 0x77, 0xa9, 0x2c, 0xe4},
}};

std::string device_endpoint_id(std::size_t index) {
  return kova::p2p::EndpointKey::from_secret(device_seeds.at(index)).to_string();
}

struct SampleRow {
  const char* name;
  ConnectionKind kind;
  const char* host;  // nullptr: the endpoint id of the device of the same name
  std::size_t device;
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

constexpr std::array<SampleRow, 8> sample_rows{{
    {"Build Box", Ssh, "build-01.lab.local", 0, 22, "admin", PublicKey, Online, true, "12m ago",
     "lab"},
    {"Studio Node", Kova, nullptr, 0, 0, "", DeviceIdentity, Online, true, "just now", "Kova"},
    {"Office NAS", Vnc, "192.168.1.20", 0, 5900, "media", Password, Online, false, "2h ago",
     "home"},
    {"Win Workstation", Rdp, "10.0.0.45", 0, 3389, "maria", Password, Offline, false, "yesterday",
     "work"},
    {"Edge Gateway", Ssh, "edge.example.net", 0, 2222, "root", PublicKey, Online, false, "3d ago",
     "prod"},
    {"Pi Cluster Head", Ssh, "192.168.50.10", 0, 22, "pi", Password, Offline, false, "1w ago",
     "lab"},
    {"Workshop Laptop", Kova, nullptr, 1, 0, "", DeviceIdentity, Online, false, "5h ago", "Kova"},
    {"Backup Vault", Vnc, "vault.backup.corp", 0, 5901, "ops", Password, Unknown, false, "Never",
     "prod"},
}};

}  // namespace

std::vector<DiscoveredDevice> sample_devices() {
  return {
      {"Studio Node", device_endpoint_id(0), Online},
      {"Workshop Laptop", device_endpoint_id(1), Online},
      {"Living Room TV", device_endpoint_id(2), Online},
      {"Garage Pi", device_endpoint_id(3), Offline},
  };
}

std::vector<ConnectionProfile> sample_profiles() {
  std::vector<ConnectionProfile> profiles;
  profiles.reserve(sample_rows.size());
  for (const auto& row : sample_rows) {
    profiles.push_back(ConnectionProfile{
        .id = ConnectionId::random(),
        .name = row.name,
        .host = row.host ? std::string(row.host) : device_endpoint_id(row.device),
        .port = row.port,
        .user = row.user,
        .group = row.group,
        .kind = row.kind,
        .auth = row.auth,
        .favorite = row.favorite,
        .last_used = row.last_used,
        .presence = row.presence,
    });
  }
  return profiles;
}

}  // namespace remote::profiles
