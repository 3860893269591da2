#include "zn/error/CError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "zn/error/ZnErrorCodes.h"
#include "zuzazer/FXString.h"

namespace {

// Formatting is bounded at 1,023 characters before the text is cut to 512.
constexpr std::size_t kFormatLimit = 1024;

}  // namespace

CError::CError() : m_code(0) { m_text[0] = '\0'; }

void CError::set(long code) {
  m_code = code;
  std::snprintf(m_text, sizeof m_text, "%s", "NoText");
}

void CError::set(long code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  _set(code, format, args);
  va_end(args);
}

void CError::_set(long code, const char* format, va_list args) {
  m_code = code;
  char buffer[kFormatLimit];
  if (FXString::FormatToBuffer(buffer, sizeof buffer, format, args) < 0) buffer[0] = '\0';
  const std::size_t length = strnlen(buffer, kMaxText);  // cut to what the value holds
  std::memcpy(m_text, buffer, length);
  m_text[length] = '\0';
  _nrvtfEscSequenceCleanUp(m_text);
}

void CError::setSystem(const char* format, ...) {
  va_list args;
  va_start(args, format);
  _setSystem(format, args);
  va_end(args);
}

void CError::_setSystem(const char* format, va_list args) {
  const int lastError = errno;
  if (lastError == 0) {
    set(0, "%s", "No Errors");
    return;
  }
  char message[kFormatLimit];
  if (FXString::FormatToBuffer(message, sizeof message, format, args) < 0) message[0] = '\0';
  const std::string system = yq::ErrnoText(lastError);
  const auto code = static_cast<long>(zn::ErrorFromErrno(lastError));
  if (system.empty()) {
    set(code, "%s (SYSTEM: No text found)", message);
  } else {
    set(code, "%s (SYSTEM: %s)", message, system.c_str());
  }
}

void CError::_nrvtfEscSequenceCleanUp(char* text) {
  if (text == nullptr) return;
  for (char* p = text; *p != '\0'; ++p) {
    if (*p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') *p = ' ';
  }
}
