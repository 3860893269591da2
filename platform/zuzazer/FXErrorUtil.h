// Making and reading error values with Win32, integer and HRESULT codes.
#pragma once

#include <cstdint>
#include <vector>

#include "zuzazer/CYqError.h"
#include "zuzazer/YqExport.h"

namespace FXErrorUtil {

// An error with a Win32 code; without a format the text is the code's own.
YQ_EXPORT CYqError ErrorWin32(const FXCodeLocation& location, uint32_t code);
YQ_EXPORT CYqError ErrorWin32(const FXCodeLocation& location, uint32_t code, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

YQ_EXPORT CYqError ErrorInt(const FXCodeLocation& location, int code);
YQ_EXPORT CYqError ErrorInt(const FXCodeLocation& location, int code, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

YQ_EXPORT CYqError ErrorHResult(const FXCodeLocation& location, uint32_t result, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// An error for a failed system call: the Win32 code mapped from `errnum`, the
// caller's text, then the system's text for errnum in parentheses.
YQ_EXPORT CYqError ErrorErrno(const FXCodeLocation& location, int errnum, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

YQ_EXPORT bool IsWin32(const CYqError& error, uint32_t code);
// The Win32 code of an error: its own code when that is one, the code inside
// an HRESULT of the Win32 facility, else 0.
YQ_EXPORT uint32_t GetWin32(const CYqError& error);

// The codes that mean the same as `code`, the code itself first: a Win32 code
// and its HRESULT form match each other.
YQ_EXPORT std::vector<uint32_t> GetMatches(uint32_t code);

}  // namespace FXErrorUtil
