#include "action_host/context.h"

#include <vector>

#include "action_host/limits.h"

namespace kova::actions::context {

ActionContext ActionContext::enriched_by(const ActionContext& caller) const {
  ActionContext out = *this;
  if (!caller.app_id.empty()) out.app_id = caller.app_id;
  if (!caller.app_name.empty()) out.app_name = caller.app_name;
  if (!caller.label.empty()) out.label = caller.label;
  return out;
}

namespace {

bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
char to_lower(char c) { return is_upper(c) ? static_cast<char>(c - 'A' + 'a') : c; }
char to_upper(char c) { return is_lower(c) ? static_cast<char>(c - 'a' + 'A') : c; }

// Splits at separators, at lower->upper steps and before the last capital of
// an acronym that is followed by a lower-case letter ("SSHKey" -> SSH, Key).
std::vector<std::string> split_words(std::string_view id) {
  std::vector<std::string> words;
  std::string word;
  auto flush = [&] {
    if (!word.empty()) words.push_back(std::move(word));
    word.clear();
  };
  for (std::size_t i = 0; i < id.size(); ++i) {
    const char c = id[i];
    if (c == '_' || c == '-' || c == ' ' || c == '.') {
      flush();
      continue;
    }
    if (is_upper(c) && !word.empty()) {
      const char prev = word.back();
      const bool next_lower = i + 1 < id.size() && is_lower(id[i + 1]);
      if (is_lower(prev) || is_digit(prev) || (is_upper(prev) && next_lower)) flush();
    }
    word.push_back(c);
  }
  flush();
  return words;
}

bool is_acronym(const std::string& word) {
  if (word.size() < 2) return false;
  for (char c : word)
    if (is_lower(c)) return false;
  return true;
}

}  // namespace

std::string humanize_identifier(std::string_view identifier) {
  if (identifier.size() > max_identifier_bytes) identifier = identifier.substr(0, max_identifier_bytes);
  std::string out;
  const auto words = split_words(identifier);
  for (std::size_t w = 0; w < words.size(); ++w) {
    if (w > 0) out.push_back(' ');
    const std::string& word = words[w];
    if (is_acronym(word)) {
      out += word;
      continue;
    }
    for (std::size_t i = 0; i < word.size(); ++i)
      out.push_back(w == 0 && i == 0 ? to_upper(word[i]) : to_lower(word[i]));
  }
  return out;
}

}  // namespace kova::actions::context
