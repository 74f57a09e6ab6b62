// Decoding walks the strictly read value. Field readers throw a Failure that
// never leaves this file: the public functions catch it and return it as the
// error, so the walk reads as the shape it checks.
#include <array>
#include <span>

#include "actions/codec.h"
#include "actions/strict_json.h"

namespace remote::actions {

namespace {

using Json = nlohmann::json;

struct Failure {
  Error error;
};

[[noreturn]] void fail(ErrorCode code, std::string message) {
  throw Failure{Error{code, std::move(message)}};
}

std::string_view type_word(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::boolean:
      return "boolean";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
      return "integer";
    case Json::value_t::number_float:
      return "floating point";
    case Json::value_t::string:
      return "string";
    case Json::value_t::array:
      return "sequence";
    case Json::value_t::object:
      return "map";
    default:
      return "value";
  }
}

std::string one_of(std::span<const std::string_view> names) {
  std::string text;
  for (auto name : names) {
    if (!text.empty()) text += ", ";
    text += "`";
    text += name;
    text += "`";
  }
  return text;
}

// An externally tagged value: the variant's index and its content (nullptr
// for the bare-string form).
struct Tagged {
  std::size_t index;
  const Json* content;
};

Tagged split_tagged(const Json& value, std::string_view enum_name,
                    std::span<const std::string_view> variants, std::string_view field = {}) {
  const std::string* name = nullptr;
  const Json* content = nullptr;
  if (value.is_string()) {
    name = value.get_ptr<const std::string*>();
  } else if (value.is_object() && value.size() == 1) {
    name = &value.begin().key();
    content = &value.begin().value();
  } else {
    const std::string where = field.empty() ? "" : " for `" + std::string(field) + "`";
    fail(ErrorCode::InvalidType,
         "invalid type" + where + ": " + std::string(type_word(value)) +
             (value.is_object() ? " with " + std::to_string(value.size()) + " entries" : "") +
             ", expected enum " + std::string(enum_name) +
             " as a string or an object with exactly one member");
  }
  for (std::size_t i = 0; i < variants.size(); ++i) {
    if (variants[i] == *name) return {i, content};
  }
  fail(ErrorCode::UnknownVariant,
       "unknown variant `" + echo_excerpt(*name) + "`, expected one of " + one_of(variants));
}

void expect_unit(const Tagged& tagged, std::string_view what) {
  if (tagged.content && !tagged.content->is_null()) {
    fail(ErrorCode::InvalidType, "invalid type: " + std::string(type_word(*tagged.content)) +
                                     ", expected unit variant " + std::string(what));
  }
}

// The fields of a struct in declaration order, from an object (any order,
// unknown members ignored; repeats were refused while reading) or from an
// array of exactly the field count.
template <std::size_t N>
std::array<const Json*, N> struct_fields(const Json* content, std::string_view shape,
                                         const std::array<std::string_view, N>& names) {
  std::array<const Json*, N> fields{};
  if (!content) {
    fail(ErrorCode::InvalidType, "invalid type: unit variant, expected " + std::string(shape));
  }
  if (content->is_array()) {
    if (content->size() != N) {
      fail(ErrorCode::InvalidLength, "invalid length " + std::to_string(content->size()) +
                                         ", expected " + std::string(shape) + " with " +
                                         std::to_string(N) + (N == 1 ? " element" : " elements"));
    }
    for (std::size_t i = 0; i < N; ++i)
      fields[i] = &(*content)[i];
    return fields;
  }
  if (!content->is_object()) {
    fail(ErrorCode::InvalidType,
         "invalid type: " + std::string(type_word(*content)) + ", expected " + std::string(shape));
  }
  for (std::size_t i = 0; i < N; ++i) {
    const auto found = content->find(names[i]);
    if (found == content->end()) {
      fail(ErrorCode::MissingField, "missing field `" + std::string(names[i]) + "`");
    }
    fields[i] = &*found;
  }
  return fields;
}

[[noreturn]] void wrong_type(const Json& value, std::string_view field, std::string_view expected) {
  fail(ErrorCode::InvalidType, "invalid type for `" + std::string(field) +
                                   "`: " + std::string(type_word(value)) + ", expected " +
                                   std::string(expected));
}

std::string text_field(const Json& value, std::string_view field) {
  if (!value.is_string()) wrong_type(value, field, "a string");
  return value.get<std::string>();
}

bool bool_field(const Json& value, std::string_view field) {
  if (!value.is_boolean()) wrong_type(value, field, "a boolean");
  return value.get<bool>();
}

ConnectionId id_field(const Json& value, std::string_view field) {
  constexpr std::string_view expected = "a formatted UUID string";
  if (!value.is_string()) wrong_type(value, field, expected);
  const auto id = ConnectionId::parse(value.get_ref<const std::string&>());
  if (!id) {
    fail(ErrorCode::InvalidValue,
         "invalid value for `" + std::string(field) + "`: expected " + std::string(expected));
  }
  return *id;
}

std::uint16_t port_field(const Json& value, std::string_view field) {
  constexpr std::string_view expected = "an integer from 0 to 65535";
  if (value.is_number_unsigned()) {
    const auto port = value.get<std::uint64_t>();
    if (port <= 65535) return static_cast<std::uint16_t>(port);
    fail(ErrorCode::InvalidValue, "invalid value for `" + std::string(field) + "`: " +
                                      std::to_string(port) + ", expected " + std::string(expected));
  }
  if (value.is_number_integer()) {
    fail(ErrorCode::InvalidValue, "invalid value for `" + std::string(field) +
                                      "`: " + std::to_string(value.get<std::int64_t>()) +
                                      ", expected " + std::string(expected));
  }
  wrong_type(value, field, expected);
}

constexpr std::array<std::string_view, 4> kind_variants{"Ssh", "Vnc", "Rdp", "Kova"};
constexpr std::array<std::string_view, 3> auth_variants{"Password", "PublicKey", "DeviceIdentity"};

ConnectionKind kind_field(const Json& value, std::string_view field) {
  const auto tagged = split_tagged(value, "ConnectionKind", kind_variants, field);
  expect_unit(tagged, "ConnectionKind::" + std::string(kind_variants[tagged.index]));
  return static_cast<ConnectionKind>(tagged.index);
}

AuthMethod auth_field(const Json& value, std::string_view field) {
  const auto tagged = split_tagged(value, "AuthMethod", auth_variants, field);
  expect_unit(tagged, "AuthMethod::" + std::string(auth_variants[tagged.index]));
  return static_cast<AuthMethod>(tagged.index);
}

HostKeyIdentity host_key_field(const Json& value, std::string_view field) {
  if (!value.is_object() && !value.is_array()) {
    wrong_type(value, field, "struct HostKeyIdentity");
  }
  const auto f = struct_fields<2>(&value, "struct HostKeyIdentity", {"algorithm", "fingerprint"});
  return HostKeyIdentity{text_field(*f[0], "algorithm"), text_field(*f[1], "fingerprint")};
}

constexpr std::array<std::string_view, 4> action_variants{"UpsertConnection", "RenameConnection",
                                                          "SetFavorite", "DeleteConnection"};

RemoteAction action_from(const Json& value) {
  const auto tagged = split_tagged(value, "RemoteAction", action_variants);
  switch (tagged.index) {
    case 0: {
      const auto f =
          struct_fields<8>(tagged.content, "struct variant RemoteAction::UpsertConnection",
                           {"id", "name", "host", "port", "user", "kind", "auth", "group"});
      return UpsertConnection{
          .id = id_field(*f[0], "id"),
          .name = text_field(*f[1], "name"),
          .host = text_field(*f[2], "host"),
          .port = port_field(*f[3], "port"),
          .user = text_field(*f[4], "user"),
          .kind = kind_field(*f[5], "kind"),
          .auth = auth_field(*f[6], "auth"),
          .group = text_field(*f[7], "group"),
      };
    }
    case 1: {
      const auto f = struct_fields<2>(
          tagged.content, "struct variant RemoteAction::RenameConnection", {"id", "name"});
      return RenameConnection{id_field(*f[0], "id"), text_field(*f[1], "name")};
    }
    case 2: {
      const auto f = struct_fields<2>(tagged.content, "struct variant RemoteAction::SetFavorite",
                                      {"id", "favorite"});
      return SetFavorite{id_field(*f[0], "id"), bool_field(*f[1], "favorite")};
    }
    default: {
      const auto f =
          struct_fields<1>(tagged.content, "struct variant RemoteAction::DeleteConnection", {"id"});
      return DeleteConnection{id_field(*f[0], "id")};
    }
  }
}

constexpr std::array<std::string_view, 8> operation_variants{
    "ShowConnections", "NewConnectionForm", "EditConnection",  "Connect",
    "Disconnect",      "SendText",          "TrustSshHostKey", "ForgetSshHostKey"};

// The single connection_id field of EditConnection, Connect, Disconnect and
// ForgetSshHostKey.
ConnectionId only_connection_id(const Tagged& tagged) {
  const auto shape =
      "struct variant RemoteOperation::" + std::string(operation_variants[tagged.index]);
  const auto f = struct_fields<1>(tagged.content, shape, {"connection_id"});
  return id_field(*f[0], "connection_id");
}

RemoteOperation operation_from(const Json& value) {
  const auto tagged = split_tagged(value, "RemoteOperation", operation_variants);
  switch (tagged.index) {
    case 0:
      expect_unit(tagged, "RemoteOperation::ShowConnections");
      return ShowConnections{};
    case 1:
      expect_unit(tagged, "RemoteOperation::NewConnectionForm");
      return NewConnectionForm{};
    case 2:
      return EditConnection{only_connection_id(tagged)};
    case 3:
      return Connect{only_connection_id(tagged)};
    case 4:
      return Disconnect{only_connection_id(tagged)};
    case 5: {
      const auto f = struct_fields<2>(tagged.content, "struct variant RemoteOperation::SendText",
                                      {"connection_id", "text"});
      return SendText{id_field(*f[0], "connection_id"), text_field(*f[1], "text")};
    }
    case 6: {
      const auto f =
          struct_fields<2>(tagged.content, "struct variant RemoteOperation::TrustSshHostKey",
                           {"connection_id", "observed"});
      return TrustSshHostKey{id_field(*f[0], "connection_id"), host_key_field(*f[1], "observed")};
    }
    default:
      return ForgetSshHostKey{only_connection_id(tagged)};
  }
}

template <class T>
Result<T> decode(std::string_view text, T (*walk)(const Json&)) {
  auto value = read_strict_json(text);
  if (!value) return std::unexpected(std::move(value.error()));
  try {
    return walk(*value);
  } catch (Failure& failure) {
    return std::unexpected(std::move(failure.error));
  }
}

}  // namespace

Result<RemoteAction> decode_remote_action(std::string_view json) {
  return decode<RemoteAction>(json, action_from);
}

std::optional<Result<RemoteOperation>> decode_remote_operation(std::string_view type_name,
                                                               std::string_view json) {
  if (type_name != remote_operation_type) return std::nullopt;
  return decode<RemoteOperation>(json, operation_from);
}

}  // namespace remote::actions
