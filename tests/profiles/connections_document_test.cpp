#include "profiles/connections_document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "profiles/sample.h"

namespace remote::profiles {
namespace {

namespace doc = kova::doc;

ConnectionProfile profile(std::string name) {
  return ConnectionProfile{.id = ConnectionId::random(),
                           .name = std::move(name),
                           .host = "h.example",
                           .port = 2222,
                           .user = "me",
                           .group = "lab",
                           .kind = ConnectionKind::Ssh,
                           .auth = AuthMethod::PublicKey,
                           .favorite = true,
                           .last_used = "2h ago",
                           .presence = Presence::Offline};
}

doc::ObjId connection_map(const doc::Document& d, const ConnectionId& id) {
  const auto connections = std::get<doc::ObjRef>(*d.get(doc::root, "connections"));
  return std::get<doc::ObjRef>(*d.get(connections.id, id.to_string())).id;
}

doc::Scalar scalar(const doc::Document& d, doc::ObjId obj, std::string_view key) {
  return std::get<doc::Scalar>(*d.get(obj, key));
}

TEST(ConnectionsDocument, EveryProfileRoundTripsWithItsStoredTypes) {
  doc::Document d;
  auto profiles = sample_profiles();
  profiles.push_back(profile("Caf\u00e9 \U0001F600"));
  for (const auto& p : profiles)
    write_profile(d, p);
  auto loaded = load_connections(d);
  // The store lists keys in its own order.
  std::ranges::sort(profiles, {}, &ConnectionProfile::id);
  std::ranges::sort(loaded, {}, &ConnectionProfile::id);
  EXPECT_EQ(loaded, profiles);

  const auto& p = profiles.front();
  const auto obj = connection_map(d, p.id);
  const auto name = std::get<doc::ObjRef>(*d.get(obj, "name"));
  EXPECT_EQ(name.type, doc::ObjType::Text);
  EXPECT_EQ(d.text(name.id).value(), p.name);
  EXPECT_EQ(scalar(d, obj, "port"), doc::Scalar(std::int64_t{p.port}));
  EXPECT_EQ(scalar(d, obj, "kind"), doc::Scalar(std::string(kind_document_text(p.kind))));
  EXPECT_EQ(scalar(d, obj, "auth"), doc::Scalar(std::string(auth_label(p.auth))));
  EXPECT_EQ(scalar(d, obj, "presence"),
            doc::Scalar(std::string(presence_document_text(p.presence))));
  EXPECT_EQ(scalar(d, obj, "favorite"), doc::Scalar(p.favorite));
  EXPECT_EQ(d.keys(obj),
            (std::vector<std::string>{"auth", "favorite", "group", "host", "kind", "last_used",
                                      "name", "port", "presence", "user"}));
}

TEST(ConnectionsDocument, MissingOrWrongConnectionsLoadEmptyAndWritingCreatesTheMap) {
  for (const bool string_there : {false, true}) {
    SCOPED_TRACE(string_there ? "connections is a string" : "no connections");
    doc::Document d;
    if (string_there) {
      ASSERT_TRUE(d.put(doc::root, "connections", std::string{"oops"}));
    }
    EXPECT_TRUE(load_connections(d).empty());
    const auto p = profile("Box");
    write_profile(d, p);
    EXPECT_EQ(load_connections(d), std::vector{p});
    EXPECT_EQ(std::get<doc::ObjRef>(*d.get(doc::root, "connections")).type, doc::ObjType::Map);
  }
}

TEST(ConnectionsDocument, MalformedEntriesAreSkippedOrReadAsDefaults) {
  doc::Document d;
  const auto good = profile("Good");
  write_profile(d, good);
  const auto connections = ensure_connections_map(d);
  ASSERT_TRUE(d.put_object(connections, "not-a-uuid", doc::ObjType::Map));
  ASSERT_TRUE(d.put(connections, ConnectionId::random().to_string(), std::string{"scalar"}));
  ASSERT_TRUE(d.put_object(connections, ConnectionId::random().to_string(), doc::ObjType::Text));
  const auto odd_id = ConnectionId::random();
  const auto odd = *d.put_object(connections, odd_id.to_string(), doc::ObjType::Map);
  ASSERT_TRUE(d.put(odd, "name", std::string{"plain string"}));
  ASSERT_TRUE(d.put(odd, "host", std::int64_t{5}));
  ASSERT_TRUE(d.put_object(odd, "user", doc::ObjType::Map));
  ASSERT_TRUE(d.put(odd, "kind", std::string{"vnc"}));
  ASSERT_TRUE(d.put(odd, "auth", true));
  ASSERT_TRUE(d.put(odd, "favorite", std::string{"true"}));
  ASSERT_TRUE(d.put(odd, "presence", std::string{"Online"}));
  ASSERT_TRUE(d.put(odd, "unknown", std::string{"kept"}));

  auto loaded = load_connections(d);
  ASSERT_EQ(loaded.size(), 2u);
  if (loaded[0].id != good.id) std::swap(loaded[0], loaded[1]);
  EXPECT_EQ(loaded[0], good);
  EXPECT_EQ(loaded[1], (ConnectionProfile{.id = odd_id,
                                          .name = "",
                                          .host = "",
                                          .port = 0,
                                          .user = "",
                                          .group = "",
                                          .kind = ConnectionKind::Ssh,
                                          .auth = AuthMethod::Password,
                                          .favorite = false,
                                          .last_used = "",
                                          .presence = Presence::Unknown}));

  // A rename replaces the plain string with a text object; unknown keys stay.
  write_rename(d, odd_id, "Renamed");
  EXPECT_EQ(find_connection(d, odd_id)->name, "Renamed");
  EXPECT_EQ(std::get<doc::ObjRef>(*d.get(odd, "name")).type, doc::ObjType::Text);
  EXPECT_EQ(scalar(d, odd, "unknown"), doc::Scalar(std::string{"kept"}));
  EXPECT_EQ(scalar(d, odd, "host"), doc::Scalar(std::int64_t{5}));
}

TEST(ConnectionsDocument, PortReadsTheLowSixteenBitsOfAnyNumber) {
  const std::vector<std::pair<doc::Scalar, std::uint16_t>> cases = {
      {std::int64_t{22}, 22},
      {std::int64_t{70000}, 4464},
      {std::int64_t{-1}, 65535},
      {std::uint64_t{65536 + 80}, 80},
      {22.9, 22},
      {-0.5, 0},
      {1e300, 65535},
      {-1e300, 0},
      {std::numeric_limits<double>::quiet_NaN(), 0},
      {doc::Counter{443}, 443},
      {doc::Timestamp{65537}, 1},
      {std::string{"22"}, 0},
      {true, 0},
      {doc::Null{}, 0},
  };
  for (const auto& [stored, port] : cases) {
    SCOPED_TRACE(port);
    doc::Document d;
    const auto p = profile("Box");
    write_profile(d, p);
    ASSERT_TRUE(d.put(connection_map(d, p.id), "port", stored));
    EXPECT_EQ(load_connections(d).at(0).port, port);
  }
}

TEST(ConnectionsDocument, RewritingAnUnchangedProfileWritesNothing) {
  doc::Document d;
  auto p = profile("Box");
  write_profile(d, p);
  ASSERT_TRUE(d.commit("first"));
  write_profile(d, p);
  EXPECT_FALSE(d.has_pending());

  p.port = 22;
  write_profile(d, p);
  ASSERT_TRUE(d.has_pending());
  const auto change = d.commit("port");
  ASSERT_EQ(change->ops.size(), 1u);
  EXPECT_EQ(std::get<doc::PutOp>(change->ops[0]).key, "port");
}

TEST(ConnectionsDocument, ChangesToMissingConnectionsDoNothing) {
  doc::Document d;
  const auto p = profile("Box");
  write_profile(d, p);
  const auto other = ConnectionId::random();
  write_rename(d, other, "x");
  write_favorite(d, other, false);
  write_delete(d, other);
  EXPECT_EQ(load_connections(d), std::vector{p});
  EXPECT_EQ(d.keys(ensure_connections_map(d)), std::vector{p.id.to_string()});
}

TEST(ConnectionsDocument, RenameFavoriteAndDeleteTouchOnlyTheirField) {
  doc::Document d;
  auto p = profile("Box");
  const auto q = profile("Other");
  write_profile(d, p);
  write_profile(d, q);

  write_rename(d, p.id, "Box 2");
  p.name = "Box 2";
  EXPECT_EQ(find_connection(d, p.id), p);

  write_favorite(d, p.id, false);
  p.favorite = false;
  EXPECT_EQ(find_connection(d, p.id), p);

  write_delete(d, p.id);
  EXPECT_EQ(find_connection(d, p.id), std::nullopt);
  EXPECT_EQ(load_connections(d), std::vector{q});
}

TEST(ConnectionsDocument, ConcurrentRenamesMergeCharacterByCharacter) {
  doc::Document a;
  const auto p = profile("Build Box");
  write_profile(a, p);
  ASSERT_TRUE(a.commit("create"));
  doc::Document b;
  ASSERT_TRUE(b.apply(a.history()));

  write_rename(a, p.id, "Build Box 2");
  write_rename(b, p.id, "My Build Box");
  ASSERT_TRUE(a.commit("a"));
  ASSERT_TRUE(b.commit("b"));
  ASSERT_TRUE(a.apply(b.history()));
  ASSERT_TRUE(b.apply(a.history()));
  EXPECT_EQ(find_connection(a, p.id)->name, "My Build Box 2");
  EXPECT_EQ(load_connections(a), load_connections(b));
}

}  // namespace
}  // namespace remote::profiles
