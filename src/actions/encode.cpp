#include <nlohmann/json.hpp>
#include <type_traits>

#include "actions/codec.h"

namespace remote::actions {

namespace {

using Json = nlohmann::ordered_json;

std::string_view kind_variant(ConnectionKind kind) {
  switch (kind) {
    case ConnectionKind::Ssh:
      return "Ssh";
    case ConnectionKind::Vnc:
      return "Vnc";
    case ConnectionKind::Rdp:
      return "Rdp";
    case ConnectionKind::Kova:
      return "Kova";
  }
  return "Ssh";
}

std::string_view auth_variant(AuthMethod auth) {
  switch (auth) {
    case AuthMethod::Password:
      return "Password";
    case AuthMethod::PublicKey:
      return "PublicKey";
    case AuthMethod::DeviceIdentity:
      return "DeviceIdentity";
  }
  return "Password";
}

Json tagged(std::string_view variant, Json fields) {
  Json value = Json::object();
  value[std::string(variant)] = std::move(fields);
  return value;
}

Json fields_of(const UpsertConnection& a) {
  Json f = Json::object();
  f["id"] = a.id.to_string();
  f["name"] = a.name;
  f["host"] = a.host;
  f["port"] = a.port;
  f["user"] = a.user;
  f["kind"] = kind_variant(a.kind);
  f["auth"] = auth_variant(a.auth);
  f["group"] = a.group;
  return f;
}

Json fields_of(const RenameConnection& a) {
  Json f = Json::object();
  f["id"] = a.id.to_string();
  f["name"] = a.name;
  return f;
}

Json fields_of(const SetFavorite& a) {
  Json f = Json::object();
  f["id"] = a.id.to_string();
  f["favorite"] = a.favorite;
  return f;
}

Json fields_of(const DeleteConnection& a) {
  Json f = Json::object();
  f["id"] = a.id.to_string();
  return f;
}

Json id_fields(const ConnectionId& id) {
  Json f = Json::object();
  f["connection_id"] = id.to_string();
  return f;
}

Json operation_value(const RemoteOperation& operation) {
  switch (operation.index()) {
    case 0:
      return "ShowConnections";
    case 1:
      return "NewConnectionForm";
    case 2:
      return tagged("EditConnection", id_fields(std::get<2>(operation).connection_id));
    case 3:
      return tagged("Connect", id_fields(std::get<3>(operation).connection_id));
    case 4:
      return tagged("Disconnect", id_fields(std::get<4>(operation).connection_id));
    case 5: {
      const auto& op = std::get<5>(operation);
      Json f = id_fields(op.connection_id);
      f["text"] = op.text;
      return tagged("SendText", std::move(f));
    }
    case 6: {
      const auto& op = std::get<6>(operation);
      Json observed = Json::object();
      observed["algorithm"] = op.observed.algorithm;
      observed["fingerprint"] = op.observed.fingerprint;
      Json f = id_fields(op.connection_id);
      f["observed"] = std::move(observed);
      return tagged("TrustSshHostKey", std::move(f));
    }
    case 7:
      return tagged("ForgetSshHostKey", id_fields(std::get<7>(operation).connection_id));
  }
  return nullptr;
}

// Compact output. Replacing bad UTF-8 rather than throwing is what keeps
// encoding total: a text that came from elsewhere cannot stop the program.
std::string compact(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

nlohmann::ordered_json remote_action_value(const RemoteAction& action) {
  return std::visit(
      [](const auto& a) -> Json {
        using T = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<T, UpsertConnection>) {
          return tagged("UpsertConnection", fields_of(a));
        } else if constexpr (std::is_same_v<T, RenameConnection>) {
          return tagged("RenameConnection", fields_of(a));
        } else if constexpr (std::is_same_v<T, SetFavorite>) {
          return tagged("SetFavorite", fields_of(a));
        } else {
          return tagged("DeleteConnection", fields_of(a));
        }
      },
      action);
}

std::string encode_remote_action(const RemoteAction& action) {
  return compact(remote_action_value(action));
}

std::string encode_remote_operation(const RemoteOperation& operation) {
  return compact(operation_value(operation));
}

}  // namespace remote::actions
