// The endpoint's wire format: one JSON object per line in each direction.
//
// Request:  {"id": <any JSON scalar>, "method": "<name>", ...fields}
// Reply:    {"id": <echoed>, "ok": true,  "result": <value>}
//           {"id": <echoed>, "ok": false, "error": {"code": "...", "message": "..."},
//            "result": <value, when the failure is an operation outcome>}
// A request whose id cannot be read is answered with "id": null.
//
// Methods and their fields:
//   ping                                     -> "pong"
//   resources                                -> [resource...]
//   invoke    resource, action, [text]       -> outcome (after polling when background)
//   execute   class, json, [type]            -> outcome
//   start     class, json, [type]            -> outcome (with its invocation id)
//   poll      invocation, [cancel]           -> outcome
//   change    json, [type]                   -> {}
//   connections                              -> the application's JSON
//   tree                                     -> node
//   act       node, action, [value]          -> {"handled": bool}
//   snapshot  path (absolute)                -> {"path": path}
// "json" may be given as a string holding JSON text or as the JSON value.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "action_host/operation.h"
#include "action_host/resource.h"
#include "ui_toolkit/access.h"

namespace kova::automation {

enum class Method { Ping, Resources, Invoke, Execute, Start, Poll, Change, Connections, Tree, Act, Snapshot };

struct Request {
  std::string id_json = "null";  // the request's id, compact JSON, echoed in the reply
  Method method = Method::Ping;
  // invoke
  std::string resource;
  std::string action;
  std::optional<std::string> text;
  // execute, start, change
  actions::resource::OperationClass operation_class = actions::resource::OperationClass::None;
  std::string type_name;  // empty: the program's own type
  std::string json;
  // poll
  std::string invocation;
  bool cancel = false;
  // act
  std::string node;
  ui::AccessAction access_action = ui::AccessAction::Activate;
  std::optional<std::string> value;
  // snapshot
  std::string path;
};

// Why a line is not a request, with the id to answer when one could be read.
struct RequestError {
  std::string id_json = "null";
  std::string code;  // "bad_json" or "bad_request"
  std::string message;
};

// Parses one request line (without its newline). Never throws; the line is
// bounded by the caller (max_request_line_bytes).
std::expected<Request, RequestError> parse_request(std::string_view line);

// Reply lines, each ending in "\n". `result_json` must be valid JSON text.
std::string reply_ok(std::string_view id_json, std::string_view result_json);
std::string reply_error(std::string_view id_json, std::string_view code, std::string_view message,
                        std::optional<std::string_view> result_json = std::nullopt);

// Result encodings.
std::string resources_json(const std::vector<actions::resource::Resource>& resources);
std::string outcome_json(const actions::operation::Outcome& outcome, std::string_view invocation_id);
std::string tree_json(const ui::AccessNode& root);
std::string_view outcome_status_name(actions::operation::Outcome::Status status);
std::string_view role_name(ui::AccessRole role);

// Whether `text` is one complete JSON value (used to vet what a host returns
// before it is embedded in a reply).
bool is_json(std::string_view text);

// A JSON string literal for `text` (quotes included).
std::string json_quote(std::string_view text);

// Client side: the request line for `method` with `fields` (a JSON object
// text, "{}" for none) and numeric id `id`.
std::string request_line(std::string_view method, std::string_view fields_json, unsigned id);

// Client side: a parsed reply.
struct Reply {
  bool ok = false;
  std::string result_json = "null";
  std::string error_code;
  std::string error_message;
};
std::expected<Reply, std::string> parse_reply(std::string_view line);

}  // namespace kova::automation
