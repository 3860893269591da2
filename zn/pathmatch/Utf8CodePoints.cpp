#include "zn/pathmatch/internal/Utf8CodePoints.h"

namespace zn::detail {
namespace {

// Continuation bytes a lead byte announces (0xF8 to 0xFF announce the old
// five- and six-byte forms, which are never legal).
int TrailingBytes(unsigned char lead) {
  if (lead < 0xC0) return 0;
  if (lead < 0xE0) return 1;
  if (lead < 0xF0) return 2;
  if (lead < 0xF8) return 3;
  if (lead < 0xFC) return 4;
  return 5;
}

bool IsLegal(const unsigned char* sequence, int length) {
  if (length > 4) return false;
  const unsigned char lead = sequence[0];
  if (length >= 2) {
    for (int i = length - 1; i >= 2; --i) {
      if (sequence[i] < 0x80 || sequence[i] > 0xBF) return false;
    }
    const unsigned char second = sequence[1];
    if (second > 0xBF) return false;
    switch (lead) {
      case 0xE0: if (second < 0xA0) return false; break;
      case 0xED: if (second > 0x9F) return false; break;
      case 0xF0: if (second < 0x90) return false; break;
      case 0xF4: if (second > 0x8F) return false; break;
      default: if (second < 0x80) return false;
    }
  }
  if (lead >= 0x80 && lead < 0xC2) return false;
  return lead <= 0xF4;
}

}  // namespace

const char* Utf8ResultName(Utf8Result result) {
  switch (result) {
    case Utf8Result::kSourceExhausted: return "source exhausted";
    case Utf8Result::kTargetExhausted: return "target exhausted";
    case Utf8Result::kSourceIllegal: return "source illegal";
    case Utf8Result::kOk: break;
  }
  return "unknown error";
}

Utf8Result Utf8ToCodePoints(std::string_view text, std::span<unsigned long> out, std::size_t& count) {
  count = 0;
  if (out.empty()) return Utf8Result::kTargetExhausted;
  const std::size_t capacity = out.size() - 1;  // the terminator's place
  const auto* source = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = source + text.size();
  while (source < end) {
    const int trailing = TrailingBytes(*source);
    if (trailing >= end - source) return Utf8Result::kSourceExhausted;
    if (!IsLegal(source, trailing + 1)) return Utf8Result::kSourceIllegal;
    if (count == capacity) return Utf8Result::kTargetExhausted;
    unsigned long value = *source & (trailing == 0 ? 0x7Fu : 0x7Fu >> (trailing + 1));
    for (int i = 1; i <= trailing; ++i) value = (value << 6) | (source[i] & 0x3Fu);
    out[count++] = value;
    source += trailing + 1;
  }
  out[count] = 0;
  return Utf8Result::kOk;
}

}  // namespace zn::detail
