#include <gtest/gtest.h>

#include "app/reducer.h"
#include "app/remote_app.h"
#include "app/sync.h"
#include "fixtures.h"
#include "profiles/connections_document.h"
#include "profiles/sample.h"

namespace {

using namespace remote::app;
using remote::app::testing::by_id;
using remote::app::testing::four_profiles;
using remote::app::testing::named;
namespace profiles = remote::profiles;

std::vector<profiles::ConnectionProfile> stored(const kova::doc::Document& d) {
  return by_id(profiles::load_connections(d));
}

TEST(Sync, FirstSynchronisation) {
  const auto samples = profiles::sample_profiles();
  const struct {
    const char* name;
    std::vector<profiles::ConnectionProfile> in_memory;
    std::vector<profiles::ConnectionProfile> in_document;
    std::vector<profiles::ConnectionProfile> want;  // both afterwards
  } cases[] = {
      {"sample list seeds an empty document", samples, {}, samples},
      {"a non-empty document is adopted", samples, four_profiles(), {}},
      {"normal mode writes nothing", {}, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    kova::doc::Document d;
    for (const auto& p : c.in_document) profiles::write_profile(d, p);
    d.commit("other replica");
    const auto document_before = stored(d);
    RemoteApp app(c.in_memory, {});
    app.state().needs_redraw = false;
    sync_from_document(app.state(), d);
    EXPECT_TRUE(app.state().document_synchronised);
    const auto want = c.in_document.empty() ? c.want : document_before;
    EXPECT_EQ(stored(d), by_id(want));
    EXPECT_EQ(by_id(app.state().profiles), by_id(want));
    if (!c.in_document.empty()) {
      EXPECT_FALSE(d.has_pending());  // adopted: nothing written
      EXPECT_TRUE(app.state().selection.has_value());
    }
  }
}

struct Synced : ::testing::Test {
  RemoteApp app{four_profiles(), {}};
  kova::doc::Document d;
  void SetUp() override {
    sync_from_document(app.state(), d);  // seeds
    d.commit("seed");
    sync_from_document(app.state(), d);  // takes the document's order
  }
  AppState& s() { return app.state(); }
  const profiles::ConnectionProfile& get(std::string_view name) { return named(s().profiles, name); }
};

TEST_F(Synced, UnchangedDocumentChangesNothing) {
  s().needs_redraw = false;
  sync_from_document(s(), d);
  EXPECT_FALSE(s().needs_redraw);
  EXPECT_FALSE(d.has_pending());
}

TEST_F(Synced, RemovedSelectionMovesToFirstVisible) {
  const auto zeta = get("Zeta").id;
  ASSERT_EQ(s().selection, zeta);
  profiles::write_delete(d, zeta);
  sync_from_document(s(), d);
  EXPECT_EQ(s().profiles.size(), 3u);
  EXPECT_EQ(s().selection, get("Alpha").id);
  EXPECT_TRUE(s().needs_redraw);
}

TEST_F(Synced, SelectionOfAnUnknownIdMovesAtTheNextReplacement) {
  s().selection = profiles::ConnectionId::random();
  s().search_text = "beta";
  const auto alpha = get("Alpha").id;
  profiles::write_rename(d, alpha, "Alpha 2");
  sync_from_document(s(), d);
  EXPECT_EQ(find_profile(s(), alpha)->name, "Alpha 2");
  EXPECT_EQ(s().selection, get("Beta").id);  // first visible under "beta"
}

TEST_F(Synced, DeletingTheSessionConnectionElsewhereEndsTheSession) {
  ::unsetenv("REMOTE_LIVE_SESSIONS");
  const auto gamma = get("Gamma").id;
  kova::doc::Document scratch;
  app.apply(msg::Connect{gamma}, scratch);
  ASSERT_TRUE(s().session);
  profiles::write_delete(d, gamma);
  sync_from_document(s(), d);
  EXPECT_FALSE(s().session);
  EXPECT_FALSE(s().session_connection);
  EXPECT_EQ(s().screen, Screen::list());
}

TEST_F(Synced, AnotherConnectionsRemovalKeepsTheSession) {
  ::unsetenv("REMOTE_LIVE_SESSIONS");
  kova::doc::Document scratch;
  app.apply(msg::Connect{get("Gamma").id}, scratch);
  profiles::write_delete(d, get("Alpha").id);
  sync_from_document(s(), d);
  EXPECT_TRUE(s().session);
}

}  // namespace
