// Rules that decide whether the form's values may be saved and whether a
// stored profile may be opened, and the conversion from form values to the
// record. All pure functions of their inputs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "profiles/profile.h"

namespace remote::profiles {

// Removes leading and trailing Unicode White_Space (UTF-8) and nothing else.
// The result views the argument's characters.
std::string_view trim(std::string_view text);

// The port as typed: after trimming, an optional single "+" and one or more
// ASCII digits whose value is at most 65535 (leading zeros allowed). Anything
// else is not a port. 0 parses; the form rejects it separately.
std::optional<std::uint16_t> parse_port(std::string_view text);

// Nothing, or the one message that says why this kind, host and method do
// not go together: a method the kind does not allow, or a Kova host that is
// not an exact certified endpoint id. An empty (trimmed) Kova host is left to
// the required-host rule.
std::optional<std::string> profile_problem(ConnectionKind kind, std::string_view host,
                                           AuthMethod auth);

// The problems that keep the values from being saved, in a fixed order:
// name, host, port (not for Kova), then profile_problem. Empty when the values
// may be saved.
std::vector<std::string> validate_form(const ConnectionFormValues& values);

// The record to save: trimmed texts, the parsed port (the kind's default when
// it does not parse, 0 for Kova), no user for VNC and Kova, "Never", Unknown
// presence, not favourite.
ConnectionProfile profile_from_form(const ConnectionFormValues& values, ConnectionId id);

}  // namespace remote::profiles
