#include "zuzazer/FXErrorUtil.h"

#include <cstdarg>

#include <boost/make_shared.hpp>

#include "zuzazer/FXString.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

constexpr uint32_t kWin32HResultBase = 0x80070000u;

CYqError MakeError(const FXCodeLocation& location, uint32_t code, std::string text) {
  return CYqError(static_cast<long>(code),
                  boost::make_shared<FXErrorItemText>(location, code, std::move(text)));
}

std::string FormatText(const char* format, va_list args) {
  std::string text;
  if (format != nullptr) FXString::FormatArgList(text, format, args);
  return text;
}

}  // namespace

namespace FXErrorUtil {

CYqError ErrorWin32(const FXCodeLocation& location, uint32_t code) {
  return MakeError(location, code, yq::Win32ErrorText(code));
}

CYqError ErrorWin32(const FXCodeLocation& location, uint32_t code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatText(format, args);
  va_end(args);
  return MakeError(location, code, std::move(text));
}

CYqError ErrorInt(const FXCodeLocation& location, int code) {
  return MakeError(location, static_cast<uint32_t>(code), std::string());
}

CYqError ErrorInt(const FXCodeLocation& location, int code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatText(format, args);
  va_end(args);
  return MakeError(location, static_cast<uint32_t>(code), std::move(text));
}

CYqError ErrorHResult(const FXCodeLocation& location, uint32_t result, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatText(format, args);
  va_end(args);
  return MakeError(location, result, std::move(text));
}

CYqError ErrorErrno(const FXCodeLocation& location, int errnum, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatText(format, args);
  va_end(args);
  text += " (" + yq::ErrnoText(errnum) + ")";
  return MakeError(location, yq::Win32FromErrno(errnum), std::move(text));
}

bool IsWin32(const CYqError& error, uint32_t code) { return error.Is(code); }

uint32_t GetWin32(const CYqError& error) {
  if (!error.IsError()) return 0;
  const uint32_t code = error.GetErrorCode();
  if (code <= 0xFFFFu) return code;
  if ((code & 0xFFFF0000u) == kWin32HResultBase) return code & 0xFFFFu;
  return 0;
}

std::vector<uint32_t> GetMatches(uint32_t code) {
  std::vector<uint32_t> matches{code};
  if (code != 0 && code <= 0xFFFFu) {
    matches.push_back(kWin32HResultBase | code);
  } else if ((code & 0xFFFF0000u) == kWin32HResultBase) {
    matches.push_back(code & 0xFFFFu);
  }
  return matches;
}

}  // namespace FXErrorUtil
