#include "automation/dispatch.h"

#include <functional>

namespace kova::automation {

namespace {

using actions::operation::Invocation;
using actions::operation::Outcome;
using actions::resource::OperationClass;
using actions::resource::Resource;

const Resource* find_resource(const std::vector<Resource>& list, std::string_view id) {
  for (const auto& res : list) {
    if (res.id == id) return &res;
    if (const auto* inner = find_resource(res.children, id)) return inner;
  }
  return nullptr;
}

Answer error(const Request& req, std::string_view code, std::string_view message) {
  return {reply_error(req.id_json, code, message), std::nullopt};
}

Answer ok(const Request& req, std::string_view result_json) { return {reply_ok(req.id_json, result_json), std::nullopt}; }

Answer outcome_answer(const Request& req, const Outcome& outcome, std::string_view invocation_id) {
  return {reply_for_outcome(req.id_json, outcome, invocation_id), std::nullopt};
}

Answer change(AutomationHost& host, const Request& req, std::string_view type_name, std::string_view json) {
  if (auto done = host.change(type_name, json); !done) return error(req, "change_failed", done.error());
  return ok(req, "{}");
}

// Runs an encoded invocation the way the platform runs an action: changes
// go to the document, view operations are executed, background operations
// are started and then polled by the server.
Answer run_invocation(AutomationHost& host, const Request& req, InvocationIds& ids,
                      OperationClass declared, const actions::resource::EncodedInvocation& encoded,
                      const actions::params::ActionArgs& args) {
  if (declared == OperationClass::None) return change(host, req, encoded.type_name, encoded.json);
  Invocation inv{ids.next(), declared, encoded.type_name, encoded.json, args};
  if (declared == OperationClass::View) return outcome_answer(req, host.execute(inv), inv.id);
  const Outcome started = host.start(inv);
  if (started.status == Outcome::Status::Pending) return {std::string(), inv.id};
  return outcome_answer(req, started, inv.id);
}

Answer invoke(AutomationHost& host, const Request& req, InvocationIds& ids) {
  const auto resources = host.resources();
  const Resource* res = find_resource(resources, req.resource);
  if (!res) return error(req, "unknown_resource", "no resource has the id \"" + req.resource + "\"");
  const auto* spec = res->find_action(req.action);
  if (!spec)
    return error(req, "unknown_action",
                 "resource \"" + req.resource + "\" has no action \"" + req.action + "\"");
  if (spec->unavailable) return error(req, spec->unavailable->code, spec->unavailable->reason);
  actions::params::ActionArgs args;
  if (req.text) {
    if (!spec->input)
      return error(req, "bad_request", "action \"" + req.action + "\" takes no text");
    args.set_text(spec->input->name, *req.text);
  }
  return run_invocation(host, req, ids, spec->operation_class, spec->invocation_for(args), args);
}

Answer raw_operation(AutomationHost& host, const Request& req, InvocationIds& ids) {
  Invocation inv{ids.next(), req.operation_class, req.type_name, req.json, {}};
  const Outcome out = req.method == Method::Execute ? host.execute(inv) : host.start(inv);
  return outcome_answer(req, out, inv.id);
}

Answer query(AutomationHost& host, const Request& req, std::string_view name) {
  const auto text = host.query(name);
  if (!text) return error(req, "unsupported", "the application does not answer \"" + std::string(name) + "\"");
  if (!is_json(*text)) return error(req, "internal", "the application answered with malformed JSON");
  return ok(req, *text);
}

Answer tree(AutomationHost& host, const Request& req) {
  const auto root = host.tree();
  if (!root) return error(req, "unsupported", "the application offers no accessibility tree");
  return ok(req, tree_json(*root));
}

Answer snapshot(AutomationHost& host, const Request& req) {
  if (auto written = host.snapshot(req.path); !written) return error(req, "snapshot_failed", written.error());
  return ok(req, "{\"path\":" + json_quote(req.path) + "}");
}

}  // namespace

std::string reply_for_outcome(std::string_view id_json, const Outcome& outcome,
                              std::string_view invocation_id) {
  const std::string result = outcome_json(outcome, invocation_id);
  switch (outcome.status) {
    case Outcome::Status::Completed:
    case Outcome::Status::Pending:
    case Outcome::Status::NoNews:
      return reply_ok(id_json, result);
    case Outcome::Status::Failed:
      return reply_error(id_json, outcome.code.empty() ? "failed" : outcome.code, outcome.message, result);
    case Outcome::Status::Cancelled:
      return reply_error(id_json, "cancelled", outcome.message, result);
    case Outcome::Status::NotHandled:
      break;
  }
  return reply_error(id_json, "not_handled", "the application does not handle this invocation", result);
}

Answer answer_request(AutomationHost& host, const Request& req, InvocationIds& ids) {
  switch (req.method) {
    case Method::Ping: return ok(req, "\"pong\"");
    case Method::Resources: return ok(req, resources_json(host.resources()));
    case Method::Invoke: return invoke(host, req, ids);
    case Method::Execute:
    case Method::Start: return raw_operation(host, req, ids);
    case Method::Poll: return outcome_answer(req, host.poll(req.invocation, req.cancel), req.invocation);
    case Method::Change: return change(host, req, req.type_name, req.json);
    case Method::Connections: return query(host, req, "connections");
    case Method::Tree: return tree(host, req);
    case Method::Act: {
      const bool handled = host.act(req.node, req.access_action, req.value);
      return ok(req, handled ? "{\"handled\":true}" : "{\"handled\":false}");
    }
    case Method::Snapshot: return snapshot(host, req);
  }
  return error(req, "bad_request", "unknown method");
}

}  // namespace kova::automation
