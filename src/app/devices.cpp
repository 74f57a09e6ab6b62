#include "app/devices.h"

#include "core/endpoint_key.h"
#include "profiles/sample.h"

namespace remote::app {

std::vector<kova::callstream::EndpointBytes> sample_device_endpoints() {
  std::vector<kova::callstream::EndpointBytes> out;
  for (const auto& device : profiles::sample_devices())
    if (auto key = kova::p2p::EndpointKey::parse(device.endpoint_id)) out.push_back(key->bytes());
  return out;
}

std::unique_ptr<kova::callstream::DeviceStreamService> make_device_service(
    std::function<void()> wake) {
  kova::callstream::DemoDeviceOptions options;
  options.devices = sample_device_endpoints();
  return kova::callstream::make_demo_device_service(std::move(options), std::move(wake));
}

}  // namespace remote::app
