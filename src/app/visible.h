// The visible list: the saved connections the list screen shows, filtered
// by the search text and ordered. Selection logic everywhere relies on it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "profiles/profile.h"

namespace remote::app {

// Full lower-casing of UTF-8 text; bytes that are not valid UTF-8 are kept.
std::string lower_case(std::string_view text);

// Profiles matching `search_text` (trimmed, lower-cased; a substring of the
// lower-cased name, host, user, group or kind document text), favourites
// first, then by lower-cased name byte by byte; ties keep their order.
// Pointers into `profiles`, valid while it is not changed.
std::vector<const profiles::ConnectionProfile*> visible_connections(
    const std::vector<profiles::ConnectionProfile>& profiles, std::string_view search_text);

}  // namespace remote::app
