#include "profiles/validate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/endpoint_key.h"

namespace remote::profiles {
namespace {

using enum ConnectionKind;
using enum AuthMethod;
using Problems = std::vector<std::string>;

// Spelled as bytes so the en dash (U+2013) is checked independently of the code.
const std::string port_problem =
    "Port must be 1\xE2\x80\x93"
    "65535";

std::string endpoint_id() {
  kova::p2p::EndpointKey::Bytes seed{};
  seed.fill(7);
  return kova::p2p::EndpointKey::from_secret(seed).to_string();
}

TEST(Trim, RemovesUnicodeWhiteSpaceOnly) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"   ", ""},
      {"  Box  ", "Box"},
      {"\t\n\v\f\r x \r\n", "x"},
      {"a b", "a b"},
      {"\u00A0name\u3000", "name"},
      {"\u2028\u2029\u202F\u205F\u1680\u0085x\u2000\u200A", "x"},
      // Zero-width space and BOM are not White_Space: kept.
      {"\u200Bx\uFEFF", "\u200Bx\uFEFF"},
      {"\u00E9", "\u00E9"},
  };
  for (const auto& [in, out] : cases) {
    SCOPED_TRACE(in);
    EXPECT_EQ(trim(in), out);
  }
}

TEST(ParsePort, Table) {
  const std::vector<std::pair<std::string, std::optional<std::uint16_t>>> cases = {
      {"22", 22},
      {" 22 ", 22},
      {"+22", 22},
      {"0022", 22},
      {"65535", 65535},
      {"0", 0},
      {"\u00A022\t", 22},
      {"65536", std::nullopt},
      {"-1", std::nullopt},
      {"2 2", std::nullopt},
      {"+", std::nullopt},
      {"", std::nullopt},
      {"++22", std::nullopt},
      {"22a", std::nullopt},
      {"0x16", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"\u0662\u0662", std::nullopt},
  };
  for (const auto& [text, port] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(parse_port(text), port);
  }
}

// Form values in the order a reader thinks of them: kind and method first.
ConnectionFormValues form(ConnectionKind kind, AuthMethod auth, std::string name, std::string host,
                          std::string port, std::string user = "", std::string group = "") {
  return ConnectionFormValues{.name = std::move(name),
                              .host = std::move(host),
                              .port = std::move(port),
                              .user = std::move(user),
                              .group = std::move(group),
                              .auth = auth,
                              .kind = kind};
}

std::string upper(std::string text) {
  for (auto& c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

TEST(ValidateForm, Table) {
  struct Case {
    const char* what;
    ConnectionFormValues values;
    Problems problems;
  };
  const auto key = endpoint_id();
  const std::vector<Case> cases = {
      {"empty ssh",
       form(Ssh, Password, "", "", ""),
       {"Name is required", "Host is required", port_problem}},
      {"empty vnc",
       form(Vnc, Password, "", "", ""),
       {"Name is required", "Host is required", port_problem}},
      {"empty rdp",
       form(Rdp, Password, "", "", ""),
       {"Name is required", "Host is required", port_problem}},
      {"empty kova",
       form(Kova, DeviceIdentity, "", "", ""),
       {"Name is required", "Host is required"}},
      {"valid ssh", form(Ssh, PublicKey, "n", "h", "22"), {}},
      {"spaced port", form(Ssh, Password, "n", "h", " 22 "), {}},
      {"plus port", form(Ssh, Password, "n", "h", "+22"), {}},
      {"port 0", form(Ssh, Password, "n", "h", "0"), {port_problem}},
      {"port 65536", form(Ssh, Password, "n", "h", "65536"), {port_problem}},
      {"port -1", form(Ssh, Password, "n", "h", "-1"), {port_problem}},
      {"port 2 2", form(Ssh, Password, "n", "h", "2 2"), {port_problem}},
      {"port +", form(Ssh, Password, "n", "h", "+"), {port_problem}},
      {"port empty", form(Vnc, Password, "n", "h", ""), {port_problem}},
      {"ssh device identity",
       form(Ssh, DeviceIdentity, "n", "h", "22"),
       {"SSH profiles support password or public-key authentication."}},
      {"vnc public key",
       form(Vnc, PublicKey, "n", "h", "22"),
       {"VNC profiles support password authentication only."}},
      {"rdp public key",
       form(Rdp, PublicKey, "n", "h", "22"),
       {"RDP profiles support password authentication only."}},
      {"kova password, host not a key",
       form(Kova, Password, "n", "not-a-key", ""),
       {"Kova device profiles must use Kova device identity."}},
      {"kova host not a key",
       form(Kova, DeviceIdentity, "n", "not-a-key", "abc"),
       {"Kova device node must be an exact certified endpoint id."}},
      {"kova blank host", form(Kova, DeviceIdentity, "n", "   ", ""), {"Host is required"}},
      {"kova key with spaces, letters for port",
       form(Kova, DeviceIdentity, "n", " " + key + "\n", "port"),
       {}},
      {"kova upper-case key",
       form(Kova, DeviceIdentity, "n", upper(key), ""),
       {"Kova device node must be an exact certified endpoint id."}},
      {"kova key cut short",
       form(Kova, DeviceIdentity, "n", key.substr(1), ""),
       {"Kova device node must be an exact certified endpoint id."}},
      {"everything wrong",
       form(Vnc, DeviceIdentity, " ", "", "x"),
       {"Name is required", "Host is required", port_problem,
        "VNC profiles support password authentication only."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(validate_form(c.values), c.problems);
  }
}

TEST(ProfileProblem, StoredKovaProfileWithoutHostIsNoProblemHere) {
  EXPECT_EQ(profile_problem(Kova, "", DeviceIdentity), std::nullopt);
  EXPECT_EQ(profile_problem(Kova, endpoint_id(), DeviceIdentity), std::nullopt);
  EXPECT_EQ(profile_problem(Rdp, "", Password), std::nullopt);
}

TEST(ProfileFromForm, Table) {
  const auto id = ConnectionId::random();
  struct Case {
    const char* what;
    ConnectionFormValues values;
    ConnectionProfile expected;
  };
  const auto profile = [&](std::string name, std::string host, std::uint16_t port, std::string user,
                           std::string group, ConnectionKind kind, AuthMethod auth) {
    return ConnectionProfile{.id = id,
                             .name = name,
                             .host = host,
                             .port = port,
                             .user = user,
                             .group = group,
                             .kind = kind,
                             .auth = auth,
                             .favorite = false,
                             .last_used = "Never",
                             .presence = Presence::Unknown};
  };
  const std::vector<Case> cases = {
      {"ssh trims", form(Ssh, PublicKey, "  Box  ", " h ", " 2222 ", " me ", " lab "),
       profile("Box", "h", 2222, "me", "lab", Ssh, PublicKey)},
      {"vnc drops user", form(Vnc, Password, "N", "h", "5901", "someone"),
       profile("N", "h", 5901, "", "", Vnc, Password)},
      {"rdp keeps user, default port", form(Rdp, Password, "N", "h", "bad", "u"),
       profile("N", "h", 3389, "u", "", Rdp, Password)},
      {"kova port is 0", form(Kova, DeviceIdentity, "N", "k", "443", "u"),
       profile("N", "k", 0, "", "", Kova, DeviceIdentity)},
      {"ssh unparsable port", form(Ssh, Password, "N", "h", ""),
       profile("N", "h", 22, "", "", Ssh, Password)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(profile_from_form(c.values, id), c.expected);
  }
}

}  // namespace
}  // namespace remote::profiles
