#include "profiles/profile.h"

#include <algorithm>
#include <array>

namespace remote::profiles {

namespace {

constexpr std::array ssh_methods{AuthMethod::Password, AuthMethod::PublicKey};
constexpr std::array password_only{AuthMethod::Password};
constexpr std::array device_identity_only{AuthMethod::DeviceIdentity};

}  // namespace

std::span<const AuthMethod> allowed_auth_methods(ConnectionKind kind) {
  switch (kind) {
    case ConnectionKind::Ssh:
      return ssh_methods;
    case ConnectionKind::Vnc:
    case ConnectionKind::Rdp:
      return password_only;
    case ConnectionKind::Kova:
      return device_identity_only;
  }
  return {};
}

bool auth_allowed(ConnectionKind kind, AuthMethod auth) {
  const auto methods = allowed_auth_methods(kind);
  return std::ranges::find(methods, auth) != methods.end();
}

std::optional<std::uint16_t> default_port(ConnectionKind kind) {
  switch (kind) {
    case ConnectionKind::Ssh:
      return 22;
    case ConnectionKind::Vnc:
      return 5900;
    case ConnectionKind::Rdp:
      return 3389;
    case ConnectionKind::Kova:
      return std::nullopt;
  }
  return std::nullopt;
}

std::string_view kind_label(ConnectionKind kind) {
  switch (kind) {
    case ConnectionKind::Ssh:
      return "SSH";
    case ConnectionKind::Vnc:
      return "VNC";
    case ConnectionKind::Rdp:
      return "RDP";
    case ConnectionKind::Kova:
      return "Kova device";
  }
  return "SSH";
}

std::string_view kind_document_text(ConnectionKind kind) {
  return kind == ConnectionKind::Kova ? "Kova" : kind_label(kind);
}

std::string_view auth_label(AuthMethod auth) {
  switch (auth) {
    case AuthMethod::Password:
      return "Password";
    case AuthMethod::PublicKey:
      return "Public key";
    case AuthMethod::DeviceIdentity:
      return "Device identity";
  }
  return "Password";
}

std::string_view auth_slug(AuthMethod auth) {
  switch (auth) {
    case AuthMethod::Password:
      return "password";
    case AuthMethod::PublicKey:
      return "public-key";
    case AuthMethod::DeviceIdentity:
      return "device-identity";
  }
  return "password";
}

std::string_view presence_document_text(Presence presence) {
  switch (presence) {
    case Presence::Online:
      return "online";
    case Presence::Offline:
      return "offline";
    case Presence::Unknown:
      return "unknown";
  }
  return "unknown";
}

ConnectionKind kind_from_text(std::string_view text) {
  if (text == "VNC") return ConnectionKind::Vnc;
  if (text == "RDP") return ConnectionKind::Rdp;
  if (text == "Kova") return ConnectionKind::Kova;
  return ConnectionKind::Ssh;
}

AuthMethod auth_from_label(std::string_view text) {
  if (text == "Public key") return AuthMethod::PublicKey;
  if (text == "Device identity") return AuthMethod::DeviceIdentity;
  return AuthMethod::Password;
}

AuthMethod auth_from_slug(std::string_view text) {
  if (text == "public-key") return AuthMethod::PublicKey;
  if (text == "device-identity") return AuthMethod::DeviceIdentity;
  return AuthMethod::Password;
}

Presence presence_from_text(std::string_view text) {
  if (text == "online") return Presence::Online;
  if (text == "offline") return Presence::Offline;
  return Presence::Unknown;
}

}  // namespace remote::profiles
