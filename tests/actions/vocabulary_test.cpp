#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "actions/codec.h"
#include "actions/limits.h"

namespace remote::actions {
namespace {

const std::string id_text = "0b5e9a1c-7d2f-4e3a-9c8b-1a2b3c4d5e6f";
const ConnectionId id = *ConnectionId::parse(id_text);

// Every variant with its exact compact text, used both ways.
TEST(Vocabulary, ActionsEncodeInFieldOrderAndDecodeBack) {
  const std::vector<std::pair<RemoteAction, std::string>> cases = {
      {UpsertConnection{id, "Studio", "k", 0, "", ConnectionKind::Kova, AuthMethod::DeviceIdentity,
                        "Kova"},
       R"({"UpsertConnection":{"id":")" + id_text +
           R"(","name":"Studio","host":"k","port":0,"user":"","kind":"Kova","auth":"DeviceIdentity","group":"Kova"}})"},
      {UpsertConnection{id, "Build \"Box\"", "h", 65535, "me", ConnectionKind::Ssh,
                        AuthMethod::PublicKey, "lab"},
       R"({"UpsertConnection":{"id":")" + id_text +
           R"(","name":"Build \"Box\"","host":"h","port":65535,"user":"me","kind":"Ssh","auth":"PublicKey","group":"lab"}})"},
      {RenameConnection{id, "Caf\u00e9"},
       R"({"RenameConnection":{"id":")" + id_text + "\",\"name\":\"Caf\u00e9\"}}"},
      {SetFavorite{id, true}, R"({"SetFavorite":{"id":")" + id_text + R"(","favorite":true}})"},
      {SetFavorite{id, false}, R"({"SetFavorite":{"id":")" + id_text + R"(","favorite":false}})"},
      {DeleteConnection{id}, R"({"DeleteConnection":{"id":")" + id_text + R"("}})"},
  };
  for (const auto& [action, text] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(encode_remote_action(action), text);
    EXPECT_EQ(remote_action_value(action).dump(), text);
    const auto decoded = decode_remote_action(text);
    ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
    EXPECT_EQ(*decoded, action);
  }
}

TEST(Vocabulary, OperationsEncodeInFieldOrderAndDecodeBack) {
  const std::string cid = R"("connection_id":")" + id_text + "\"";
  const std::vector<std::pair<RemoteOperation, std::string>> cases = {
      {ShowConnections{}, R"("ShowConnections")"},
      {NewConnectionForm{}, R"("NewConnectionForm")"},
      {EditConnection{id}, R"({"EditConnection":{)" + cid + "}}"},
      {Connect{id}, R"({"Connect":{)" + cid + "}}"},
      {Disconnect{id}, R"({"Disconnect":{)" + cid + "}}"},
      {SendText{id, "ls\n"}, R"({"SendText":{)" + cid + R"(,"text":"ls\n"}})"},
      {TrustSshHostKey{id, {"ssh-ed25519", "SHA256:abc"}},
       R"({"TrustSshHostKey":{)" + cid +
           R"(,"observed":{"algorithm":"ssh-ed25519","fingerprint":"SHA256:abc"}}})"},
      {ForgetSshHostKey{id}, R"({"ForgetSshHostKey":{)" + cid + "}}"},
  };
  for (const auto& [operation, text] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(encode_remote_operation(operation), text);
    const auto decoded = decode_remote_operation(remote_operation_type, text);
    ASSERT_TRUE(decoded.has_value());
    ASSERT_TRUE(decoded->has_value()) << decoded->error().message;
    EXPECT_EQ(**decoded, operation);
  }
}

TEST(Vocabulary, LabelValueIsOneMemberNamedAfterTheVariant) {
  const std::vector<std::pair<RemoteAction, std::string>> cases = {
      {UpsertConnection{id, "", "", 0, "", ConnectionKind::Ssh, AuthMethod::Password, ""},
       "UpsertConnection"},
      {RenameConnection{id, "x"}, "RenameConnection"},
      {SetFavorite{id, true}, "SetFavorite"},
      {DeleteConnection{id}, "DeleteConnection"},
  };
  for (const auto& [action, name] : cases) {
    SCOPED_TRACE(name);
    const auto value = remote_action_value(action);
    ASSERT_TRUE(value.is_object());
    ASSERT_EQ(value.size(), 1u);
    EXPECT_EQ(value.begin().key(), name);
  }
}

