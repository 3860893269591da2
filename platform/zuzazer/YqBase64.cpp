#include "zuzazer/YqBase64.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int ValueOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string YqBase64::Encode(const void* data, size_t len) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string out;
  out.reserve((len + 2) / 3 * 4);
  for (size_t i = 0; i < len; i += 3) {
    const size_t left = len - i;
    const unsigned triple = (unsigned{bytes[i]} << 16) | (left > 1 ? unsigned{bytes[i + 1]} << 8 : 0u) |
                            (left > 2 ? unsigned{bytes[i + 2]} : 0u);
    out.push_back(kAlphabet[(triple >> 18) & 63]);
    out.push_back(kAlphabet[(triple >> 12) & 63]);
    out.push_back(left > 1 ? kAlphabet[(triple >> 6) & 63] : '=');
    out.push_back(left > 2 ? kAlphabet[triple & 63] : '=');
  }
  return out;
}

bool YqBase64::Decode(std::string_view text, std::string& out) {
  out.clear();
  if (text.size() % 4 != 0) return false;
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const size_t pad = last ? (text[i + 3] == '=' ? (text[i + 2] == '=' ? 2 : 1) : 0) : 0;
    unsigned triple = 0;
    for (size_t k = 0; k < 4; ++k) {
      int v = 0;
      if (k < 4 - pad) {
        v = ValueOf(text[i + k]);
        if (v < 0) return false;
      }
      triple = (triple << 6) | static_cast<unsigned>(v);
    }
    bytes.push_back(static_cast<char>((triple >> 16) & 0xff));
    if (pad < 2) bytes.push_back(static_cast<char>((triple >> 8) & 0xff));
    if (pad < 1) bytes.push_back(static_cast<char>(triple & 0xff));
    // The bits below the last whole byte must be zero.
    if ((pad == 1 && (triple & 0xff) != 0) || (pad == 2 && (triple & 0xffff) != 0)) return false;
  }
  out = std::move(bytes);
  return true;
}
