#include "document/json_dump.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "document/limits.h"

namespace kova::doc {
namespace {

using nlohmann::json;

template <class... F>
struct Overload : F... {
  using F::operator()...;
};

json typed(const char* type, json value) {
  return json{{"type", type}, {"value", std::move(value)}};
}

json float_value(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  return v;
}

std::string hex(const Bytes& bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out;
  for (auto b : bytes)
    out += {digits[b >> 4], digits[b & 0xF]};
  return out;
}

json scalar_json(const Scalar& s) {
  return std::visit(Overload{
                        [](const Null&) { return typed("null", nullptr); },
                        [](const std::string& v) { return typed("string", v); },
                        [](std::int64_t v) { return typed("int", v); },
                        [](std::uint64_t v) { return typed("uint", v); },
                        [](double v) { return typed("float", float_value(v)); },
                        [](Counter v) { return typed("counter", v.value); },
                        [](Timestamp v) { return typed("timestamp", v.millis); },
                        [](bool v) { return typed("bool", v); },
                        [](const Bytes& v) { return typed("bytes", hex(v)); },
                    },
                    s);
}

// Objects form a tree (only a make op creates a reference), but a merged
// file may nest maps arbitrarily deep, so the depth is capped.
json object_json(const Document& doc, ObjRef ref, std::size_t depth) {
  switch (ref.type) {
    case ObjType::Map: {
      if (depth >= max_dump_depth) return json{{"type", "map"}, {"truncated", true}};
      json entries = json::object();
      for (const auto& key : doc.keys(ref.id)) {
        const auto v = doc.get(ref.id, key);
        entries[key] = std::holds_alternative<ObjRef>(*v)
                           ? object_json(doc, std::get<ObjRef>(*v), depth + 1)
                           : scalar_json(std::get<Scalar>(*v));
      }
      return json{{"type", "map"}, {"entries", std::move(entries)}};
    }
    case ObjType::Text:
      return typed("text", doc.text(ref.id).value_or(""));
    case ObjType::List:
      return json{{"type", "list"}};
    case ObjType::Table:
      return json{{"type", "table"}};
  }
  return nullptr;
}

}  // namespace

std::string dump_json(const Document& doc) {
  return object_json(doc, ObjRef{root, ObjType::Map}, 0)
      .dump(2, ' ', false, json::error_handler_t::replace);
}

}  // namespace kova::doc
