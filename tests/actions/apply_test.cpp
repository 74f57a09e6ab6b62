#include "actions/apply.h"

#include <gtest/gtest.h>

#include "profiles/connections_document.h"

namespace remote::actions {
namespace {

namespace doc = kova::doc;
using profiles::ConnectionProfile;
using profiles::Presence;

const UpsertConnection upsert{ConnectionId::random(), "  Spaced  ",         "k", 0, "ignored",
                              ConnectionKind::Kova,   AuthMethod::Password, ""};

// Decodes the way the registry's handler does, then applies.
void apply_json(doc::Document& d, const RemoteAction& action) {
  const auto decoded = decode_remote_action(encode_remote_action(action));
  ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
  EXPECT_TRUE(apply_remote_action(*decoded, d).has_value());
}

TEST(ApplyRemoteAction, UpsertOfANewIdStoresTheActionAsItIsWithDefaults) {
  doc::Document d;
  apply_json(d, upsert);
  const std::vector expected{ConnectionProfile{.id = upsert.id,
                                               .name = "  Spaced  ",
                                               .host = "k",
                                               .port = 0,
                                               .user = "ignored",
                                               .group = "",
                                               .kind = ConnectionKind::Kova,
                                               .auth = AuthMethod::Password,
                                               .favorite = false,
                                               .last_used = "Never",
                                               .presence = Presence::Unknown}};
  EXPECT_EQ(profiles::load_connections(d), expected);
}

TEST(ApplyRemoteAction, UpsertOfAnExistingIdKeepsFavoritePresenceAndLastUse) {
  doc::Document d;
  profiles::write_profile(d, ConnectionProfile{.id = upsert.id,
                                               .name = "Old",
                                               .host = "old",
                                               .port = 22,
                                               .user = "old",
                                               .group = "old",
                                               .kind = ConnectionKind::Ssh,
                                               .auth = AuthMethod::PublicKey,
                                               .favorite = true,
                                               .last_used = "3d ago",
                                               .presence = Presence::Online});
  apply_json(d, upsert);
  const auto stored = profiles::find_connection(d, upsert.id);
  ASSERT_TRUE(stored);
  EXPECT_EQ(*stored, (ConnectionProfile{.id = upsert.id,
                                        .name = "  Spaced  ",
                                        .host = "k",
                                        .port = 0,
                                        .user = "ignored",
                                        .group = "",
                                        .kind = ConnectionKind::Kova,
                                        .auth = AuthMethod::Password,
                                        .favorite = true,
                                        .last_used = "3d ago",
                                        .presence = Presence::Online}));
}

TEST(ApplyRemoteAction, RenameFavoriteDeleteAndTheirMissingIds) {
  doc::Document d;
  apply_json(d, upsert);
  const auto missing = ConnectionId::random();
  for (const RemoteAction& action : std::vector<RemoteAction>{
           RenameConnection{missing, "x"}, SetFavorite{missing, true}, DeleteConnection{missing}}) {
    apply_json(d, action);
  }
  EXPECT_EQ(profiles::load_connections(d).size(), 1u);

  apply_json(d, RenameConnection{upsert.id, "Named"});
  apply_json(d, SetFavorite{upsert.id, true});
  auto stored = profiles::find_connection(d, upsert.id);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->name, "Named");
  EXPECT_TRUE(stored->favorite);
  EXPECT_EQ(stored->host, "k");

  apply_json(d, DeleteConnection{upsert.id});
  EXPECT_TRUE(profiles::load_connections(d).empty());
}

}  // namespace
}  // namespace remote::actions
