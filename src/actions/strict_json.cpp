#include "actions/strict_json.h"

#include <optional>
#include <vector>

#include "actions/limits.h"

namespace remote::actions {

namespace {

using Json = nlohmann::json;

// Builds the value from the reader's events. Pointers on `open_` stay valid:
// an open container is the last element of its parent (or a map node), and a
// parent only grows after its open child has closed.
class StrictBuilder final : public nlohmann::json_sax<Json> {
 public:
  bool null() override { return place(Json(nullptr)); }
  bool boolean(bool value) override { return place(Json(value)); }
  bool number_integer(number_integer_t value) override { return place(Json(value)); }
  bool number_unsigned(number_unsigned_t value) override { return place(Json(value)); }
  bool number_float(number_float_t value, const string_t&) override { return place(Json(value)); }
  bool string(string_t& value) override { return place(Json(std::move(value))); }
  bool binary(binary_t&) override { return fail(ErrorCode::Syntax, "binary values are not JSON"); }

  bool start_object(std::size_t) override { return open(Json::object()); }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(Json::array()); }
  bool end_array() override { return close(); }

  bool key(string_t& name) override {
    Json& object = *open_.back();
    if (object.contains(name)) {
      return fail(ErrorCode::DuplicateField, "duplicate field `" + echo_excerpt(name) + "`");
    }
    slot_ = &object[name];
    return true;
  }

  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& ex) override {
    return fail(ErrorCode::Syntax, ex.what());
  }

  Json& root() { return root_; }
  const std::optional<Error>& error() const { return error_; }

 private:
  bool fail(ErrorCode code, std::string message) {
    if (!error_) error_ = Error{code, std::move(message)};
    return false;
  }

  // Stores a finished or freshly opened value where the reader is; returns
  // nullptr when a limit is hit.
  Json* put(Json&& value) {
    if (++values_ > max_json_values) {
      fail(ErrorCode::TooComplex,
           "JSON text has more than " + std::to_string(max_json_values) + " values");
      return nullptr;
    }
    if (open_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Json& parent = *open_.back();
    if (parent.is_array()) {
      parent.push_back(std::move(value));
      return &parent.back();
    }
    *slot_ = std::move(value);
    return slot_;
  }

  bool place(Json&& value) { return put(std::move(value)) != nullptr; }

  bool open(Json&& container) {
    if (open_.size() >= max_json_depth) {
      return fail(ErrorCode::TooComplex,
                  "JSON text nests deeper than " + std::to_string(max_json_depth) + " levels");
    }
    Json* placed = put(std::move(container));
    if (!placed) return false;
    open_.push_back(placed);
    return true;
  }

  bool close() {
    open_.pop_back();
    return true;
  }

  Json root_;
  std::vector<Json*> open_;
  Json* slot_ = nullptr;
  std::size_t values_ = 0;
  std::optional<Error> error_;
};

}  // namespace

std::string echo_excerpt(std::string_view text) {
  if (text.size() <= max_echoed_text_bytes) return std::string(text);
  std::size_t cut = max_echoed_text_bytes;
  // Step back over UTF-8 continuation bytes so no character is split.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
    --cut;
  return std::string(text.substr(0, cut)) + "\u2026";
}

Result<nlohmann::json> read_strict_json(std::string_view text) {
  if (text.size() > max_json_bytes) {
    return std::unexpected(
        Error{ErrorCode::TooLarge,
              "JSON text is larger than " + std::to_string(max_json_bytes) + " bytes"});
  }
  StrictBuilder builder;
  bool ok = false;
  try {
    ok = Json::sax_parse(text.begin(), text.end(), &builder);
  } catch (const std::exception& ex) {
    // The reader reports through parse_error; this only catches what a
    // standard container may throw while the value is built.
    return std::unexpected(Error{ErrorCode::Syntax, ex.what()});
  }
  if (!ok) {
    return std::unexpected(builder.error().value_or(Error{ErrorCode::Syntax, "invalid JSON text"}));
  }
  return std::move(builder.root());
}

}  // namespace remote::actions
