// A fixed-size error value: a code and a text of at most 512 characters.
#pragma once

#include <cstdarg>

#include "zn/base/ZnExport.h"

class ZN_EXPORT CError {
 public:
  static constexpr int kMaxText = 512;

  CError();
  CError(const CError&) = default;
  CError& operator=(const CError&) = default;

  // Code `code`, text "NoText".
  void set(long code);
  // Code `code` and the formatted text, cut to 512 characters, with line
  // breaks, vertical tabs and form feeds turned into blanks.
  void set(long code, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void _set(long code, const char* format, va_list args);
  // The calling thread's last system error (errno): code 0 and "No Errors"
  // when there is none, else "<message> (SYSTEM: <system text>)" with the
  // Win32 number of the error as code.
  void setSystem(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void _setSystem(const char* format, va_list args);

  long getCode() const { return m_code; }
  const char* getText() const { return m_text; }

  // Replaces '\n', '\r', '\v' and '\f' by blanks, in place.
  static void _nrvtfEscSequenceCleanUp(char* text);

 private:
  char m_text[kMaxText + 1];
  long m_code;
};
