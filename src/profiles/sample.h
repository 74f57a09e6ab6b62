// The fixed sample machines and discovered devices that sample mode starts
// with, so that every element of the screens can be seen without real
// machines.
#pragma once

#include <string>
#include <vector>

#include "profiles/profile.h"

namespace remote::profiles {

// A platform device offered by the form's device picker.
struct DiscoveredDevice {
  std::string name;
  // The device's endpoint id in the text form of the platform's key type.
  std::string endpoint_id;
  Presence presence = Presence::Unknown;

  friend bool operator==(const DiscoveredDevice&, const DiscoveredDevice&) = default;
};

// The four sample devices, in order: "Studio Node", "Workshop Laptop",
// "Living Room TV" (online) and "Garage Pi" (offline). Each endpoint id is
// derived from a fixed secret key of its own, so it is the same at every
// start.
std::vector<DiscoveredDevice> sample_devices();

// The eight sample profiles in display order, covering every kind,
// authentication method and presence. Each call gives fresh random ids; the
// two Kova profiles name the first two sample devices.
std::vector<ConnectionProfile> sample_profiles();

}  // namespace remote::profiles
