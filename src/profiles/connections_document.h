// Saved connections in the replicated document: root -> "connections" -> one
// map per connection, keyed by the id's canonical text. Only the keys below
// are read or written; keys this program does not know are left untouched.
//
//   "name"      text object        "host", "user", "group", "last_used": strings
//   "port"      signed integer     "kind", "auth", "presence": document texts
//   "favorite"  boolean
//
// Reading never fails: malformed entries are skipped and fields of the wrong
// type read as their defaults. Writing puts a scalar only when it differs
// from the stored one, so re-saving an unchanged profile changes nothing.
// All functions run on the thread that owns the document.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "document/document.h"
#include "profiles/profile.h"

namespace remote::profiles {

// Every connection in the order the store enumerates the keys. Entries whose
// key is not a UUID or whose value is not a map are skipped.
std::vector<ConnectionProfile> load_connections(const kova::doc::Document& document);

// The first connection that load_connections would list with this id.
std::optional<ConnectionProfile> find_connection(const kova::doc::Document& document,
                                                 const ConnectionId& id);

// root -> "connections", created (replacing whatever was there) when it is
// not a map.
kova::doc::ObjId ensure_connections_map(kova::doc::Document& document);

// Writes every field of the profile, creating its map and name text as
// needed; the name is changed by a diffed splice so concurrent edits of it
// merge.
void write_profile(kova::doc::Document& document, const ConnectionProfile& profile);

// Sets the name of an existing connection; nothing when it is not there.
void write_rename(kova::doc::Document& document, const ConnectionId& id, std::string_view name);

// Sets the favourite flag of an existing connection; nothing when it is not
// there.
void write_favorite(kova::doc::Document& document, const ConnectionId& id, bool favorite);

// Removes the connection; nothing when it is not there.
void write_delete(kova::doc::Document& document, const ConnectionId& id);

}  // namespace remote::profiles
