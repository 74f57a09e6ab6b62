#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "action_host/bound_dispatch.h"
#include "action_host/context.h"
#include "action_host/executor.h"
#include "action_host/limits.h"
#include "action_host/params.h"
#include "action_host/registry.h"
#include "action_host/resource.h"
#include "document/document.h"

namespace {

using namespace kova::actions;
namespace doc = kova::doc;

// A small change type: {"Put":{"key":..,"value":..}} writes a string at the
// root; "Fail" writes nothing and fails; "Half" writes, then fails.
struct Change {
  std::string variant;
  std::string key;
  std::string value;
};

std::expected<Change, std::string> decode_change(std::string_view json) {
  const auto v = nlohmann::json::parse(json, nullptr, false);
  if (v.is_discarded()) return std::unexpected("syntax error");
  if (v.is_string()) return Change{v.get<std::string>(), "", ""};
  if (v.is_object() && v.contains("Put")) {
    const auto& put = v["Put"];
    if (!put.contains("key")) return std::unexpected("missing field `key`");
    return Change{"Put", put["key"].get<std::string>(), put.value("value", "")};
  }
  return std::unexpected("unknown variant");
}

std::string encode_change(const Change& c) {
  if (c.variant != "Put") return nlohmann::json(c.variant).dump();
  return nlohmann::json{{"Put", {{"key", c.key}, {"value", c.value}}}}.dump();
}

int apply_calls = 0;

action::Result<void> apply_change(const Change& c, doc::Document& d) {
  ++apply_calls;
  if (c.variant == "Fail") return std::unexpected(action::ActionError{"refused"});
  (void)d.put(doc::root, c.variant == "Half" ? "half" : c.key, doc::Scalar{std::string{c.value}});
  if (c.variant == "Half") return std::unexpected(action::ActionError{"stopped half way"});
  return {};
}

registry::Registry test_registry() {
  registry::Registry reg;
  reg.register_change<Change>("test.change", {.decode = decode_change,
                                              .encode = encode_change,
                                              .apply = apply_change,
                                              .debug = {}});
  return reg;
}

std::unique_ptr<action::TypedAction> decoded(std::string_view json) {
  auto typed = test_registry().decode("test.change", json);
  EXPECT_TRUE(typed.has_value()) << (typed ? "" : typed.error().text());
  return std::move(*typed);
}

TEST(HumanizeIdentifier, Table) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"UpsertConnection", "Upsert connection"},
      {"SetFavorite", "Set favorite"},
      {"DeleteConnection", "Delete connection"},
      {"ShowConnections", "Show connections"},
      {"sendText", "Send text"},
      {"send_text", "Send text"},
      {"forget-host-key", "Forget host key"},
      {"SSHKey", "SSH key"},
      {"Connect", "Connect"},
      {"x", "X"},
      {"", ""},
      {"V2Update", "V2 update"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(context::humanize_identifier(c.in), c.out);
  }
}

TEST(HumanizeIdentifier, VeryLongIdentifierIsCut) {
  const std::string id(max_identifier_bytes * 4, 'a');
  EXPECT_EQ(context::humanize_identifier(id).size(), max_identifier_bytes);
}

TEST(ActionContext, EnrichedByKeepsUnsetFields) {
  const context::ActionContext base{"org.example.Base", "Base", "Old label"};
  EXPECT_EQ(base.enriched_by({"org.kova.Remote", "Remote", ""}),
            (context::ActionContext{"org.kova.Remote", "Remote", "Old label"}));
  EXPECT_EQ(base.enriched_by({"", "", "Rename"}),
            (context::ActionContext{"org.example.Base", "Base", "Rename"}));
}

TEST(ActionArgs, TextIsPresentOnlyWhenGiven) {
  const params::ActionArgs args{{"text", "ls -l"}, {"empty", ""}};
  EXPECT_EQ(args.text("text"), "ls -l");
  EXPECT_EQ(args.text("empty"), "");
  EXPECT_EQ(args.text("value"), std::nullopt);
}

