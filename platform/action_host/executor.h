// Runs typed actions. A transport decides where a change goes; the local
// transport applies it to the document in this process only, and the
// store's replication takes it from there.
#pragma once

#include "action_host/action.h"
#include "action_host/context.h"

namespace kova::actions::executor {

class Transport {
 public:
  virtual ~Transport() = default;
  virtual action::Result<void> submit(doc::Document& document, const action::TypedAction& typed,
                                      const context::ActionContext& context) = 0;
};

// Applies the change exactly once, synchronously, on the calling thread.
class LocalTransport final : public Transport {
 public:
  action::Result<void> submit(doc::Document& document, const action::TypedAction& typed,
                              const context::ActionContext& context) override;
};

// Runs `typed` through `transport` with an empty context.
action::Result<void> dispatch_by(Transport& transport, doc::Document& document,
                                 const action::TypedAction& typed);

// Runs `typed` through `transport` on behalf of `context`.
action::Result<void> dispatch_by_with_context(Transport& transport, doc::Document& document,
                                              const action::TypedAction& typed,
                                              const context::ActionContext& context);

}  // namespace kova::actions::executor
