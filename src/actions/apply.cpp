#include "actions/apply.h"

#include <type_traits>

#include "profiles/connections_document.h"

namespace remote::actions {

namespace {

namespace profiles = remote::profiles;

void upsert(const UpsertConnection& a, kova::doc::Document& document) {
  const auto stored = profiles::find_connection(document, a.id);
  profiles::write_profile(document,
                          profiles::ConnectionProfile{
                              .id = a.id,
                              .name = a.name,
                              .host = a.host,
                              .port = a.port,
                              .user = a.user,
                              .group = a.group,
                              .kind = a.kind,
                              .auth = a.auth,
                              .favorite = stored ? stored->favorite : false,
                              .last_used = stored ? stored->last_used : "Never",
                              .presence = stored ? stored->presence : profiles::Presence::Unknown,
                          });
}

}  // namespace

Result<void> apply_remote_action(const RemoteAction& action, kova::doc::Document& document) {
  std::visit(
      [&](const auto& a) {
        using T = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<T, UpsertConnection>) {
          upsert(a, document);
        } else if constexpr (std::is_same_v<T, RenameConnection>) {
          profiles::write_rename(document, a.id, a.name);
        } else if constexpr (std::is_same_v<T, SetFavorite>) {
          profiles::write_favorite(document, a.id, a.favorite);
        } else {
          profiles::write_delete(document, a.id);
        }
      },
      action);
  return {};
}

}  // namespace remote::actions
