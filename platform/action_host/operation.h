// Operations: invocations an automation client (or the application's own
// resource actions) asks the application to carry out, either at once or as
// background work that the host polls.
#pragma once

#include <string>

#include "action_host/params.h"
#include "action_host/resource.h"

namespace kova::actions::operation {

struct Invocation {
  std::string id;  // unique per invocation; polls name it
  resource::OperationClass declared = resource::OperationClass::None;
  std::string type_name;
  std::string json;
  params::ActionArgs args;
};

// The answer of an execute, start or poll.
struct Outcome {
  enum class Status {
    NotHandled,  // not this application's vocabulary, or the wrong entry point
    Completed,
    Pending,    // start only: now running in the background
    Failed,     // `message` (and, for polls, `code`) say why
    NoNews,     // poll only: still running
    Cancelled,  // poll only: `message` says what was cancelled
  };
  Status status = Status::NotHandled;
  std::string code;
  std::string message;

  static Outcome not_handled() { return {Status::NotHandled, {}, {}}; }
  static Outcome completed() { return {Status::Completed, {}, {}}; }
  static Outcome pending() { return {Status::Pending, {}, {}}; }
  static Outcome no_news() { return {Status::NoNews, {}, {}}; }
  static Outcome failed(std::string message, std::string code = {}) {
    return {Status::Failed, std::move(code), std::move(message)};
  }
  static Outcome cancelled(std::string message) { return {Status::Cancelled, {}, std::move(message)}; }
  friend bool operator==(const Outcome&, const Outcome&) = default;
};

}  // namespace kova::actions::operation
