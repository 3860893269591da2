// YqBase64: the Base64 of RFC 4648 (standard alphabet, '=' padding).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "zuzazer/YqExport.h"

class YQ_EXPORT YqBase64 {
 public:
  static std::string Encode(const void* data, size_t len);
  static std::string Encode(std::string_view bytes) { return Encode(bytes.data(), bytes.size()); }
  // False (and `out` left empty) for a text that is not canonical Base64:
  // a length not a multiple of 4, a character outside the alphabet or
  // padding anywhere but at the end.
  static bool Decode(std::string_view text, std::string& out);
};
