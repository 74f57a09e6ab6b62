// The identity of an SSH server's host key as the trust store pins it and as
// automation operations name it. Header-only and free of dependencies, so the
// SSH layer and the action vocabulary can share it without linking each other.
#pragma once

#include <string>

namespace remote::actions {

struct HostKeyIdentity {
  // Key algorithm as the server names it, for example "ssh-ed25519".
  std::string algorithm;
  // "SHA256:" followed by the unpadded Base64 digest of the key blob.
  std::string fingerprint;

  friend bool operator==(const HostKeyIdentity&, const HostKeyIdentity&) = default;
};

}  // namespace remote::actions
