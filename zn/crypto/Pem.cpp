#include "zn/crypto/internal/Pem.h"

#include <cstring>
#include <string_view>

namespace zn::detail {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kLineLength = 64;

}  // namespace

secure_basic_string<char> PemEncode(const char* label, const unsigned char* data, int len) {
  secure_basic_string<char> text;
  text.reserve(static_cast<std::size_t>(len) * 4 / 3 + static_cast<std::size_t>(len) / 48 + 80);
  text += "-----BEGIN ";
  text += label;
  text += "-----\n";
  int column = 0;
  for (int i = 0; i < len; i += 3) {
    const int left = len - i;
    const unsigned int triple = (static_cast<unsigned int>(data[i]) << 16) |
                                (left > 1 ? static_cast<unsigned int>(data[i + 1]) << 8 : 0u) |
                                (left > 2 ? static_cast<unsigned int>(data[i + 2]) : 0u);
    const char quad[4] = {kAlphabet[(triple >> 18) & 63], kAlphabet[(triple >> 12) & 63],
                          left > 1 ? kAlphabet[(triple >> 6) & 63] : '=', left > 2 ? kAlphabet[triple & 63] : '='};
    text.append(quad, 4);
    column += 4;
    if (column == kLineLength) {
      text += '\n';
      column = 0;
    }
  }
  if (column != 0) text += '\n';
  text += "-----END ";
  text += label;
  text += "-----\n";
  return text;
}

std::string UnsupportedPemHeader(const char* pem) {
  if (pem == nullptr) return std::string();
  const std::string_view text(pem);
  for (const std::string_view header : {"Proc-Type:", "DEK-Info:"}) {
    if (text.find(header) != std::string_view::npos) {
      return "PEM headers (Proc-Type, DEK-Info) are not supported; use an encrypted PKCS #8 key instead";
    }
  }
  return std::string();
}

}  // namespace zn::detail
