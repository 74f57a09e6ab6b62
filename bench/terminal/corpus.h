#pragma once

// Deterministic terminal-output corpora for the feed benchmark.

#include <cstddef>
#include <string>

namespace terminal::bench {

// Shell-like output: plain text, UTF-8 of 2, 3 and 4 bytes, colour changes,
// cursor moves, erases, line feeds that scroll, and sequences the screen
// model ignores (titles, private modes, 256-colour and underline SGR).
std::string mixed_corpus(std::size_t bytes, unsigned seed = 1);

// Printable ASCII lines ended by CR LF.
std::string ascii_corpus(std::size_t bytes, unsigned seed = 1);

}  // namespace terminal::bench
