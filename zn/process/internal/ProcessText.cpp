#include "zn/process/internal/ProcessText.h"

#include <cstring>

#include "zuzazer/FXString.h"
#include "zuzazer/YqWin32Errors.h"

namespace zn::detail {

void CopyText(const std::string& text, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return;
  const std::size_t room = static_cast<std::size_t>(size) - 1;
  const std::size_t n = text.size() < room ? text.size() : room;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

std::string ErrnoMessage(int errnum) { return yq::Win32ErrorText(yq::Win32FromErrno(errnum)); }

std::string Narrow(const wchar_t* text) { return text == nullptr ? std::string() : FXString::ToString(text); }

bool HasUnicodeForm(const char* text) {
  if (text == nullptr) return true;
  // Bytes that are not UTF-8 become U+FFFD on the way in and do not come
  // back: the round trip differs exactly for them.
  return FXString::ToString(FXString::ToWstring(text)) == text;
}

}  // namespace zn::detail
