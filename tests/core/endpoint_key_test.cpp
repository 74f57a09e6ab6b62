#include "core/endpoint_key.h"

#include <gtest/gtest.h>

namespace {

using kova::p2p::EndpointKey;

EndpointKey::Bytes seed_of(std::uint8_t fill) {
  EndpointKey::Bytes seed{};
  seed.fill(fill);
  return seed;
}

TEST(EndpointKey, PrintsLowerHexAndParsesItBack) {
  EndpointKey key = EndpointKey::from_secret(seed_of(7));
  std::string text = key.to_string();
  ASSERT_EQ(text.size(), 64u);
  EXPECT_EQ(text.find_first_not_of("0123456789abcdef"), std::string::npos);
  auto parsed = EndpointKey::parse(text);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(*parsed, key);
}

TEST(EndpointKey, KnownSeedGivesTheEd25519PublicKey) {
  // The all-zero seed's public key is a published Ed25519 test value.
  EXPECT_EQ(EndpointKey::from_secret(seed_of(0)).to_string(),
            "3b6a27bcceb6a42d62a3a8d02a6f0d73653215771de243a63ac048a18b59da29");
}

TEST(EndpointKey, DistinctSeedsGiveDistinctKeys) {
  EXPECT_NE(EndpointKey::from_secret(seed_of(1)), EndpointKey::from_secret(seed_of(2)));
}

TEST(EndpointKey, RejectsEverythingItDoesNotPrint) {
  std::string valid = EndpointKey::from_secret(seed_of(9)).to_string();
  std::string upper = valid;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  struct Case {
    const char* name;
    std::string text;
  };
  const Case cases[] = {
      {"empty", ""},
      {"not-a-key", "not-a-key"},
      {"upper case", upper},
      {"one digit short", valid.substr(1)},
      {"one digit long", valid + "0"},
      {"leading space", " " + valid.substr(1)},
      {"trailing newline", valid.substr(1) + "\n"},
      {"non-hex digit", "g" + valid.substr(1)},
      {"small-order point", std::string(64, '0')},
      {"non-canonical encoding", std::string(64, 'f')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(EndpointKey::parse(c.text).has_value());
  }
}

}  // namespace
