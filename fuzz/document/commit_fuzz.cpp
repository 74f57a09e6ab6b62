// Feeds untrusted bytes to the stored-commit decoder, as loading or merging
// a damaged file would, and applies whatever decodes to a document that
// already holds a connection.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "document/document.h"
#include "document/encoding.h"
#include "document/json_dump.h"

namespace {

kova::doc::Document base_document() {
  using namespace kova::doc;
  Document d(ActorId{});
  const ObjId conns = *d.put_object(root, "connections", ObjType::Map);
  const ObjId c = *d.put_object(conns, "web", ObjType::Map);
  const ObjId name = *d.put_object(c, "name", ObjType::Text);
  (void)d.splice_text(name, 0, 0, "web");
  (void)d.put(c, "port", std::int64_t{22});
  d.commit("base");
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kova::doc;
  auto commit = decode_commit(std::span(data, size));
  if (!commit) return 0;
  // Canonical: what decodes encodes back to the same bytes.
  const std::string again = encode_commit(*commit);
  if (again.size() != size || std::memcmp(again.data(), data, size) != 0) std::abort();
  Document d = base_document();
  if (d.apply(std::span(&*commit, 1))) (void)dump_json(d);
  return 0;
}
