#include <gtest/gtest.h>

#include "app/visible.h"

namespace {

using namespace remote::app;
using K = remote::profiles::ConnectionKind;
using A = remote::profiles::AuthMethod;

remote::profiles::ConnectionProfile profile(std::string name, K kind, std::string host,
                                            std::uint16_t port, A auth, bool favorite = false) {
  remote::profiles::ConnectionProfile p;
  p.id = remote::profiles::ConnectionId::random();
  p.name = std::move(name);
  p.kind = kind;
  p.host = std::move(host);
  p.port = port;
  p.auth = auth;
  p.favorite = favorite;
  return p;
}

std::vector<std::string> names(const std::vector<remote::profiles::ConnectionProfile>& all,
                               std::string_view search) {
  std::vector<std::string> out;
  for (const auto* p : visible_connections(all, search)) out.push_back(p->name);
  return out;
}

TEST(VisibleConnections, FilterAndOrder) {
  auto build = profile("build", K::Ssh, "build.lab", 22, A::Password);
  build.user = "Ops";
  auto nas = profile("Office NAS", K::Vnc, "10.0.0.2", 5900, A::Password, true);
  nas.group = "home";
  auto alpha = profile("alpha", K::Kova, std::string(64, 'b'), 0, A::DeviceIdentity);
  auto alpha_twin = profile("Alpha", K::Rdp, "twin", 3389, A::Password);
  auto ecole = profile("ÉCOLE", K::Ssh, "school", 2201, A::Password);
  ecole.last_used = "yesterday";
  const std::vector all{build, nas, alpha, alpha_twin, ecole};

  const struct {
    const char* search;
    std::vector<std::string> want;
  } cases[] = {
      {"", {"Office NAS", "alpha", "Alpha", "build", "ÉCOLE"}},  // ties keep list order
      {"   ", {"Office NAS", "alpha", "Alpha", "build", "ÉCOLE"}},
      {" OPS ", {"build"}},       // user, trimmed, any case
      {"home", {"Office NAS"}},   // group
      {"kova", {"alpha"}},        // kind's document text
      {"rdp", {"Alpha"}},
      {"10.0", {"Office NAS"}},   // host
      {"école", {"ÉCOLE"}},       // full lower-casing
      {"yesterday", {}},          // last use is not searched
      {"2201", {}},               // nor the port
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.search);
    EXPECT_EQ(names(all, c.search), c.want);
  }
}

TEST(VisibleConnections, LowerCaseKeepsInvalidBytes) {
  EXPECT_EQ(lower_case("ÀB\xff" "C"), "àb\xff" "c");
  EXPECT_EQ(lower_case("ΣΑΣ"), "σασ");
}

}  // namespace
