// How the in-memory list follows the shared document.
#pragma once

#include "app/state.h"
#include "document/document.h"

namespace remote::app {

// Reads the document's connections. After the first call the list is
// replaced only when it differs; the first call adopts a non-empty document
// or, when the document holds none, writes the current profiles into it (how
// the sample machines reach a fresh document). After a replacement the
// selection moves to the first visible profile when it is gone, and a
// session whose connection is gone ends.
void sync_from_document(AppState& app, kova::doc::Document& document);

}  // namespace remote::app
