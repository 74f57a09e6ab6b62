#include "profiles/validate.h"

#include <array>

#include "core/endpoint_key.h"

namespace remote::profiles {

namespace {

// Every Unicode White_Space character, UTF-8 encoded. In valid UTF-8 none of
// these can be the tail of a longer character, so matching them at either end
// of the text never splits one.
constexpr std::array<std::string_view, 25> white_space{
    "\t",     "\n",     "\v",     "\f",     "\r",     " ",      "\u0085", "\u00A0", "\u1680",
    "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005", "\u2006", "\u2007", "\u2008",
    "\u2009", "\u200A", "\u2028", "\u2029", "\u202F", "\u205F", "\u3000",
};

std::size_t leading_space_bytes(std::string_view text) {
  for (auto space : white_space) {
    if (text.starts_with(space)) return space.size();
  }
  return 0;
}

std::size_t trailing_space_bytes(std::string_view text) {
  for (auto space : white_space) {
    if (text.ends_with(space)) return space.size();
  }
  return 0;
}

constexpr std::uint32_t max_port_value = 65535;

std::string kind_auth_message(ConnectionKind kind) {
  switch (kind) {
    case ConnectionKind::Ssh:
      return "SSH profiles support password or public-key authentication.";
    case ConnectionKind::Vnc:
      return "VNC profiles support password authentication only.";
    case ConnectionKind::Rdp:
      return "RDP profiles support password authentication only.";
    case ConnectionKind::Kova:
      return "Kova device profiles must use Kova device identity.";
  }
  return {};
}

}  // namespace

std::string_view trim(std::string_view text) {
  while (auto n = leading_space_bytes(text))
    text.remove_prefix(n);
  while (auto n = trailing_space_bytes(text))
    text.remove_suffix(n);
  return text;
}

std::optional<std::uint16_t> parse_port(std::string_view text) {
  text = trim(text);
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    // Checked on every digit so a long run of digits cannot overflow.
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
    if (value > max_port_value) return std::nullopt;
  }
  return static_cast<std::uint16_t>(value);
}

std::optional<std::string> profile_problem(ConnectionKind kind, std::string_view host,
                                           AuthMethod auth) {
  if (!auth_allowed(kind, auth)) return kind_auth_message(kind);
  if (kind != ConnectionKind::Kova) return std::nullopt;
  const auto device = trim(host);
  if (device.empty()) return std::nullopt;
  if (!kova::p2p::EndpointKey::parse(device)) {
    return "Kova device node must be an exact certified endpoint id.";
  }
  return std::nullopt;
}

std::vector<std::string> validate_form(const ConnectionFormValues& values) {
  std::vector<std::string> problems;
  if (trim(values.name).empty()) problems.emplace_back("Name is required");
  if (trim(values.host).empty()) problems.emplace_back("Host is required");
  if (values.kind != ConnectionKind::Kova) {
    const auto port = parse_port(values.port);
    if (!port || *port == 0) problems.emplace_back("Port must be 1\u201365535");
  }
  if (auto problem = profile_problem(values.kind, values.host, values.auth)) {
    problems.push_back(std::move(*problem));
  }
  return problems;
}

ConnectionProfile profile_from_form(const ConnectionFormValues& values, ConnectionId id) {
  const bool keeps_user = values.kind != ConnectionKind::Vnc && values.kind != ConnectionKind::Kova;
  std::uint16_t port = 0;
  if (auto fallback = default_port(values.kind)) {
    port = parse_port(values.port).value_or(*fallback);
  }
  return ConnectionProfile{
      .id = id,
      .name = std::string(trim(values.name)),
      .host = std::string(trim(values.host)),
      .port = port,
      .user = keeps_user ? std::string(trim(values.user)) : std::string(),
      .group = std::string(trim(values.group)),
      .kind = values.kind,
      .auth = values.auth,
      .favorite = false,
      .last_used = "Never",
      .presence = Presence::Unknown,
  };
}

}  // namespace remote::profiles