TEST(Resource, SpecBuildersAndDerivedInput) {
  auto rename = resource::ActionSpec::built(
      "rename", "Rename connection", {"value", "New name", "connection name", ""},
      [](const params::ActionArgs& a) {
        return resource::EncodedInvocation{"test.change", a.text("value").value_or("")};
      });
  const auto fixed = resource::ActionSpec::encoded("delete", "Delete", {"test.change", "\"Fail\""})
                         .with_contract({"network", "session"})
                         .destructive()
                         .unavailable_because("code", "reason");
  const auto res = resource::Resource{"test.kind", "test.id", "Label", {}, {}}
                       .with_action(std::move(rename))
                       .with_action(fixed);

  ASSERT_NE(res.find_action("rename"), nullptr);
  EXPECT_EQ(res.find_action("missing"), nullptr);
  EXPECT_EQ(res.find_action("rename")->invocation_for({{"value", "Box"}}).json, "Box");
  EXPECT_EQ(res.find_action("rename")->invocation_for({}).json, "");
  EXPECT_EQ(res.find_action("delete")->invocation_for({{"value", "ignored"}}).json, "\"Fail\"");
  EXPECT_TRUE(fixed.is_destructive);
  EXPECT_EQ(fixed.contract->capabilities, (std::vector<std::string>{"network", "session"}));
  EXPECT_EQ(fixed.unavailable, (resource::Unavailability{"code", "reason"}));

  const auto input = resource::derive_input(*res.find_action("rename"));
  ASSERT_EQ(input.parameters.size(), 1u);
  EXPECT_EQ(input.parameters[0], (resource::InputParameter{"value", "text", "New name",
                                                          "connection name", "", false}));
  EXPECT_TRUE(resource::derive_input(fixed).parameters.empty());
}

TEST(Resource, EnforceOperationType) {
  using resource::OperationClass;
  EXPECT_TRUE(resource::enforce_operation_type(OperationClass::View, OperationClass::View, "x"));
  const auto err =
      resource::enforce_operation_type(OperationClass::Background, OperationClass::View, "mismatch");
  ASSERT_FALSE(err);
  EXPECT_EQ(err.error().text(), "mismatch");
}

