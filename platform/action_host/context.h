// Who asked for a change and how to describe it. Contexts travel with a
// dispatch so that the store can label the commit and logs can say whose
// change failed.
#pragma once

#include <string>
#include <string_view>

namespace kova::actions::context {

struct ActionContext {
  std::string app_id;    // reverse-domain id of the application, e.g. "org.kova.Remote"
  std::string app_name;  // short display name, e.g. "Remote"
  std::string label;     // human label of the change, e.g. "Upsert connection"

  // A copy of this context completed by `caller`: every field the caller
  // sets (non-empty) replaces the one here, the others are kept.
  ActionContext enriched_by(const ActionContext& caller) const;

  friend bool operator==(const ActionContext&, const ActionContext&) = default;
};

// Turns a variant or type identifier into a label: words of an UpperCamel,
// lowerCamel, snake_case or kebab-case identifier, the first capitalised and
// the rest in lower case ("UpsertConnection" -> "Upsert connection"). Runs of
// capitals stay an acronym ("SSHKey" -> "SSH key"). An empty identifier
// gives the empty label.
std::string humanize_identifier(std::string_view identifier);

}  // namespace kova::actions::context
