#include "rfb/handshake.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "rfb/limits.h"
#include "rfb/utf8.h"
#include "rfb/vnc_auth.h"

namespace remote::rfb {
namespace {

// An unsigned decimal that fits in 8 bits: one optional '+', then digits,
// leading zeros allowed.
std::optional<std::uint8_t> parse_u8(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > 255) return std::nullopt;
  }
  return static_cast<std::uint8_t>(value);
}

bool is_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// A u32 length and that many bytes, decoded with replacement. Bounded so a
// server cannot make us wait for or keep an unbounded text.
Result<std::string> read_reason(Stream& s) {
  auto length = read_u32(s);
  if (!length) return std::unexpected(length.error());
  if (*length > max_reason_bytes) return invalid_data("RFB server reason exceeds the 16 KiB limit");
  auto bytes = s.read(*length);
  if (!bytes) return std::unexpected(bytes.error());
  return utf8_lossy(*bytes);
}

class Handshake {
 public:
  Handshake(Stream& s, std::string_view password) : s_(s), password_(password) {}

  Result<ServerInit> run() {
    while (state_ != HandshakeState::Done) {
      auto step = advance();
      if (!step) return std::unexpected(step.error());
    }
    return init_;
  }

 private:
  Result<void> advance() {
    switch (state_) {
      case HandshakeState::WaitingForVersion:
        return on_version();
      case HandshakeState::WaitingForSecurity:
        return init_.agreed_minor == 3 ? on_security_33() : on_security_list();
      case HandshakeState::WaitingForChallenge:
        return on_challenge();
      case HandshakeState::WaitingForSecurityResult:
        return on_security_result();
      case HandshakeState::SendingClientInit:
        return send_client_init();
      case HandshakeState::WaitingForServerInit:
        return on_server_init();
      case HandshakeState::Done:
        break;
    }
    return {};
  }

  Result<void> on_version() {
    auto bytes = s_.read(protocol_version_bytes);
    if (!bytes) return std::unexpected(bytes.error());
    auto version = parse_protocol_version(*bytes);
    if (!version) return invalid_data("bad ProtocolVersion");
    init_.agreed_minor = agreed_minor_version(version->major, version->minor);
    char reply[protocol_version_bytes + 1];
    std::snprintf(reply, sizeof reply, "RFB 003.%03u\n", unsigned{init_.agreed_minor});
    state_ = HandshakeState::WaitingForSecurity;
    return write(std::span(reinterpret_cast<const std::uint8_t*>(reply), protocol_version_bytes));
  }

  // 3.3: the server dictates the type in the last byte of a u32.
  Result<void> on_security_33() {
    auto bytes = s_.read(4);
    if (!bytes) return std::unexpected(bytes.error());
    return use_type((*bytes)[3]);
  }

  Result<void> on_security_list() {
    auto count = read_u8(s_);
    if (!count) return std::unexpected(count.error());
    if (*count == 0) {
      auto reason = read_reason(s_);
      if (!reason) return std::unexpected(reason.error());
      return fail(ErrorKind::PermissionDenied, *reason);
    }
    auto types = s_.read(*count);
    if (!types) return std::unexpected(types.error());
    const auto offered = [&](SecurityType t) {
      return std::ranges::find(*types, static_cast<std::uint8_t>(t)) != types->end();
    };
    // None wins even when a password is configured.
    std::uint8_t chosen = 0;
    if (offered(SecurityType::None)) {
      chosen = static_cast<std::uint8_t>(SecurityType::None);
    } else if (offered(SecurityType::VncAuthentication)) {
      chosen = static_cast<std::uint8_t>(SecurityType::VncAuthentication);
    } else {
      return fail(ErrorKind::Unsupported, "no supported VNC security type");
    }
    if (auto sent = write(std::span(&chosen, 1)); !sent) return sent;
    return use_type(chosen);
  }