TEST(Registry, DecodeOutcomes) {
  const auto reg = test_registry();
  EXPECT_TRUE(reg.contains("test.change"));
  EXPECT_FALSE(reg.contains("test.changes"));

  const struct {
    const char* name;
    std::string type;
    std::string json;
    std::string error;  // empty: decodes
  } cases[] = {
      {"object", "test.change", R"({"Put":{"key":"k","value":"v"}})", ""},
      {"bare string", "test.change", R"("Fail")", ""},
      {"decoder error passes through", "test.change", R"({"Put":{}})", "missing field `key`"},
      {"syntax", "test.change", "{", "syntax error"},
      {"unknown type", "test.changes", "\"Fail\"", "unknown change type \"test.changes\""},
      {"too large", "test.change", std::string(max_invocation_json_bytes + 1, ' '),
       "change is larger than 1048576 bytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto typed = reg.decode(c.type, c.json);
    if (c.error.empty()) {
      ASSERT_TRUE(typed.has_value());
      EXPECT_EQ((*typed)->type_name(), "test.change");
    } else {
      ASSERT_FALSE(typed.has_value());
      EXPECT_EQ(typed.error().text(), c.error);
    }
  }
}

TEST(TypedAction, VariantNameAndDebug) {
  const auto put = decoded(R"({"Put":{"key":"k","value":"v"}})");
  EXPECT_EQ(put->variant_name(), "Put");
  EXPECT_EQ(put->debug(), R"(test.change {"Put":{"key":"k","value":"v"}})");
  EXPECT_EQ(decoded(R"("Fail")")->variant_name(), "Fail");
  EXPECT_EQ(action::tagged_variant_name(R"({"a":1,"b":2})"), std::nullopt);
  EXPECT_EQ(action::tagged_variant_name("[1]"), std::nullopt);
  EXPECT_EQ(action::tagged_variant_name("not json"), std::nullopt);
  EXPECT_EQ(action::tagged_variant_name(R"({"A":{"x":[1,{"y":2}]}})"), "A");
  EXPECT_EQ(action::tagged_variant_name(R"({"A":1} trailing)"), std::nullopt);
  EXPECT_EQ(action::tagged_variant_name(std::string(100000, '[') + std::string(100000, ']')), std::nullopt);
}

TEST(Executor, LocalTransportAppliesExactlyOnceSynchronously) {
  doc::Document d;
  executor::LocalTransport local;
  const auto put = decoded(R"({"Put":{"key":"k","value":"v"}})");
  apply_calls = 0;
  ASSERT_TRUE(executor::dispatch_by_with_context(local, d, *put, {"app", "App", "Put"}));
  EXPECT_EQ(apply_calls, 1);
  EXPECT_EQ(d.get(doc::root, "k"), (doc::Value{doc::Scalar{std::string{"v"}}}));
  const auto fail = executor::dispatch_by(local, d, *decoded(R"("Fail")"));
  ASSERT_FALSE(fail);
  EXPECT_EQ(fail.error().text(), "refused");
  EXPECT_EQ(apply_calls, 2);
}

struct HostFixture : ::testing::Test {
  doc::Document d;
  bound_dispatch::ActionHost host;
  std::vector<std::string> log;
  std::vector<std::string> messages;
  void SetUp() override {
    host.set_log_sink([this](std::string_view line) { log.emplace_back(line); });
    host.set_committer([this](doc::Document& document, std::string_view message) {
      messages.emplace_back(message);
      document.commit(message);
      return action::Result<void>{};
    });
  }
};

TEST_F(HostFixture, SuccessCommitsWithLabelAndMovesHeads) {
  const auto record = host.dispatch(d, *decoded(R"({"Put":{"key":"k","value":"v"}})"),
                                    {"org.kova.Remote", "Remote", "Put"});
  EXPECT_FALSE(record.error);
  EXPECT_TRUE(record.changed());
  EXPECT_TRUE(record.heads_before.empty());
  EXPECT_EQ(record.heads_after, d.heads());
  EXPECT_EQ(messages, (std::vector<std::string>{"Remote: Put"}));
  EXPECT_FALSE(d.has_pending());
  EXPECT_TRUE(log.empty());
}

TEST_F(HostFixture, FailureIsLoggedAndReturnedNotThrown) {
  const auto record = host.dispatch(d, *decoded(R"("Fail")"), {"org.kova.Remote", "Remote", "Fail"});
  ASSERT_TRUE(record.error);
  EXPECT_EQ(record.error->text(), "refused");
  EXPECT_FALSE(record.changed());
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], "action dispatch failed: refused (test.change \"Fail\")");
  EXPECT_TRUE(messages.empty());
}

TEST_F(HostFixture, PartialWriteOfAFailedActionIsStillCommitted) {
  const auto record = host.dispatch(d, *decoded(R"("Half")"), {"", "", "Half"});
  ASSERT_TRUE(record.error);
  EXPECT_TRUE(record.changed());
  EXPECT_FALSE(d.has_pending());
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(HostFixture, CommitFailureIsReportedAsDispatchFailure) {
  host.set_committer([](doc::Document&, std::string_view) -> action::Result<void> {
    return std::unexpected(action::ActionError{"disk full"});
  });
  const auto record = host.dispatch(d, *decoded(R"({"Put":{"key":"k","value":"v"}})"), {});
  ASSERT_TRUE(record.error);
  EXPECT_EQ(record.error->text(), "disk full");
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(log[0].starts_with("action dispatch failed: disk full"));
}

TEST_F(HostFixture, PendingEditOfTheCallerIsSealedBeforeTheHeadsAreTaken) {
  ASSERT_TRUE(d.put(doc::root, "earlier", doc::Scalar{std::int64_t{1}}));
  const auto record = host.dispatch(d, *decoded(R"({"Put":{"key":"k","value":"v"}})"), {});
  EXPECT_EQ(record.heads_before.size(), 1u);
  EXPECT_NE(record.heads_before, record.heads_after);
}

TEST(ActionHostDefaultLog, WritesToStandardError) {
  doc::Document d;
  bound_dispatch::ActionHost host;
  ::testing::internal::CaptureStderr();
  host.dispatch(d, *decoded(R"("Fail")"), {});
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "action dispatch failed: refused (test.change \"Fail\")\n");
}

}  // namespace
