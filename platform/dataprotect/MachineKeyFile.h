// The machine key file: 32 bytes that only their owner (or root) may read.
#pragma once

#include <string>

#include <botan/secmem.h>

namespace zndp {

inline constexpr size_t kKeyBytes = 32;

// Reads the key at `path`; with `create`, makes it first when missing
// (written under a temporary name, then linked into place, so that racing
// processes all end up with the one that won). False with `error` set for
// a file that is not a regular file, belongs to another user, is open to
// group or others, or has the wrong size.
bool LoadMachineKey(const std::string& path, bool create, Botan::secure_vector<uint8_t>& key, std::string& error);

}  // namespace zndp
