#include "app/operations.h"

#include <optional>
#include <type_traits>
#include <variant>

#include "actions/codec.h"
#include "app/reducer.h"
#include "app/session.h"
#include "document/document.h"
#include "profiles/validate.h"
#include "ssh/trust_store.h"

namespace remote::app {

namespace {

constexpr const char* missing_text = "saved connection no longer exists";
constexpr const char* inactive_text = "that remote session is no longer active";
constexpr const char* not_terminal_text = "text input requires a connected SSH terminal";

// Decodes an invocation of this vocabulary: nothing when it is another's.
std::optional<std::expected<actions::RemoteOperation, Outcome>> decode(
    const Invocation& invocation) {
  auto decoded = actions::decode_remote_operation(invocation.type_name, invocation.json);
  if (!decoded) return std::nullopt;
  if (!*decoded) return std::unexpected(Outcome::failed(decoded->error().message));
  return std::move(**decoded);
}

void apply_view(AppState& app, const AppMessage& message) {
  // View operations change only what is shown; nothing they do reaches a
  // document, so a scratch one takes the (absent) changes.
  kova::doc::Document scratch;
  apply_message(app, message, scratch);
}

bool same_session(const AppState& app, const RunningOperation& op) {
  return app.session_connection == op.connection && app.session_generation == op.session_generation;
}

Outcome trust(AppState& app, const actions::TrustSshHostKey& op) {
  const ConnectionProfile* found = find_profile(app, op.connection_id);
  if (!found) return Outcome::failed(missing_text);
  const ConnectionProfile p = *found;
  const auto verdict = host_key_verdict(app, op.connection_id);
  const auto* untrusted = verdict ? std::get_if<ssh::HostKeyUntrusted>(&*verdict) : nullptr;
  const ssh::HostKeyIdentity observed{op.observed.algorithm, op.observed.fingerprint};
  if (!untrusted || untrusted->observed != observed)
    return Outcome::failed(
        "the observed SSH host key is stale; reconnect to inspect the current key");
  const auto store = ssh::known_hosts_path();
  if (!store)
    return Outcome::failed("private SSH host-key storage is unavailable: " + store.error().message);
  if (auto pinned = ssh::trust_host_key(*store, p.host, p.port, observed); !pinned)
    return Outcome::failed("could not save SSH host-key trust: " + pinned.error().message);
  connect(app, op.connection_id);
  return Outcome::completed();
}

Outcome forget(AppState& app, const actions::ForgetSshHostKey& op) {
  const ConnectionProfile* found = find_profile(app, op.connection_id);
  if (!found) return Outcome::failed(missing_text);
  const ConnectionProfile p = *found;
  const auto verdict = host_key_verdict(app, op.connection_id);
  if (!verdict || !std::holds_alternative<ssh::HostKeyChanged>(*verdict))
    return Outcome::failed("only the currently observed changed SSH host key can be forgotten");
  const auto store = ssh::known_hosts_path();
  if (!store)
    return Outcome::failed("private SSH host-key storage is unavailable: " + store.error().message);
  if (auto forgotten = ssh::forget_host_key(*store, p.host, p.port); !forgotten)
    return Outcome::failed("could not forget SSH host-key trust: " + forgotten.error().message);
  disconnect(app);
  return Outcome::completed();
}

Outcome execute(AppState& app, const actions::RemoteOperation& operation) {
  return std::visit(
      [&](const auto& op) -> Outcome {
        using O = std::decay_t<decltype(op)>;
        if constexpr (std::is_same_v<O, actions::ShowConnections>) {
          apply_view(app, msg::ShowConnections{});
          return Outcome::completed();
        } else if constexpr (std::is_same_v<O, actions::NewConnectionForm>) {
          apply_view(app, msg::NewConnectionForm{});
          return Outcome::completed();
        } else if constexpr (std::is_same_v<O, actions::EditConnection>) {
          if (!find_profile(app, op.connection_id)) return Outcome::failed(missing_text);
          apply_view(app, msg::EditConnection{op.connection_id});
          return Outcome::completed();
        } else if constexpr (std::is_same_v<O, actions::Connect>) {
          if (!find_profile(app, op.connection_id)) return Outcome::failed(missing_text);
          connect(app, op.connection_id);
          return Outcome::completed();
        } else if constexpr (std::is_same_v<O, actions::Disconnect>) {
          if (app.session_connection != op.connection_id) return Outcome::failed(inactive_text);
          disconnect(app);
          return Outcome::completed();
        } else if constexpr (std::is_same_v<O, actions::SendText>) {
          if (app.session_connection != op.connection_id || !terminal_connected(app))
            return Outcome::failed(not_terminal_text);
          if (auto sent = app.session->ssh->send_text(op.text); !sent)
            return Outcome::failed(sent.error().message);
          app.needs_redraw = true;
          return Outcome::completed();
        } else if constexpr (std::is_same_v<O, actions::TrustSshHostKey>) {
          return trust(app, op);
        } else {
          return forget(app, op);
        }
      },
      operation);
}

Outcome start_connect(AppState& app, const Invocation& invocation, const ConnectionId& id) {
  const ConnectionProfile* p = find_profile(app, id);
  if (!p) return Outcome::failed(missing_text);
  if (const int reason = readiness(*p); reason != 0) {
    if (reason == 3)
      if (auto problem = profiles::profile_problem(p->kind, p->host, p->auth))
        return Outcome::failed(*problem);
    return Outcome::failed(readiness_text(reason, p->kind));
  }
  connect(app, id);
  const auto status = session_status(app);
  if (!status) return Outcome::failed("remote transport did not start");
  switch (status->kind) {
    case SessionStatus::Kind::Connecting:
      app.running_operation = RunningOperation{
          RunningOperation::Kind::Connect, invocation.id, id, app.session_generation, {}};
      return Outcome::pending();
    case SessionStatus::Kind::Connected:
      return Outcome::completed();
    case SessionStatus::Kind::Unavailable:
    case SessionStatus::Kind::Failed:
      return Outcome::failed(status->text);
    case SessionStatus::Kind::Ended:
      break;
  }
  return Outcome::failed("remote transport did not start");
}

Outcome start_send_text(AppState& app, const Invocation& invocation, const actions::SendText& op) {
  if (app.session_connection != op.connection_id) return Outcome::failed(inactive_text);
  if (!terminal_connected(app)) return Outcome::failed(not_terminal_text);
  auto sent = app.session->ssh->send_text_acknowledged(op.text);
  if (!sent) return Outcome::failed(sent.error().message);
  app.running_operation =
      RunningOperation{RunningOperation::Kind::SendText, invocation.id, op.connection_id,
                       app.session_generation, std::move(*sent)};
  return Outcome::pending();
}

Outcome poll_connect(AppState& app, const RunningOperation& op, bool cancel) {
  if (cancel) {
    if (same_session(app, op)) disconnect(app);
    app.running_operation.reset();
    return Outcome::cancelled("remote connection attempt cancelled");
  }
  if (!same_session(app, op)) {
    app.running_operation.reset();
    return Outcome::failed("the connection attempt was superseded by a newer session",
                           "remote.session_replaced");
  }
  const auto status = session_status(app);
  if (status && status->kind == SessionStatus::Kind::Connecting) return Outcome::no_news();
  app.running_operation.reset();
  if (!status || status->kind == SessionStatus::Kind::Ended)
    return Outcome::failed("remote connection closed before it became ready",
                           "remote.connection_closed");
  switch (status->kind) {
    case SessionStatus::Kind::Connected:
      return Outcome::completed();
    case SessionStatus::Kind::Unavailable:
      return Outcome::failed(status->text, "remote.transport_unavailable");
    default:
      return Outcome::failed(status->text, "remote.connect_failed");
  }
}

Outcome poll_send_text(AppState& app, const RunningOperation& op) {
  if (!same_session(app, op)) {
    app.running_operation.reset();
    return Outcome::failed("the SSH session ended before input delivery was acknowledged",
                           "remote.session_replaced");
  }
  const auto answer = op.acknowledgement->poll();
  using State = ssh::AckSlot::State;
  if (answer.state == State::Pending) return Outcome::no_news();
  app.running_operation.reset();
  switch (answer.state) {
    case State::Delivered:
      return Outcome::completed();
    case State::Failed:
      return Outcome::failed(answer.error, "remote.input_failed");
    default:
      return Outcome::failed("remote input worker stopped before acknowledgement",
                             "remote.input_worker_lost");
  }
}

}  // namespace

OperationClass operation_class(const actions::RemoteOperation& operation) {
  const bool view = std::holds_alternative<actions::ShowConnections>(operation) ||
                    std::holds_alternative<actions::NewConnectionForm>(operation) ||
                    std::holds_alternative<actions::EditConnection>(operation);
  return view ? OperationClass::View : OperationClass::Background;
}

Outcome execute_operation(AppState& app, const Invocation& invocation) {
  if (invocation.declared == OperationClass::None) return Outcome::not_handled();
  auto decoded = decode(invocation);
  if (!decoded) return Outcome::not_handled();
  if (!*decoded) return decoded->error();
  if (operation_class(**decoded) != invocation.declared)
    return Outcome::failed("remote operation kind does not match its declared contract");
  return execute(app, **decoded);
}

Outcome start_operation(AppState& app, const Invocation& invocation) {
  if (invocation.declared != OperationClass::Background) return Outcome::not_handled();
  auto decoded = decode(invocation);
  if (!decoded) return Outcome::not_handled();
  if (!*decoded) return decoded->error();
  if (app.running_operation) return Outcome::failed("another remote operation is still running");
  const actions::RemoteOperation& operation = **decoded;
  if (operation_class(operation) == OperationClass::View)
    return Outcome::failed("view operations do not start background work");
  if (const auto* op = std::get_if<actions::Connect>(&operation))
    return start_connect(app, invocation, op->connection_id);
  if (const auto* op = std::get_if<actions::SendText>(&operation))
    return start_send_text(app, invocation, *op);
  return execute(app, operation);
}

Outcome poll_operation(AppState& app, std::string_view invocation_id, bool cancel) {
  if (!app.running_operation || app.running_operation->invocation_id != invocation_id)
    return Outcome::no_news();
  const RunningOperation op = *app.running_operation;
  if (op.kind == RunningOperation::Kind::Connect) return poll_connect(app, op, cancel);
  return poll_send_text(app, op);
}

}  // namespace remote::app
