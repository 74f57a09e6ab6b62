// Turns one parsed request into its reply by asking the AutomationHost.
// Used by the server on the UI thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "action_host/operation.h"
#include "automation/host.h"
#include "automation/protocol.h"

namespace kova::automation {

struct Answer {
  // The reply line; empty while `pending_invocation` is set.
  std::string reply;
  // Set when a background invocation was started for "invoke": the reply
  // comes from reply_for_outcome once a poll reports something else than
  // "no news".
  std::optional<std::string> pending_invocation;
};

// Numbers invocation ids ("automation-1", ...) for this endpoint.
class InvocationIds {
 public:
  std::string next() { return "automation-" + std::to_string(++last_); }

 private:
  std::uint64_t last_ = 0;
};

Answer answer_request(AutomationHost& host, const Request& request, InvocationIds& ids);

// The reply for an operation outcome: ok for completed, pending and no news;
// an error carrying the outcome (its code, or "failed", "cancelled",
// "not_handled") otherwise.
std::string reply_for_outcome(std::string_view id_json, const actions::operation::Outcome& outcome,
                              std::string_view invocation_id);

}  // namespace kova::automation