TEST(Vocabulary, InvalidUtf8IsEncodedWithReplacementCharacters) {
  const RenameConnection action{id, std::string("a\xff"
                                                "b")};
  EXPECT_EQ(encode_remote_action(action), R"({"RenameConnection":{"id":")" + id_text +
                                              "\",\"name\":\"a\xef\xbf\xbd"
                                              "b\"}}");
}

// Inputs that decode, in the forms other clients may write them.
TEST(Vocabulary, AcceptedVariations) {
  const std::vector<std::pair<std::string, RemoteOperation>> operations = {
      {R"({"SendText":{"text":"hi","connection_id":")" + id_text + R"("}})", SendText{id, "hi"}},
      {R"({"Connect":{"connection_id":")" + id_text + R"(","extra":[1,{"x":null}]}})", Connect{id}},
      {R"({"Connect":{"connection_id":"0B5E9A1C-7D2F-4E3A-9C8B-1A2B3C4D5E6F"}})", Connect{id}},
      {R"({"SendText":[")" + id_text + R"(","hi"]})", SendText{id, "hi"}},
      {R"({"TrustSshHostKey":[")" + id_text + R"(",["a","f"]]})", TrustSshHostKey{id, {"a", "f"}}},
      {R"({"ShowConnections":null})", ShowConnections{}},
      {" \n\"NewConnectionForm\"\t", NewConnectionForm{}},
  };
  for (const auto& [text, operation] : operations) {
    SCOPED_TRACE(text);
    const auto decoded = decode_remote_operation(remote_operation_type, text);
    ASSERT_TRUE(decoded && decoded->has_value()) << decoded->error().message;
    EXPECT_EQ(**decoded, operation);
  }
  const std::vector<std::pair<std::string, RemoteAction>> actions = {
      {R"({"SetFavorite":[")" + id_text + R"(",true]})", SetFavorite{id, true}},
      {R"({"UpsertConnection":{"group":"g","auth":{"Password":null},"kind":"Vnc","user":"",)"
       R"("port":5900,"host":"h","name":"n","id":")" +
           id_text + R"("}})",
       UpsertConnection{id, "n", "h", 5900, "", ConnectionKind::Vnc, AuthMethod::Password, "g"}},
  };
  for (const auto& [text, action] : actions) {
    SCOPED_TRACE(text);
    const auto decoded = decode_remote_action(text);
    ASSERT_TRUE(decoded.has_value()) << decoded.error().message;
    EXPECT_EQ(*decoded, action);
  }
}

struct Rejected {
  std::string json;
  ErrorCode code;
  std::string message;  // exact, or a prefix when ending in "..."
};

void expect_error(const Result<RemoteOperation>& result, const Rejected& c) {
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().code, c.code);
  if (c.message.ends_with("...")) {
    EXPECT_TRUE(result.error().message.starts_with(c.message.substr(0, c.message.size() - 3)))
        << result.error().message;
  } else {
    EXPECT_EQ(result.error().message, c.message);
  }
}

