#include "zn/crypto/internal/PasswordUnicode.h"

#include "zuzazer/FXString.h"

namespace zn::detail {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Decodes the sequence at `i` and moves past it; ill-formed ones (also
// overlong forms and surrogates) give the replacement character.
char32_t NextCodePoint(std::string_view s, size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i++]);
  if (b0 < 0x80) return b0;
  int extra = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, cp = b0 & 0x07, min = 0x10000;
  } else {
    return kReplacement;
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= s.size() || !IsContinuation(static_cast<unsigned char>(s[i]))) return kReplacement;
    cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  return cp;
}

void AppendUtf8(secure_basic_string<char>& out, char32_t cp) {
  FXString::PutUtf8(cp, [&out](char c) { out.push_back(c); });
}

}  // namespace

size_t Utf8CharCount(std::string_view utf8) {
  size_t n = 0;
  for (const char c : utf8) n += IsContinuation(static_cast<unsigned char>(c)) ? 0 : 1;
  return n;
}

secure_basic_string<char32_t> Utf8ToUtf32(std::string_view utf8) {
  secure_basic_string<char32_t> out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) out.push_back(NextCodePoint(utf8, i));
  return out;
}

secure_basic_string<char> Utf32ToUtf8(std::u32string_view text) {
  secure_basic_string<char> out;
  out.reserve(text.size() * 4);
  for (const char32_t cp : text) AppendUtf8(out, cp);
  return out;
}

secure_basic_string<char16_t> Utf8ToUtf16(std::string_view utf8) {
  secure_basic_string<char16_t> out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const char32_t cp = NextCodePoint(utf8, i);
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

secure_basic_string<char> Utf16ToUtf8(std::u16string_view text) {
  secure_basic_string<char> out;
  out.reserve(text.size() * 3);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    AppendUtf8(out, cp);  // a lone surrogate becomes U+FFFD
  }
  return out;
}

secure_basic_string<char> WideToUtf8(const wchar_t* text) {
  secure_basic_string<char> out;
  for (; *text != L'\0'; ++text) AppendUtf8(out, static_cast<char32_t>(*text));
  return out;
}

}  // namespace zn::detail
