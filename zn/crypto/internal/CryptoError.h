// How the cryptography classes fail: a ZnException with the operation's
// name, the message, the throwing source file and line, and the code -1.
#pragma once

#include <string>

namespace zn::detail {

[[noreturn]] void ThrowCryptoError(const char* function, const std::string& message,
                                   const char* file = __builtin_FILE(), int line = __builtin_LINE());

// A failed engine call on `ctx`: `prefix` followed by the engine's text for
// the context's last error.
[[noreturn]] void ThrowEngineError(const char* function, const char* prefix, void* ctx,
                                   const char* file = __builtin_FILE(), int line = __builtin_LINE());

// The engine's text for `ctx`, empty when the engine is not loaded.
std::string EngineErrorText(void* ctx);

}  // namespace zn::detail