TEST(Vocabulary, RejectedOperations) {
  const std::string cid = R"("connection_id":")" + id_text + "\"";
  using enum ErrorCode;
  const std::vector<Rejected> cases = {
      {R"({"SendText":{)" + cid + "}}", MissingField, "missing field `text`"},
      {R"({"SendText":{"text":"a",)" + cid + R"(,"text":"b"}})", DuplicateField,
       "duplicate field `text`"},
      {R"({"Connect":{"connection_id":"not-a-uuid"}})", InvalidValue,
       "invalid value for `connection_id`: expected a formatted UUID string"},
      {R"({"Connect":{"connection_id":42}})", InvalidType,
       "invalid type for `connection_id`: integer, expected a formatted UUID string"},
      {R"({"Connect":{"connection_id":"{)" + id_text + R"(}"}})", InvalidValue,
       "invalid value for `connection_id`: expected a formatted UUID string"},
      {R"({"connect":{)" + cid + "}}", UnknownVariant,
       "unknown variant `connect`, expected one of `ShowConnections`, `NewConnectionForm`, "
       "`EditConnection`, `Connect`, `Disconnect`, `SendText`, `TrustSshHostKey`, "
       "`ForgetSshHostKey`"},
      {R"("showConnections")", UnknownVariant, "unknown variant `showConnections`, ..."},
      {R"("Connect")", InvalidType,
       "invalid type: unit variant, expected struct variant RemoteOperation::Connect"},
      {R"({"ShowConnections":{}})", InvalidType,
       "invalid type: map, expected unit variant RemoteOperation::ShowConnections"},
      {R"({"Connect":{},"Disconnect":{}})", InvalidType,
       "invalid type: map with 2 entries, expected enum RemoteOperation as a string or an "
       "object with exactly one member"},
      {"{}", InvalidType, "invalid type: map with 0 entries, ..."},
      {"7", InvalidType, "invalid type: integer, expected enum RemoteOperation ..."},
      {R"({"Connect":"x"})", InvalidType,
       "invalid type: string, expected struct variant RemoteOperation::Connect"},
      {R"({"EditConnection":[]})", InvalidLength,
       "invalid length 0, expected struct variant RemoteOperation::EditConnection with 1 "
       "element"},
      {R"({"Connect":[1,2]})", InvalidLength,
       "invalid length 2, expected struct variant RemoteOperation::Connect with 1 element"},
      {R"({"Disconnect":[]})", InvalidLength,
       "invalid length 0, expected struct variant RemoteOperation::Disconnect with 1 element"},
      {R"({"SendText":[1]})", InvalidLength,
       "invalid length 1, expected struct variant RemoteOperation::SendText with 2 elements"},
      {R"({"TrustSshHostKey":[1,2,3]})", InvalidLength,
       "invalid length 3, expected struct variant RemoteOperation::TrustSshHostKey with 2 "
       "elements"},
      {R"({"ForgetSshHostKey":[]})", InvalidLength,
       "invalid length 0, expected struct variant RemoteOperation::ForgetSshHostKey with 1 "
       "element"},
      {R"({"SendText":{)" + cid + R"(,"text":5}})", InvalidType,
       "invalid type for `text`: integer, expected a string"},
      {R"({"TrustSshHostKey":{)" + cid + R"(,"observed":{"algorithm":"a"}}})", MissingField,
       "missing field `fingerprint`"},
      {R"({"TrustSshHostKey":{)" + cid + R"(,"observed":"k"}})", InvalidType,
       "invalid type for `observed`: string, expected struct HostKeyIdentity"},
      {R"({"TrustSshHostKey":{)" + cid + R"(,"observed":["a"]}})", InvalidLength,
       "invalid length 1, expected struct HostKeyIdentity with 2 elements"},
      {R"({"Connect":{"x":1,"x":2,)" + cid + "}}", DuplicateField, "duplicate field `x`"},
      {R"({"Connect":{)" + cid + "}} trailing", Syntax, "[json.exception.parse_error..."},
      {R"({"Connect":{)", Syntax, "[json.exception.parse_error..."},
      {"", Syntax, "[json.exception.parse_error..."},
      {"\"\xff\"", Syntax, "[json.exception.parse_error..."},
      {std::string(33, '[') + std::string(33, ']'), TooComplex,
       "JSON text nests deeper than 32 levels"},
      {"\"" + std::string(200, 'A') + "\"", UnknownVariant,
       "unknown variant `" + std::string(64, 'A') + "\u2026`, ..."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json.substr(0, 120));
    const auto decoded = decode_remote_operation(remote_operation_type, c.json);
    ASSERT_TRUE(decoded.has_value());
    expect_error(*decoded, c);
  }
}

