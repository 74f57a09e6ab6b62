// Documents of many saved connections for benchmarks, shared so that
// benchmarks of code above profiles (the application's document sync) can
// measure against the same data.
#pragma once

#include <cstddef>
#include <vector>

#include "document/document.h"
#include "profiles/profile.h"

namespace remote::profiles::bench {

// `count` distinct profiles of every kind, with the text lengths of real
// ones. Ids are random; everything else is the same for the same count.
std::vector<ConnectionProfile> make_profiles(std::size_t count);

// An in-memory document holding `profiles`, written and committed once.
kova::doc::Document make_document(const std::vector<ConnectionProfile>& profiles);

}  // namespace remote::profiles::bench
