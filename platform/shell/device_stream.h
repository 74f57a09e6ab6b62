// Requests an application queues for the platform's device-control service
// and the events the service delivers back, tagged with the stream request
// number the application chose. They are the service's own types, so the
// shell hands them over without converting.
#pragma once

#include "media/device_service.h"

namespace kova::shell {

using PlatformRequest = callstream::StreamRequest;
using DeviceStreamEvent = callstream::StreamEvent;

}  // namespace kova::shell
