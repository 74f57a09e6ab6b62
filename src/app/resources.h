// What the application offers automation clients: the collection of saved
// connections, one resource per connection and, while a session is shown,
// one for the session, each with its actions. Rebuilt from scratch on every
// request; the document, not the in-memory list, is the source of profiles.
#pragma once

#include <vector>

#include "action_host/resource.h"
#include "app/state.h"
#include "document/document.h"

namespace remote::app {

std::vector<kova::actions::resource::Resource> resources(const AppState& app,
                                                         const kova::doc::Document& document);

}  // namespace remote::app
