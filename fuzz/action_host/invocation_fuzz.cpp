// Invocation texts from automation clients: the variant name is read from
// any JSON text, and the registry decodes through a registered type and
// dispatches to a document. Neither may crash or leak on any input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "action_host/action.h"
#include "action_host/bound_dispatch.h"
#include "action_host/registry.h"
#include "document/document.h"

namespace {

using namespace kova::actions;

registry::Registry make_registry() {
  registry::Registry reg;
  reg.register_change<std::string>(
      "fuzz.change",
      {.decode = [](std::string_view json) -> std::expected<std::string, std::string> {
         auto name = action::tagged_variant_name(json);
         if (!name) return std::unexpected("not a tagged variant");
         return *name;
       },
       .encode = [](const std::string& s) { return "\"" + s + "\""; },
       .apply = [](const std::string& s, kova::doc::Document& d) -> action::Result<void> {
         if (s.empty()) return std::unexpected(action::ActionError{"empty"});
         (void)d.put(kova::doc::root, s, kova::doc::Scalar{true});
         return {};
       },
       .debug = {}});
  return reg;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const registry::Registry reg = make_registry();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)action::tagged_variant_name(text);
  auto typed = reg.decode("fuzz.change", text);
  if (typed) {
    kova::doc::Document document;
    bound_dispatch::ActionHost host;
    host.set_log_sink([](std::string_view) {});
    (void)host.dispatch(document, **typed, {"fuzz", "Fuzz", "Change"});
  }
  return 0;
}
