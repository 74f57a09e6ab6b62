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

const ssh::HostKeyUntrusted* untrusted(const std::optional<ssh::HostKeyVerdict>& verdict) {
  return verdict ? std::get_if<ssh::HostKeyUntrusted>(&*verdict) : nullptr;
}

// The answer points into the verdict, so a temporary is refused.
const ssh::HostKeyUntrusted* untrusted(std::optional<ssh::HostKeyVerdict>&&) = delete;

bool changed(const std::optional<ssh::HostKeyVerdict>& verdict) {
  return verdict && std::holds_alternative<ssh::HostKeyChanged>(*verdict);
}

void confirm_trust(AppState& app, const PendingConfirmation& asked, const ConnectionProfile& p) {
  const auto verdict = host_key_verdict(app, asked.connection);
  const auto* now = untrusted(verdict);
  if (!now || now->observed.algorithm != asked.key_algorithm ||
      now->observed.fingerprint != asked.key_fingerprint) {
    app.notice = "The observed SSH host key changed before it was trusted. Review it again.";
    return;
  }
  const auto store = ssh::known_hosts_path();
  if (!store) {
    app.notice = "Could not use private SSH host-key storage: " + store.error().message;
    return;
  }
  if (auto pinned = ssh::trust_host_key(*store, p.host, p.port, now->observed); !pinned) {
    app.notice = "Could not save SSH host-key trust: " + pinned.error().message;
    return;
  }
  connect(app, asked.connection);
}

void confirm_forget(AppState& app, const PendingConfirmation& asked, const ConnectionProfile& p) {
  if (!changed(host_key_verdict(app, asked.connection))) {
    app.notice =
        "The SSH host key is no longer the changed key you approved for removal. Reconnect to "
        "review it again.";
    return;
  }
  const auto store = ssh::known_hosts_path();
  if (!store) {
    app.notice = "Could not use private SSH host-key storage: " + store.error().message;
    return;
  }
  const auto forgotten = ssh::forget_host_key(*store, p.host, p.port);
  if (!forgotten) {
    app.notice = "Could not forget SSH host-key trust: " + forgotten.error().message;
    return;
  }
  if (!*forgotten) {
    app.notice = "No local SSH host-key pin was found for this target.";
    return;
  }
  app.notice =
      "Forgot the local SSH host-key pin. Reconnect to review the next key before trusting it.";
  disconnect(app);
}

}  // namespace

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
  const auto* waiting = untrusted(verdict);
  if (!waiting) {
    app.notice =
        "No new SSH host key is waiting for trust. Changed keys must be forgotten before they can "
        "be reviewed again.";
    return;
  }
  auto confirmation = pending(PendingConfirmation::Kind::TrustSshHostKey, *p);
  confirmation.key_algorithm = waiting->observed.algorithm;
  confirmation.key_fingerprint = waiting->observed.fingerprint;
  app.pending_confirmation = std::move(confirmation);
}

void request_forget_ssh_host_key(AppState& app, const ConnectionId& id) {
  const ConnectionProfile* p = find_profile(app, id);
  if (!p) return;
  if (!changed(host_key_verdict(app, id))) {
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
  const ConnectionProfile* found = find_profile(app, asked.connection);
  if (!found) {
    app.notice = "The saved connection was removed before confirmation.";
    return;
  }
  // A copy: connecting and deleting change the list the pointer points into.
  const ConnectionProfile p = *found;
  if (profile_signature(p) != asked.signature) {
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
      confirm_trust(app, asked, p);
      break;
    case PendingConfirmation::Kind::ForgetSshHostKey:
      confirm_forget(app, asked, p);
      break;
  }
}

}  // namespace remote::app
