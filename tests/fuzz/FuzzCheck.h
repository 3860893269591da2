// What the crypto fuzzers share: a property that must hold (anything else
// is a finding: abort, so libFuzzer keeps the input), and the messages a
// failure may carry.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <set>
#include <string>

namespace zn::fuzz {

inline void Expect(bool condition) {
  if (!condition) std::abort();
}

using Messages = std::set<std::string>;

// The failures of descrambling (Znc::descramble*, ZncScrambler).
inline const Messages& ScramblerMessages() {
  static const Messages messages = {
      "Scrambled data is corrupt: unrecognized scrambling method.",
      "Scrambled data is corrupt: Invalid last block valid byte counter.",
      "Scrambled data is corrupt: CRC32 mismatch.",
      "Cannot descramble data: It's too short.",
      "Cannot descramble data: Encrypted data must be provided in 8-byte blocks.",
  };
  return messages;
}

// The failures of Znc::hex2bin.
inline const Messages& HexMessages() {
  static const Messages messages = {
      "Cannot convert hex to bin: Input string does not have an even length.",
      "Cannot convert hex to bin: Illegal character encountered.",
  };
  return messages;
}

// A message must be one of the sets; any other is a finding.
inline void ExpectKnownMessage(const char* message, std::initializer_list<const Messages*> known) {
  for (const Messages* set : known) {
    if (set->count(message) != 0) return;
  }
  std::fprintf(stderr, "unexpected message: %s\n", message);
  std::abort();
}

}  // namespace zn::fuzz
