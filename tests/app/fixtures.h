// Shared fixtures of the application tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/remote_app.h"
#include "document/document.h"
#include "profiles/connections_document.h"

namespace remote::app::testing {

inline profiles::ConnectionProfile profile(std::string name, profiles::ConnectionKind kind,
                                           std::string host, std::uint16_t port,
                                           profiles::AuthMethod auth, bool favorite = false) {
  profiles::ConnectionProfile p;
  p.id = profiles::ConnectionId::random();
  p.name = std::move(name);
  p.kind = kind;
  p.host = std::move(host);
  p.port = port;
  p.auth = auth;
  p.favorite = favorite;
  p.user = kind == profiles::ConnectionKind::Ssh ? "admin" : "";
  p.group = "lab";
  p.last_used = "2h ago";
  p.presence = profiles::Presence::Online;
  return p;
}

// Four profiles of different kinds; "Zeta" is a favourite, so it sorts first.
inline std::vector<profiles::ConnectionProfile> four_profiles() {
  using K = profiles::ConnectionKind;
  using A = profiles::AuthMethod;
  return {profile("Alpha", K::Ssh, "alpha.lab", 22, A::Password),
          profile("Beta", K::Vnc, "10.0.0.2", 5900, A::Password),
          profile("Gamma", K::Rdp, "10.0.0.3", 3389, A::Password),
          profile("Zeta", K::Ssh, "zeta.lab", 2222, A::PublicKey, true)};
}

// The profile named `name`; the test fails when there is none.
inline const profiles::ConnectionProfile& named(const std::vector<profiles::ConnectionProfile>& list,
                                                std::string_view name) {
  for (const auto& p : list)
    if (p.name == name) return p;
  ADD_FAILURE() << "no profile named " << name;
  static const profiles::ConnectionProfile none;
  return none;
}

// The list in id order, for comparing lists whose order differs (the
// document enumerates its keys sorted).
inline std::vector<profiles::ConnectionProfile> by_id(std::vector<profiles::ConnectionProfile> list) {
  std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
  return list;
}

}  // namespace remote::app::testing