TEST(Vocabulary, RejectedActions) {
  const std::string i = R"("id":")" + id_text + "\"";
  const std::string upsert_rest =
      R"(,"name":"n","host":"h","user":"","kind":"Ssh","auth":"Password","group":"")";
  using enum ErrorCode;
  const std::vector<Rejected> cases = {
      {R"({"UpsertConnection":{)" + i + upsert_rest + R"(,"port":65536}})", InvalidValue,
       "invalid value for `port`: 65536, expected an integer from 0 to 65535"},
      {R"({"UpsertConnection":{)" + i + upsert_rest + R"(,"port":-1}})", InvalidValue,
       "invalid value for `port`: -1, expected an integer from 0 to 65535"},
      {R"({"UpsertConnection":{)" + i + upsert_rest + R"(,"port":22.0}})", InvalidType,
       "invalid type for `port`: floating point, expected an integer from 0 to 65535"},
      {R"({"UpsertConnection":{)" + i + upsert_rest + R"(,"port":"22"}})", InvalidType,
       "invalid type for `port`: string, expected an integer from 0 to 65535"},
      {R"({"UpsertConnection":{)" + i + upsert_rest + "}}", MissingField, "missing field `port`"},
      {R"({"UpsertConnection":{)" + i +
           R"(,"name":"n","host":"h","port":1,"user":"","kind":"SSH","auth":"Password","group":""}})",
       UnknownVariant, "unknown variant `SSH`, expected one of `Ssh`, `Vnc`, `Rdp`, `Kova`"},
      {R"({"UpsertConnection":{)" + i +
           R"(,"name":"n","host":"h","port":1,"user":"","kind":"Ssh","auth":"Public key","group":""}})",
       UnknownVariant,
       "unknown variant `Public key`, expected one of `Password`, `PublicKey`, `DeviceIdentity`"},
      {R"({"UpsertConnection":{)" + i +
           R"(,"name":"n","host":"h","port":1,"user":"","kind":3,"auth":"Password","group":""}})",
       InvalidType, "invalid type for `kind`: integer, expected enum ConnectionKind ..."},
      {R"({"UpsertConnection":[1,2,3]})", InvalidLength,
       "invalid length 3, expected struct variant RemoteAction::UpsertConnection with 8 elements"},
      {R"({"RenameConnection":[1]})", InvalidLength,
       "invalid length 1, expected struct variant RemoteAction::RenameConnection with 2 elements"},
      {R"({"SetFavorite":[]})", InvalidLength,
       "invalid length 0, expected struct variant RemoteAction::SetFavorite with 2 elements"},
      {R"({"DeleteConnection":[1,2]})", InvalidLength,
       "invalid length 2, expected struct variant RemoteAction::DeleteConnection with 1 element"},
      {R"({"SetFavorite":{)" + i + R"(,"favorite":1}})", InvalidType,
       "invalid type for `favorite`: integer, expected a boolean"},
      {R"({"RenameConnection":{)" + i + R"(,"name":"a","name":"b"}})", DuplicateField,
       "duplicate field `name`"},
      {R"({"DeleteConnection":{}})", MissingField, "missing field `id`"},
      {R"({"DeleteConnection":{"id":""}})", InvalidValue,
       "invalid value for `id`: expected a formatted UUID string"},
      {R"("ShowConnections")", UnknownVariant,
       "unknown variant `ShowConnections`, expected one of `UpsertConnection`, "
       "`RenameConnection`, `SetFavorite`, `DeleteConnection`"},
      {std::string(max_json_bytes + 1, ' '), TooLarge, "JSON text is larger than 1048576 bytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json.substr(0, 160));
    const auto decoded = decode_remote_action(c.json);
    ASSERT_FALSE(decoded.has_value());
    EXPECT_EQ(decoded.error().code, c.code);
    if (c.message.ends_with("...")) {
      EXPECT_TRUE(decoded.error().message.starts_with(c.message.substr(0, c.message.size() - 3)))
          << decoded.error().message;
    } else {
      EXPECT_EQ(decoded.error().message, c.message);
    }
  }
}

TEST(Vocabulary, TooManyValuesAreRefusedWhileReading) {
  std::string many = R"({"Connect":{"connection_id":")" + id_text + R"(","pad":[)";
  for (std::size_t n = 0; n < max_json_values; ++n)
    many += n ? ",0" : "0";
  many += "]}}";
  const auto decoded = decode_remote_operation(remote_operation_type, many);
  ASSERT_TRUE(decoded && !decoded->has_value());
  EXPECT_EQ(decoded->error().code, ErrorCode::TooComplex);
  EXPECT_EQ(decoded->error().message, "JSON text has more than 4096 values");
}

TEST(Vocabulary, OtherTypeNamesAreNotDecoded) {
  const std::string text = R"("ShowConnections")";
  for (std::string_view type : {"remote.operations", "remote.operatio", "Remote.operation",
                                "remote.action", "", "remote.operation "}) {
    SCOPED_TRACE(type);
    EXPECT_FALSE(decode_remote_operation(type, text).has_value());
  }
  EXPECT_TRUE(decode_remote_operation("remote.operation", text).has_value());
  EXPECT_EQ(remote_action_type.size(), 13u);
  EXPECT_EQ(remote_operation_type.size(), 16u);
}

}  // namespace
}  // namespace remote::actions
