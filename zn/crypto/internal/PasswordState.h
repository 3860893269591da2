// The process-wide state of the password class: the V8 key cache, the
// answer of isV8EncryptionEnabled and the store places they read.
#pragma once

#include <string>
#include <string_view>

namespace zn::detail {

inline constexpr std::string_view kProductKey = "SOFTWARE\\Tessaly Systems\\Orvane";

// Forgets the cached V8 key and the cached isV8EncryptionEnabled answer.
void ResetPasswordCaches();

}  // namespace zn::detail
