#include "ssh/commands.h"

#include <charconv>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>

#include "ssh/session.h"
#include "ssh/trust_store.h"

namespace remote::ssh {
namespace {

constexpr int exit_ok = 0;
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

// Decimal digits only, 0 to 65535.
std::optional<std::uint16_t> parse_port(std::string_view text) {
  std::uint16_t port = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return port;
}

int usage(std::ostream& err, std::string_view line) {
  err << "usage: kova-remote " << line << "\n";
  return exit_usage;
}

int list_pins(std::ostream& out, std::ostream& err) {
  auto path = known_hosts_path();
  if (!path) {
    err << "SSH host-key trust is unavailable: " << path.error().message << "\n";
    return exit_failed;
  }
  auto store = load_known_hosts(*path);
  if (!store) {
    err << "SSH host-key store is unavailable: " << store.error().message << "\n";
    return exit_failed;
  }
  for (const KnownHostEntry& entry : store->entries) {
    out << entry.host << ":" << entry.port << " " << entry.identity.algorithm << " "
        << entry.identity.fingerprint << "\n";
  }
  return exit_ok;
}

int forget_pins(std::string_view host, std::uint16_t port, std::ostream& out, std::ostream& err) {
  auto path = known_hosts_path();
  if (!path) {
    err << "SSH host-key trust is unavailable: " << path.error().message << "\n";
    return exit_failed;
  }
  auto removed = forget_host_key(*path, host, port);
  if (!removed) {
    err << removed.error().message << "\n";
    return exit_failed;
  }
  out << (*removed ? "forgot the pinned host key of " : "no pinned host key for ") << host << ":"
      << port << "\n";
  return exit_ok;
}

}  // namespace

int fingerprint_command(std::span<const std::string_view> args, std::ostream& out,
                        std::ostream& err) {
  const auto port = args.size() == 2 ? parse_port(args[1]) : std::nullopt;
  if (!port) return usage(err, "ssh-fingerprint HOST PORT");
  auto identity = fetch_host_key(std::string(args[0]), *port);
  if (!identity) {
    err << identity.error().message << "\n";
    return exit_failed;
  }
  out << identity->algorithm << " " << identity->fingerprint << "\n";
  return exit_ok;
}

int trust_command(std::span<const std::string_view> args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && args[0] == "list") return list_pins(out, err);
  if (args.size() == 3 && args[0] == "forget") {
    if (const auto port = parse_port(args[2])) return forget_pins(args[1], *port, out, err);
  }
  return usage(err, "trust list | trust forget HOST PORT");
}

int fingerprint_command(std::span<const std::string_view> args) {
  return fingerprint_command(args, std::cout, std::cerr);
}

int trust_command(std::span<const std::string_view> args) {
  return trust_command(args, std::cout, std::cerr);
}

}  // namespace remote::ssh
