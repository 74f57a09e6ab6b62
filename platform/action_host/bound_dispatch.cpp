#include "action_host/bound_dispatch.h"

#include <cstdio>

namespace kova::actions::bound_dispatch {

namespace {

action::Result<void> commit_in_memory(doc::Document& document, std::string_view message) {
  document.commit(message);
  return {};
}

void log_to_stderr(std::string_view line) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

}  // namespace

std::string commit_message(const context::ActionContext& context) {
  if (context.app_name.empty()) return context.label;
  if (context.label.empty()) return context.app_name;
  return context.app_name + ": " + context.label;
}

DispatchRecord typed_action_before(doc::Document& document, const action::TypedAction& typed,
                                   const context::ActionContext& context) {
  if (document.has_pending()) document.commit("");
  return DispatchRecord{.type_name = std::string(typed.type_name()),
                        .context = context,
                        .heads_before = document.heads(),
                        .heads_after = {},
                        .error = std::nullopt};
}

void report_typed_action(DispatchRecord& record, const doc::Document& document,
                         const action::Result<void>& outcome) {
  record.heads_after = document.heads();
  if (!outcome) record.error = outcome.error();
}

ActionHost::ActionHost() : committer_(commit_in_memory), log_(log_to_stderr) {}

DispatchRecord ActionHost::dispatch(doc::Document& document, const action::TypedAction& typed,
                                    const context::ActionContext& context) {
  DispatchRecord record = typed_action_before(document, typed, context);
  action::Result<void> outcome =
      executor::dispatch_by_with_context(transport_, document, typed, context);
  // Whatever the action managed to write before failing is still committed:
  // the document never keeps a half-open change behind the caller's back.
  if (document.has_pending()) {
    auto committed = committer_(document, commit_message(context));
    if (outcome && !committed) outcome = std::unexpected(committed.error());
  }
  report_typed_action(record, document, outcome);
  if (record.error) log_("action dispatch failed: " + record.error->text() + " (" + typed.debug() + ")");
  return record;
}

}  // namespace kova::actions::bound_dispatch
