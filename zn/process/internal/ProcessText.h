// Small shared pieces of the process sources: the system's message for an
// errno into a caller's buffer, and wide names as UTF-8.
#pragma once

#include <cstdint>
#include <string>

namespace zn::detail {

// Copies `text` into `buffer` of `size` bytes, cut to fit and NUL-ended.
void CopyText(const std::string& text, char* buffer, int size);
// The message the suite shows for `errnum`.
std::string ErrnoMessage(int errnum);
std::string Narrow(const wchar_t* text);
// True when `text` is valid UTF-8 (so that it has a Unicode form).
bool HasUnicodeForm(const char* text);

}  // namespace zn::detail
