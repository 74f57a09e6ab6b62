// Command-line functions of the SSH transport, for the program's subcommand
// table. Each takes the arguments after its subcommand name, writes results
// to `out` and errors to `err`, and returns the process exit status: 0 on
// success, 1 when the operation failed, 2 for a usage error.
#pragma once

#include <ostream>
#include <span>
#include <string_view>

namespace remote::ssh {

// ssh-fingerprint HOST PORT: connects, prints "ALGORITHM SHA256:..." and
// disconnects without authenticating, so the key can be compared out of band.
int fingerprint_command(std::span<const std::string_view> args, std::ostream& out,
                        std::ostream& err);

// trust list: prints every pin as "HOST:PORT ALGORITHM FINGERPRINT".
// trust forget HOST PORT: removes every pin of that target.
// No command pins a key: trusting needs a key seen by a live session.
int trust_command(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);

// The same, on standard output and standard error, for the subcommand table.
int fingerprint_command(std::span<const std::string_view> args);
int trust_command(std::span<const std::string_view> args);

}  // namespace remote::ssh
