#include "app/resources.h"

#include <string>
#include <utility>

#include "actions/codec.h"
#include "app/session.h"
#include "profiles/connections_document.h"
#include "profiles/validate.h"

namespace remote::app {

namespace {

namespace res = kova::actions::resource;
using res::ActionSpec;
using res::EncodedInvocation;
using res::OperationClass;
using res::Resource;

EncodedInvocation invocation(const actions::RemoteOperation& op) {
  return {std::string(actions::remote_operation_type), actions::encode_remote_operation(op)};
}

EncodedInvocation invocation(const actions::RemoteAction& action) {
  return {std::string(actions::remote_action_type), actions::encode_remote_action(action)};
}

ActionSpec operation(std::string id, std::string label, const actions::RemoteOperation& op,
                     OperationClass cls) {
  return ActionSpec::encoded(std::move(id), std::move(label), invocation(op))
      .with_operation_class(cls);
}

bool blank(std::string_view text) {
  return text.find_first_not_of(" \t\n\v\f\r") == std::string_view::npos;
}

ActionSpec connect_action(const ConnectionProfile& p) {
  const int reason = readiness(p);
  auto spec = operation("connect", "Connect", actions::Connect{p.id}, OperationClass::Background)
                  .with_description("Open a live session to this saved connection. " +
                                    readiness_text(reason, p.kind))
                  .with_contract({"network", "session"});
  if (reason == 0) return spec;
  std::string why = readiness_text(reason, p.kind);
  if (reason == 3)
    if (auto problem = profiles::profile_problem(p.kind, p.host, p.auth)) why = std::move(*problem);
  return std::move(spec).unavailable_because(readiness_code(reason), std::move(why));
}

Resource connection_resource(const ConnectionProfile& p) {
  const ConnectionId id = p.id;
  auto rename = ActionSpec::built("rename", "Rename connection",
                                  res::TextInput{"value", "New name", "connection name", {}},
                                  [id](const kova::actions::params::ActionArgs& args) {
                                    return invocation(actions::RenameConnection{
                                        id, std::string(args.text("value").value_or(""))});
                                  });
  return Resource{"remote.connection",
                  "remote.connection:" + p.id.to_string(),
                  blank(p.name) ? p.host : p.name,
                  {},
                  {}}
      .with_action(operation("open", "Open connection settings", actions::EditConnection{p.id},
                             OperationClass::View))
      .with_action(connect_action(p))
      .with_action(std::move(rename))
      .with_action(ActionSpec::encoded("favorite",
                                       p.favorite ? "Remove from favourites" : "Add to favourites",
                                       invocation(actions::SetFavorite{p.id, !p.favorite})))
      .with_action(ActionSpec::encoded("delete", "Delete connection",
                                       invocation(actions::DeleteConnection{p.id}))
                       .destructive());
}

Resource session_resource(const ConnectionProfile& p, bool connected,
                          const std::optional<ssh::HostKeyVerdict>& verdict) {
  const ConnectionId id = p.id;
  auto send =
      ActionSpec::built(
          "send-text", "Send text to session",
          res::TextInput{
              "text", {}, "command or text", "Text to deliver to the connected SSH terminal"},
          [id](const kova::actions::params::ActionArgs& args) {
            return invocation(actions::SendText{id, std::string(args.text("text").value_or(""))});
          })
          .with_operation_class(OperationClass::Background)
          .with_contract({"remote-input", "session"});
  if (!connected)
    send.unavailable = res::Unavailability{"terminal_not_connected",
                                           "Text input requires a connected SSH terminal"};
  Resource session{
      "remote.session", "remote.session:" + p.id.to_string(), p.name + " session", {}, {}};
  session.actions.push_back(operation("disconnect", "Disconnect session", actions::Disconnect{p.id},
                                      OperationClass::Background)
                                .with_contract({"network", "session"}));
  session.actions.push_back(std::move(send));
  if (!verdict) return session;
  if (const auto* untrusted = std::get_if<ssh::HostKeyUntrusted>(&*verdict)) {
    const auto& key = untrusted->observed;
    session.actions.push_back(
        operation("trust-host-key", "Trust SSH host key",
                  actions::TrustSshHostKey{p.id, {key.algorithm, key.fingerprint}},
                  OperationClass::Background)
            .with_description("Explicitly trust " + key.algorithm + " " + key.fingerprint +
                              " for this device only after out-of-band verification.")
            .with_contract({"ssh", "host-key", "device-private"}));
  } else if (std::holds_alternative<ssh::HostKeyChanged>(*verdict)) {
    session.actions.push_back(operation("forget-host-key", "Forget SSH host key",
                                        actions::ForgetSshHostKey{p.id}, OperationClass::Background)
                                  .with_description("Remove this device's stale SSH host-key pin; "
                                                    "reconnect to inspect a replacement key.")
                                  .with_contract({"ssh", "host-key", "device-private"}));
  }
  return session;
}

}  // namespace

std::vector<Resource> resources(const AppState& app, const kova::doc::Document& document) {
  Resource list{"remote.connections", "remote.connection-list", "Remote connections", {}, {}};
  list.actions.push_back(
      operation("open", "Show connections", actions::ShowConnections{}, OperationClass::View));
  list.actions.push_back(
      operation("new", "New connection", actions::NewConnectionForm{}, OperationClass::View));
  for (const auto& p : profiles::load_connections(document))
    list.children.push_back(connection_resource(p));
  if (app.session_connection) {
    if (const ConnectionProfile* p = find_profile(app, *app.session_connection))
      list.children.push_back(session_resource(*p, terminal_connected(app),
                                               host_key_verdict(app, *app.session_connection)));
  }
  std::vector<Resource> out;
  out.push_back(std::move(list));
  return out;
}

}  // namespace remote::app
