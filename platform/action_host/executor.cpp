#include "action_host/executor.h"

namespace kova::actions::executor {

action::Result<void> LocalTransport::submit(doc::Document& document,
                                            const action::TypedAction& typed,
                                            const context::ActionContext& /*context*/) {
  return typed.apply(document);
}

action::Result<void> dispatch_by(Transport& transport, doc::Document& document,
                                 const action::TypedAction& typed) {
  return transport.submit(document, typed, context::ActionContext{});
}

action::Result<void> dispatch_by_with_context(Transport& transport, doc::Document& document,
                                              const action::TypedAction& typed,
                                              const context::ActionContext& context) {
  return transport.submit(document, typed, context);
}

}  // namespace kova::actions::executor