  Result<void> use_type(std::uint8_t type) {
    init_.security_type = type;
    if (type == static_cast<std::uint8_t>(SecurityType::None)) {
      // Only 3.8 servers confirm the None type with a SecurityResult.
      state_ = init_.agreed_minor == 8 ? HandshakeState::WaitingForSecurityResult
                                       : HandshakeState::SendingClientInit;
      return {};
    }
    if (type == static_cast<std::uint8_t>(SecurityType::VncAuthentication)) {
      state_ = HandshakeState::WaitingForChallenge;
      return {};
    }
    return fail(ErrorKind::Unsupported, "unhandled security type " + std::to_string(type));
  }

  Result<void> on_challenge() {
    auto bytes = s_.read(challenge_bytes);
    if (!bytes) return std::unexpected(bytes.error());
    Challenge challenge;
    std::ranges::copy(*bytes, challenge.begin());
    const Challenge response = vnc_auth_response(challenge, password_);
    state_ = HandshakeState::WaitingForSecurityResult;
    return write(response);
  }

  Result<void> on_security_result() {
    auto result = read_u32(s_);
    if (!result) return std::unexpected(result.error());
    if (*result != 0) {
      // 3.3 and 3.7 servers close the connection instead of giving a reason.
      auto reason = read_reason(s_);
      return fail(ErrorKind::PermissionDenied, reason ? *reason : "authentication failed");
    }
    state_ = HandshakeState::SendingClientInit;
    return {};
  }

  Result<void> send_client_init() {
    const std::uint8_t shared = 1;
    state_ = HandshakeState::WaitingForServerInit;
    return write(std::span(&shared, 1));
  }

  Result<void> on_server_init() {
    auto fixed = s_.read(server_init_fixed_bytes);
    if (!fixed) return std::unexpected(fixed.error());
    ByteReader r(*fixed);
    init_.width = r.u16();
    init_.height = r.u16();
    init_.server_format =
        decode_pixel_format(r.bytes(pixel_format_bytes).first<pixel_format_bytes>());
    const std::uint32_t name_length = r.u32();
    if (name_length > max_server_name_bytes) {
      return invalid_data("RFB server name exceeds the 16 KiB limit");
    }
    const std::uint64_t area = std::uint64_t{init_.width} * init_.height;
    if (area == 0 || area > max_framebuffer_pixels) {
      return invalid_data("RFB framebuffer dimensions exceed the 16 megapixel limit");
    }
    auto name = s_.read(name_length);
    if (!name) return std::unexpected(name.error());
    init_.name = utf8_lossy(*name);
    state_ = HandshakeState::Done;
    return {};
  }

  Result<void> write(std::span<const std::uint8_t> bytes) { return s_.write(bytes); }

  Stream& s_;
  std::string_view password_;
  HandshakeState state_ = HandshakeState::WaitingForVersion;
  ServerInit init_;
};

}  // namespace

std::uint8_t agreed_minor_version(std::uint8_t major, std::uint8_t minor) {
  if (major < 3) return 3;
  if (major > 3) return 8;
  if (minor >= 8) return 8;
  if (minor == 7) return 7;
  return 3;
}

std::optional<ProtocolVersion> parse_protocol_version(std::span<const std::uint8_t> bytes) {
  if (!is_valid_utf8(bytes)) return std::nullopt;
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!text.starts_with("RFB ")) return std::nullopt;
  text.remove_prefix(4);
  while (!text.empty() && is_space(text.back()))
    text.remove_suffix(1);
  const auto dot = text.find('.');
  if (dot == std::string_view::npos) return std::nullopt;
  auto major = parse_u8(text.substr(0, dot));
  auto minor = parse_u8(text.substr(dot + 1));
  if (!major || !minor) return std::nullopt;
  return ProtocolVersion{*major, *minor};
}

Result<ServerInit> run_handshake(Stream& stream, std::string_view password) {
  return Handshake(stream, password).run();
}

}  // namespace remote::rfb
