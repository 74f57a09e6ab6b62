// The device-control service the launch wires behind the application's
// device-stream port. This machine has no encrypted relay, so the service is
// the platform's local demonstration: it answers the sample devices and
// closes a stream to any other endpoint, saying that no relay is configured.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "media/device_service.h"

namespace remote::app {

// The endpoints of the sample devices, in their order.
std::vector<kova::callstream::EndpointBytes> sample_device_endpoints();

// The demonstration service answering the sample devices; `wake` is called
// from its threads whenever events are waiting.
std::unique_ptr<kova::callstream::DeviceStreamService> make_device_service(
    std::function<void()> wake);

}  // namespace remote::app
