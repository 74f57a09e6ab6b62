#include "app/confirm.h"

#include "actions/vocabulary.h"
#include "app/reducer.h"
#include "app/session.h"

namespace remote::app {

namespace {

constexpr const char* gone_text = "That saved connection no longer exists.";

PendingConfirmation pending(PendingConfirmation::Kind kind, const ConnectionProfile& p) {
  return PendingConfirmation{kind, p.id, profile_signature(p), {}, {}};
}

void confirm_delete(AppState& app, kova::doc::Document& document, const ConnectionId& id) {
  std::erase_if(app.profiles, [&](const ConnectionProfile& p) { return p.id == id; });
  dispatch_remote_action(app, document, actions::DeleteConnection{id});
  if (app.selection == id) app.selection = first_visible(app);
}

void confirm_trust(AppState& app, const PendingConfirmation& asked) {
  const auto verdict = host_key_verdict(app, asked.connection);
  if (!verdict || verdict->kind != HostKeyVerdict::Kind::Untrusted ||
      verdict->algorithm != asked.key_algorithm || verdict->fingerprint != asked.key_fingerprint) {
    app.notice = "The observed SSH host key changed before it was trusted. Review it again.";
    return;
  }
  // Pinning needs the trust store, which arrives with SSH sessions; a
  // verdict can only exist once they do.
  connect(app, asked.connection);
}

void confirm_forget(AppState& app, const PendingConfirmation& asked) {
  const auto verdict = host_key_verdict(app, asked.connection);
  if (!verdict || verdict->kind != HostKeyVerdict::Kind::Changed) {
    app.notice =
        "The SSH host key is no longer the changed key you approved for removal. Reconnect to "
        "review it again.";
    return;
  }
  disconnect(app);
}

}  // namespace

std::optional<HostKeyVerdict> host_key_verdict(const AppState& /*app*/, const ConnectionId& /*id*/) {
  return std::nullopt;
}

void request_connect(AppState& app, const ConnectionId& id) {
  const ConnectionProfile* p = find_profile(app, id);
  if (!p) {
    app.notice = gone_text;
    return;
  }
  if (readiness(*p) != 0) {
    connect(app, id);
    return;
  }
  app.notice.reset();
  app.pending_confirmation = pending(PendingConfirmation::Kind::Connect, *p);
  blur_focused(app);
}

void request_delete(AppState& app, const ConnectionId& id) {
  const ConnectionProfile* p = find_profile(app, id);
  if (!p) {
    app.notice = gone_text;
    return;
  }
  app.notice.reset();
  app.pending_confirmation = pending(PendingConfirmation::Kind::Delete, *p);
  blur_focused(app);
}

void request_trust_ssh_host_key(AppState& app, const ConnectionId& id) {
  const ConnectionProfile* p = find_profile(app, id);
  if (!p) return;
  const auto verdict = host_key_verdict(app, id);
  if (!verdict || verdict->kind != HostKeyVerdict::Kind::Untrusted) {
    app.notice =
        "No new SSH host key is waiting for trust. Changed keys must be forgotten before they can "
        "be reviewed again.";
    return;
  }
  auto confirmation = pending(PendingConfirmation::Kind::TrustSshHostKey, *p);
  confirmation.key_algorithm = verdict->algorithm;
  confirmation.key_fingerprint = verdict->fingerprint;
  app.pending_confirmation = std::move(confirmation);
}

void request_forget_ssh_host_key(AppState& app, const ConnectionId& id) {
  const ConnectionProfile* p = find_profile(app, id);
  if (!p) return;
  const auto verdict = host_key_verdict(app, id);
  if (!verdict || verdict->kind != HostKeyVerdict::Kind::Changed) {
    app.notice =
        "Only a currently changed SSH host key can be forgotten. Reconnect to revalidate this "
        "target first.";
    return;
  }
  app.pending_confirmation = pending(PendingConfirmation::Kind::ForgetSshHostKey, *p);
}

void cancel_pending(AppState& app) {
  app.pending_confirmation.reset();
  app.notice = "Action cancelled. No connection or profile was changed.";
}

void confirm_pending(AppState& app, kova::doc::Document& document) {
  if (!app.pending_confirmation) return;
  const PendingConfirmation asked = std::move(*app.pending_confirmation);
  app.pending_confirmation.reset();
  const ConnectionProfile* p = find_profile(app, asked.connection);
  if (!p) {
    app.notice = "The saved connection was removed before confirmation.";
    return;
  }
  if (profile_signature(*p) != asked.signature) {
    app.notice =
        "This connection changed while confirmation was open. Review the current profile, then "
        "try again.";
    return;
  }
  switch (asked.kind) {
    case PendingConfirmation::Kind::Connect:
      connect(app, asked.connection);
      break;
    case PendingConfirmation::Kind::Delete:
      confirm_delete(app, document, asked.connection);
      break;
    case PendingConfirmation::Kind::TrustSshHostKey:
      confirm_trust(app, asked);
      break;
    case PendingConfirmation::Kind::ForgetSshHostKey:
      confirm_forget(app, asked);
      break;
  }
}

}  // namespace remote::app
