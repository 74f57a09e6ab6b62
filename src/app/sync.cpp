#include "app/sync.h"

#include <algorithm>

#include "app/reducer.h"
#include "app/session.h"
#include "profiles/connections_document.h"

namespace remote::app {

namespace {

bool contains(const AppState& app, const ConnectionId& id) { return find_profile(app, id) != nullptr; }

void after_replacement(AppState& app, bool was_synchronised) {
  if (!app.selection || !contains(app, *app.selection)) app.selection = first_visible(app);
  if (was_synchronised && app.session_connection && !contains(app, *app.session_connection))
    disconnect(app);
  app.needs_redraw = true;
}

}  // namespace

void sync_from_document(AppState& app, kova::doc::Document& document) {
  std::vector<ConnectionProfile> loaded = profiles::load_connections(document);
  if (app.document_synchronised) {
    if (loaded == app.profiles) return;
    app.profiles = std::move(loaded);
    after_replacement(app, true);
    return;
  }
  app.document_synchronised = true;
  if (!loaded.empty()) {
    app.profiles = std::move(loaded);
    after_replacement(app, false);
    return;
  }
  for (const auto& p : app.profiles) profiles::write_profile(document, p);
  app.needs_redraw = true;
}

}  // namespace remote::app
