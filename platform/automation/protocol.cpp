#include "automation/protocol.h"

#include <array>
#include <nlohmann/json.hpp>
#include <utility>

#include "automation/limits.h"

namespace kova::automation {

namespace {

using nlohmann::json;
using actions::operation::Outcome;
using actions::resource::OperationClass;

// Host texts may hold any bytes; replies are always valid UTF-8.
std::string dump(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

// Nesting depth of a JSON text, counting brackets outside strings. Checked
// before parsing so no tree is built for hostile nesting.
bool nesting_within(std::string_view text, std::size_t limit) {
  std::size_t depth = 0;
  bool in_string = false;
  bool escaped = false;
  for (const char c : text) {
    if (in_string) {
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return false;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return true;
}

struct MethodName {
  std::string_view name;
  Method method;
};
constexpr std::array method_names{
    MethodName{"ping", Method::Ping},           MethodName{"resources", Method::Resources},
    MethodName{"invoke", Method::Invoke},       MethodName{"execute", Method::Execute},
    MethodName{"start", Method::Start},         MethodName{"poll", Method::Poll},
    MethodName{"change", Method::Change},       MethodName{"connections", Method::Connections},
    MethodName{"tree", Method::Tree},           MethodName{"act", Method::Act},
    MethodName{"snapshot", Method::Snapshot},
};

using FieldResult = std::expected<void, std::string>;

FieldResult required_text(const json& obj, const char* key, std::string& out) {
  const auto it = obj.find(key);
  if (it == obj.end()) return std::unexpected(std::string("missing field \"") + key + "\"");
  if (!it->is_string()) return std::unexpected(std::string("field \"") + key + "\" must be a string");
  out = it->get<std::string>();
  return {};
}

FieldResult optional_text(const json& obj, const char* key, std::optional<std::string>& out) {
  const auto it = obj.find(key);
  if (it == obj.end() || it->is_null()) return {};
  if (!it->is_string()) return std::unexpected(std::string("field \"") + key + "\" must be a string");
  out = it->get<std::string>();
  return {};
}

FieldResult optional_type(const json& obj, std::string& out) {
  std::optional<std::string> type;
  if (auto r = optional_text(obj, "type", type); !r) return r;
  out = type.value_or("");
  return {};
}

// "json": a string holding JSON text, or the JSON value itself.
FieldResult payload(const json& obj, std::string& out) {
  const auto it = obj.find("json");
  if (it == obj.end()) return std::unexpected(std::string("missing field \"json\""));
  out = it->is_string() ? it->get<std::string>() : dump(*it);
  return {};
}

FieldResult operation_class(const json& obj, OperationClass& out) {
  const auto it = obj.find("class");
  if (it == obj.end()) return std::unexpected(std::string("missing field \"class\""));
  if (!it->is_number_unsigned() || it->get<std::uint64_t>() > 2)
    return std::unexpected(std::string("field \"class\" must be 0, 1 or 2"));
  out = static_cast<OperationClass>(it->get<std::uint64_t>());
  return {};
}

FieldResult access_action(const json& obj, ui::AccessAction& out) {
  std::string name;
  if (auto r = required_text(obj, "action", name); !r) return r;
  const auto parsed = ui::parse_action_name(name);
  if (!parsed)
    return std::unexpected("unknown action \"" + name +
                           "\" (activate, focus, toggle, set-value, scroll-into-view)");
  out = *parsed;
  return {};
}

FieldResult read_fields(const json& obj, Request& req) {
  switch (req.method) {
    case Method::Ping:
    case Method::Resources:
    case Method::Connections:
    case Method::Tree:
      return {};
    case Method::Invoke:
      if (auto r = required_text(obj, "resource", req.resource); !r) return r;
      if (auto r = required_text(obj, "action", req.action); !r) return r;
      return optional_text(obj, "text", req.text);
    case Method::Execute:
    case Method::Start:
      if (auto r = operation_class(obj, req.operation_class); !r) return r;
      if (auto r = optional_type(obj, req.type_name); !r) return r;
      return payload(obj, req.json);
    case Method::Change:
      if (auto r = optional_type(obj, req.type_name); !r) return r;
      return payload(obj, req.json);
    case Method::Poll: {
      if (auto r = required_text(obj, "invocation", req.invocation); !r) return r;
      const auto it = obj.find("cancel");
      if (it != obj.end() && !it->is_boolean())
        return std::unexpected(std::string("field \"cancel\" must be true or false"));
      req.cancel = it != obj.end() && it->get<bool>();
      return {};
    }
    case Method::Act:
      if (auto r = required_text(obj, "node", req.node); !r) return r;
      if (auto r = access_action(obj, req.access_action); !r) return r;
      return optional_text(obj, "value", req.value);
    case Method::Snapshot:
      if (auto r = required_text(obj, "path", req.path); !r) return r;
      if (req.path.empty() || req.path.front() != '/')
        return std::unexpected(std::string("field \"path\" must be an absolute path"));
      return {};
  }
  return {};
}

json rect_json(const std::optional<ui::Rect>& rect) {
  if (!rect) return nullptr;
  return {{"x", rect->left}, {"y", rect->top}, {"width", rect->width()}, {"height", rect->height()}};
}

json action_json(const actions::resource::ActionSpec& spec) {
  json out = {{"id", spec.id}, {"label", spec.label}};
  out["description"] = spec.description ? json(*spec.description) : json(nullptr);
  json params = json::array();
  for (const auto& p : actions::resource::derive_input(spec).parameters) {
    params.push_back({{"name", p.name},
                      {"type", p.type},
                      {"label", p.label},
                      {"placeholder", p.placeholder},
                      {"description", p.description},
                      {"required", p.required}});
  }
  out["input"] = {{"parameters", std::move(params)}};
  // A parameterised action shows the invocation its arguments are absent
  // from; clients pass the text with "invoke".
  const auto invocation = spec.invocation_for({});
  out["invocation"] = {{"type", invocation.type_name},
                       {"json", invocation.json},
                       {"takes_input", static_cast<bool>(spec.builder)}};
  out["operation_class"] = static_cast<int>(spec.operation_class);
  out["contract"] = spec.contract ? json{{"capabilities", spec.contract->capabilities}} : json(nullptr);
  out["destructive"] = spec.is_destructive;
  out["unavailable"] = spec.unavailable
                           ? json{{"code", spec.unavailable->code}, {"reason", spec.unavailable->reason}}
                           : json(nullptr);
  return out;
}

json resource_json(const actions::resource::Resource& res) {
  json actions_out = json::array();
  for (const auto& spec : res.actions) actions_out.push_back(action_json(spec));
  json children = json::array();
  for (const auto& child : res.children) children.push_back(resource_json(child));
  return {{"kind", res.kind},
          {"id", res.id},
          {"label", res.label},
          {"actions", std::move(actions_out)},
          {"children", std::move(children)}};
}

json states_json(const ui::AccessStates& s) {
  json out = json::object();
  if (s.selected) out["selected"] = *s.selected;
  if (s.toggled) out["toggled"] = *s.toggled;
  if (s.focused) out["focused"] = *s.focused;
  if (s.expanded) out["expanded"] = *s.expanded;
  return out;
}

json node_json(const ui::AccessNode& node) {
  json actions_out = json::array();
  if (!node.id.empty())
    for (const auto a : ui::default_actions(node.role)) actions_out.push_back(ui::action_name(a));
  json children = json::array();
  for (const auto& child : node.children) children.push_back(node_json(child));
  return {{"role", role_name(node.role)},
          {"label", node.label},
          {"description", node.description ? json(*node.description) : json(nullptr)},
          {"value", node.value ? json(*node.value) : json(nullptr)},
          {"id", node.id},
          {"bounds", rect_json(node.bounds)},
          {"states", states_json(node.states)},
          {"actions", std::move(actions_out)},
          {"children", std::move(children)}};
}

}  // namespace

std::expected<Request, RequestError> parse_request(std::string_view line) {
  if (!nesting_within(line, max_request_depth))
    return std::unexpected(RequestError{"null", "bad_json", "request nests too deeply"});
  const json doc = json::parse(line, nullptr, false);
  if (doc.is_discarded())
    return std::unexpected(RequestError{"null", "bad_json", "request is not valid JSON"});
  if (!doc.is_object())
    return std::unexpected(RequestError{"null", "bad_request", "request must be a JSON object"});
  Request req;
  const auto id = doc.find("id");
  if (id == doc.end())
    return std::unexpected(RequestError{"null", "bad_request", "missing field \"id\""});
  if (!id->is_primitive())
    return std::unexpected(RequestError{"null", "bad_request", "field \"id\" must be a string or number"});
  req.id_json = dump(*id);
  std::string method;
  if (auto r = required_text(doc, "method", method); !r)
    return std::unexpected(RequestError{req.id_json, "bad_request", r.error()});
  const auto* found = std::ranges::find_if(method_names, [&](const MethodName& m) { return m.name == method; });
  if (found == method_names.end())
    return std::unexpected(RequestError{req.id_json, "bad_request", "unknown method \"" + method + "\""});
  req.method = found->method;
  if (auto r = read_fields(doc, req); !r)
    return std::unexpected(RequestError{req.id_json, "bad_request", r.error()});
  return req;
}

std::string reply_ok(std::string_view id_json, std::string_view result_json) {
  std::string out;
  out.reserve(id_json.size() + result_json.size() + 32);
  out.append("{\"id\":").append(id_json).append(",\"ok\":true,\"result\":").append(result_json).append("}\n");
  return out;
}

std::string reply_error(std::string_view id_json, std::string_view code, std::string_view message,
                        std::optional<std::string_view> result_json) {
  std::string out = "{\"id\":";
  out.append(id_json).append(",\"ok\":false,\"error\":");
  out.append(dump(json{{"code", code}, {"message", message}}));
  if (result_json) out.append(",\"result\":").append(*result_json);
  out.append("}\n");
  return out;
}

std::string resources_json(const std::vector<actions::resource::Resource>& resources) {
  json out = json::array();
  for (const auto& res : resources) out.push_back(resource_json(res));
  return dump(out);
}

std::string_view outcome_status_name(Outcome::Status status) {
  switch (status) {
    case Outcome::Status::NotHandled: return "not_handled";
    case Outcome::Status::Completed: return "completed";
    case Outcome::Status::Pending: return "pending";
    case Outcome::Status::Failed: return "failed";
    case Outcome::Status::NoNews: return "no_news";
    case Outcome::Status::Cancelled: return "cancelled";
  }
  return "not_handled";
}

std::string outcome_json(const Outcome& outcome, std::string_view invocation_id) {
  return dump(json{{"status", outcome_status_name(outcome.status)},
                   {"code", outcome.code},
                   {"message", outcome.message},
                   {"invocation", invocation_id}});
}

std::string_view role_name(ui::AccessRole role) {
  switch (role) {
    case ui::AccessRole::Window: return "window";
    case ui::AccessRole::Dialog: return "dialog";
    case ui::AccessRole::Group: return "group";
    case ui::AccessRole::Toolbar: return "toolbar";
    case ui::AccessRole::List: return "list";
    case ui::AccessRole::ListItem: return "list-item";
    case ui::AccessRole::Button: return "button";
    case ui::AccessRole::ToggleButton: return "toggle-button";
    case ui::AccessRole::Option: return "option";
    case ui::AccessRole::TextInput: return "text-input";
    case ui::AccessRole::Text: return "text";
    case ui::AccessRole::Heading: return "heading";
    case ui::AccessRole::Terminal: return "terminal";
    case ui::AccessRole::Canvas: return "canvas";
  }
  return "group";
}

std::string tree_json(const ui::AccessNode& root) { return dump(node_json(root)); }

bool is_json(std::string_view text) {
  return nesting_within(text, 4 * max_request_depth) && json::accept(text);
}

std::string json_quote(std::string_view text) { return dump(json(std::string(text))); }

std::string request_line(std::string_view method, std::string_view fields_json, unsigned id) {
  json fields = json::parse(fields_json, nullptr, false);
  if (!fields.is_object()) fields = json::object();
  fields["id"] = id;
  fields["method"] = method;
  return dump(fields) + "\n";
}

std::expected<Reply, std::string> parse_reply(std::string_view line) {
  const json doc = json::parse(line, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) return std::unexpected(std::string("the reply is not a JSON object"));
  const auto ok = doc.find("ok");
  if (ok == doc.end() || !ok->is_boolean()) return std::unexpected(std::string("the reply has no \"ok\" field"));
  Reply reply;
  reply.ok = ok->get<bool>();
  if (const auto r = doc.find("result"); r != doc.end()) reply.result_json = dump(*r);
  if (const auto e = doc.find("error"); e != doc.end() && e->is_object()) {
    if (const auto c = e->find("code"); c != e->end() && c->is_string()) reply.error_code = c->get<std::string>();
    if (const auto m = e->find("message"); m != e->end() && m->is_string())
      reply.error_message = m->get<std::string>();
  }
  return reply;
}

}  // namespace kova::automation
