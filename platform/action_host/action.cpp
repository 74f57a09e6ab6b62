#include "action_host/action.h"

#include <nlohmann/json.hpp>

#include "action_host/limits.h"

namespace kova::actions::action {

namespace {

// Reads only the top level of a JSON text, so that an invocation of any
// depth or size is checked without building its tree.
class TopLevelShape {
 public:
  using json = nlohmann::json;

  bool null() { return scalar(); }
  bool boolean(bool) { return scalar(); }
  bool number_integer(json::number_integer_t) { return scalar(); }
  bool number_unsigned(json::number_unsigned_t) { return scalar(); }
  bool number_float(json::number_float_t, const json::string_t&) { return scalar(); }
  bool binary(json::binary_t&) { return scalar(); }
  bool string(json::string_t& value) {
    if (depth_ == 0) top_string_ = value;
    return true;
  }
  bool start_object(std::size_t) {
    if (depth_ == 0) top_object_ = true;
    ++depth_;
    return true;
  }
  bool key(json::string_t& name) {
    if (depth_ == 1 && top_object_) {
      if (members_ == 0) first_key_ = name;
      ++members_;
    }
    return true;
  }
  bool end_object() {
    --depth_;
    return true;
  }
  bool start_array(std::size_t) {
    ++depth_;
    return true;
  }
  bool end_array() {
    --depth_;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
    return false;
  }

  std::optional<std::string> variant() const {
    if (top_string_) return top_string_;
    if (top_object_ && members_ == 1) return first_key_;
    return std::nullopt;
  }

 private:
  bool scalar() { return true; }
  std::size_t depth_ = 0;
  bool top_object_ = false;
  std::size_t members_ = 0;
  std::optional<std::string> top_string_;
  std::string first_key_;
};

}  // namespace

std::optional<std::string> tagged_variant_name(std::string_view json) {
  if (json.size() > max_invocation_json_bytes) return std::nullopt;
  TopLevelShape shape;
  if (!nlohmann::json::sax_parse(json, &shape, nlohmann::json::input_format_t::json,
                                 /*strict=*/true, /*ignore_comments=*/false)) {
    return std::nullopt;
  }
  return shape.variant();
}

}  // namespace kova::actions::action
