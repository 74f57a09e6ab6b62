// Dispatch of typed actions bound to one document: the action host records
// the document's heads before and after, applies the change through the
// local transport and commits it, so that the store persists it and other
// replicas can merge it. Used on the thread that owns the document.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "action_host/action.h"
#include "action_host/context.h"
#include "action_host/executor.h"
#include "document/document.h"

namespace kova::actions::bound_dispatch {

// What one dispatch did to the document.
struct DispatchRecord {
  std::string type_name;
  context::ActionContext context;
  std::vector<doc::ChangeHash> heads_before;
  std::vector<doc::ChangeHash> heads_after;
  std::optional<action::ActionError> error;

  bool changed() const { return heads_before != heads_after; }
};

// Starts the record of a dispatch of `typed` on behalf of `context`. A
// pending (uncommitted) change of the document is sealed first, so the
// heads name exactly the state the action is applied to.
DispatchRecord typed_action_before(doc::Document& document, const action::TypedAction& typed,
                                   const context::ActionContext& context);

// Completes the record with the outcome of applying the action and the
// document's heads after it was committed.
void report_typed_action(DispatchRecord& record, const doc::Document& document,
                         const action::Result<void>& outcome);

// Commits the document's pending change; the store installs one that also
// persists the commit. Its error is reported like an apply error.
using Committer = std::function<action::Result<void>(doc::Document&, std::string_view message)>;
// Receives each log line; the default writes it to standard error.
using LogSink = std::function<void(std::string_view line)>;

// The application's action host. Applies each change exactly once through
// the local transport and commits it with the context's label as the
// message. A failure is logged as "action dispatch failed: <error>" and
// returned; it never throws.
class ActionHost {
 public:
  ActionHost();

  void set_committer(Committer committer) { committer_ = std::move(committer); }
  void set_log_sink(LogSink sink) { log_ = std::move(sink); }

  DispatchRecord dispatch(doc::Document& document, const action::TypedAction& typed,
                          const context::ActionContext& context);

 private:
  executor::LocalTransport transport_;
  Committer committer_;
  LogSink log_;
};

// The commit message of a dispatch: "<app name>: <label>", or whichever of
// the two is set.
std::string commit_message(const context::ActionContext& context);

}  // namespace kova::actions::bound_dispatch
