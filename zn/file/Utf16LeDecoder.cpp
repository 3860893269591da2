#include "zn/file/internal/Utf16LeDecoder.h"

namespace zn::detail {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool IsHigh(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

void Utf16LeDecoder::take(char16_t unit, std::wstring& out) {
  if (m_pendingHigh != 0) {
    if (IsLow(unit)) {
      out.push_back(static_cast<wchar_t>(0x10000 + ((m_pendingHigh - 0xD800) << 10) + (unit - 0xDC00)));
      m_pendingHigh = 0;
      return;
    }
    out.push_back(kReplacement);
    m_pendingHigh = 0;
  }
  if (IsHigh(unit)) {
    m_pendingHigh = unit;
  } else if (IsLow(unit)) {
    out.push_back(kReplacement);
  } else {
    out.push_back(static_cast<wchar_t>(unit));
  }
}

void Utf16LeDecoder::decode(const unsigned char* bytes, std::size_t size, std::wstring& out) {
  std::size_t i = 0;
  if (m_pendingByte >= 0 && size > 0) {
    take(static_cast<char16_t>(m_pendingByte | bytes[0] << 8), out);
    m_pendingByte = -1;
    i = 1;
  }
  for (; i + 1 < size; i += 2) take(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8), out);
  if (i < size) m_pendingByte = bytes[i];
}

void Utf16LeDecoder::finish(std::wstring& out) {
  if (m_pendingHigh != 0) out.push_back(kReplacement);
  if (m_pendingByte >= 0) out.push_back(kReplacement);
  m_pendingHigh = 0;
  m_pendingByte = -1;
}

}  // namespace zn::detail
