// The character forms of a password: UTF-8 bytes (how the object keeps a
// plain password), wchar_t (UTF-32 here) and UTF-16 (the legacy wide
// formats). Every result lives in a wiping buffer.
#pragma once

#include <cstddef>
#include <string_view>

#include "zn/crypto/secure_basic_string.h"

namespace zn::detail {

// Characters of a UTF-8 text: every byte that does not continue a sequence.
size_t Utf8CharCount(std::string_view utf8);

// An ill-formed sequence becomes U+FFFD.
secure_basic_string<char32_t> Utf8ToUtf32(std::string_view utf8);
secure_basic_string<char> Utf32ToUtf8(std::u32string_view text);
secure_basic_string<char16_t> Utf8ToUtf16(std::string_view utf8);
secure_basic_string<char> Utf16ToUtf8(std::u16string_view text);

// wchar_t is UTF-32 on this platform.
secure_basic_string<char> WideToUtf8(const wchar_t* text);

}  // namespace zn::detail
