#include <gtest/gtest.h>

#include <string>

#include "automation/limits.h"
#include "automation/protocol.h"

namespace kova::automation {
namespace {

TEST(ParseRequest, ReadsEachMethodsFields) {
  auto inv = parse_request(R"({"id":7,"method":"invoke","resource":"r","action":"a","text":"ls"})");
  ASSERT_TRUE(inv);
  EXPECT_EQ(inv->id_json, "7");
  EXPECT_EQ(inv->method, Method::Invoke);
  EXPECT_EQ(inv->resource, "r");
  EXPECT_EQ(inv->action, "a");
  EXPECT_EQ(inv->text, "ls");

  auto start = parse_request(R"({"id":"x","method":"start","class":1,"json":{"Connect":"c"}})");
  ASSERT_TRUE(start);
  EXPECT_EQ(start->id_json, "\"x\"");
  EXPECT_EQ(start->operation_class, actions::resource::OperationClass::Background);
  EXPECT_EQ(start->json, R"({"Connect":"c"})");

  auto poll = parse_request(R"({"id":1,"method":"poll","invocation":"automation-3","cancel":true})");
  ASSERT_TRUE(poll);
  EXPECT_TRUE(poll->cancel);

  auto act = parse_request(R"({"id":1,"method":"act","node":"remote.field:port","action":"set-value","value":"12"})");
  ASSERT_TRUE(act);
  EXPECT_EQ(act->access_action, ui::AccessAction::SetValue);
  EXPECT_EQ(act->value, "12");

  auto change = parse_request(R"({"id":1,"method":"change","json":"\"ShowConnections\""})");
  ASSERT_TRUE(change);
  EXPECT_EQ(change->json, "\"ShowConnections\"");
  EXPECT_TRUE(change->type_name.empty());
}

TEST(ParseRequest, RefusesMalformedLinesWithTheirId) {
  struct Case {
    const char* name;
    std::string line;
    const char* id;
    const char* code;
    const char* message_part;
  };
  const Case cases[] = {
      {"not json", "{\"id\":1,", "null", "bad_json", "not valid JSON"},
      {"invalid utf-8", "{\"id\":1,\"method\":\"ping\",\"x\":\"\xff\"}", "null", "bad_json", "not valid JSON"},
      {"array", "[1,2]", "null", "bad_request", "JSON object"},
      {"no id", R"({"method":"ping"})", "null", "bad_request", "\"id\""},
      {"object id", R"({"id":{},"method":"ping"})", "null", "bad_request", "\"id\""},
      {"no method", R"({"id":4})", "4", "bad_request", "\"method\""},
      {"unknown method", R"({"id":4,"method":"reboot"})", "4", "bad_request", "unknown method"},
      {"invoke without action", R"({"id":"a","method":"invoke","resource":"r"})", "\"a\"", "bad_request", "\"action\""},
      {"text not a string", R"({"id":4,"method":"invoke","resource":"r","action":"a","text":5})", "4", "bad_request", "\"text\""},
      {"class too big", R"({"id":4,"method":"execute","class":3,"json":"{}"})", "4", "bad_request", "\"class\""},
      {"class negative", R"({"id":4,"method":"start","class":-1,"json":"{}"})", "4", "bad_request", "\"class\""},
      {"no json", R"({"id":4,"method":"change"})", "4", "bad_request", "\"json\""},
      {"cancel not bool", R"({"id":4,"method":"poll","invocation":"i","cancel":"yes"})", "4", "bad_request", "\"cancel\""},
      {"unknown node action", R"({"id":4,"method":"act","node":"n","action":"press"})", "4", "bad_request", "unknown action"},
      {"relative snapshot", R"({"id":4,"method":"snapshot","path":"shot.png"})", "4", "bad_request", "absolute"},
      {"deep nesting", "{\"id\":1,\"method\":\"ping\",\"x\":" + std::string(max_request_depth, '[') + "]}", "null",
       "bad_json", "nests"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto parsed = parse_request(c.line);
    ASSERT_FALSE(parsed);
    EXPECT_EQ(parsed.error().id_json, c.id);
    EXPECT_EQ(parsed.error().code, c.code);
    EXPECT_NE(parsed.error().message.find(c.message_part), std::string::npos) << parsed.error().message;
  }
}

TEST(Replies, AreSingleLinesThatParseBack) {
  const std::string ok = reply_ok("3", R"({"a":1})");
  EXPECT_EQ(ok, "{\"id\":3,\"ok\":true,\"result\":{\"a\":1}}\n");
  const std::string err = reply_error("\"x\"", "failed", "bad \xff text\nhere", std::string_view("null"));
  EXPECT_EQ(err.find('\n'), err.size() - 1);
  const auto back = parse_reply(err.substr(0, err.size() - 1));
  ASSERT_TRUE(back);
  EXPECT_FALSE(back->ok);
  EXPECT_EQ(back->error_code, "failed");
  EXPECT_FALSE(parse_reply("not json"));
  EXPECT_FALSE(parse_reply(R"({"id":1})"));
}

TEST(Encodings, DescribeActionsAndNodesCompletely) {
  using namespace actions::resource;
  const Resource res = Resource{"remote.connection", "remote.connection:1", "Box", {}, {}}.with_action(
      ActionSpec::built("rename", "Rename connection", {"value", "New name", "connection name", ""},
                        [](const actions::params::ActionArgs&) {
                          return EncodedInvocation{"remote.action", R"({"RenameConnection":{}})"};
                        })
          .with_description("Give it a name")
          .with_contract({"network", "session"})
          .destructive()
          .unavailable_because("why_code", "Because."));
  const std::string text = resources_json({res});
  for (const char* part : {R"("kind":"remote.connection")", R"("id":"rename")", R"("label":"Rename connection")",
                           R"("description":"Give it a name")", R"("name":"value")", R"("placeholder":"connection name")",
                           R"("type":"remote.action")", R"("takes_input":true)", R"("operation_class":0)",
                           R"("capabilities":["network","session"])", R"("destructive":true)",
                           R"("unavailable":{"code":"why_code","reason":"Because."})", R"("children":[])"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
  }

  ui::AccessNode root;
  root.role = ui::AccessRole::ListItem;
  root.label = "Box";
  root.value = "ssh://box";
  root.id = "remote.connection:1:select";
  root.bounds = ui::Rect::from_xywh(10, 20, 30, 40);
  root.states.selected = true;
  const std::string tree = tree_json(root);
  for (const char* part : {R"("role":"list-item")", R"("value":"ssh://box")", R"("description":null)",
                           R"("bounds":{"height":40.0,"width":30.0,"x":10.0,"y":20.0})", R"("states":{"selected":true})",
                           R"("id":"remote.connection:1:select")"}) {
    EXPECT_NE(tree.find(part), std::string::npos) << part << " in " << tree;
  }
}

}  // namespace
}  // namespace kova::automation
