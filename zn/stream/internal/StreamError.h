// How this module fails: a ZnException with the operation's name, the
// message, the throwing source file and line, and the error number -1.
#pragma once

#include <string>

class CYqError;

namespace zn::detail {

inline constexpr const char* kNotEnoughMemory = "Not enough memory";
inline constexpr const char* kDeadObject = "Can't resurrect dead objects.";
// Our own texts for input the stream calls cannot work with.
inline constexpr const char* kInvalidBuffer = "Invalid buffer passed as input.";
inline constexpr const char* kInvalidSize = "Invalid size passed as input.";

// The file and line default to the caller's (std::source_location is not
// available to every compiler the project builds with).
[[noreturn]] void ThrowStreamError(const char* function, const std::string& message, const char* file = __builtin_FILE(),
                                   int line = __builtin_LINE());

// A failed call of the utility library: the message is the error value's
// text, after `prefix` when one is given.
[[noreturn]] void ThrowStreamError(const char* function, const CYqError& error, const std::string& prefix = {},
                                   const char* file = __builtin_FILE(), int line = __builtin_LINE());

}  // namespace zn::detail
