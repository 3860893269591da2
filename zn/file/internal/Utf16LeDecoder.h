// Our own UTF-16LE decoder for the text files of PortableFile: the
// platform's wide stdio cannot read UTF-16 here. Input may arrive in pieces
// of any size; a unit or a surrogate pair split between pieces is joined.
#pragma once

#include <cstddef>
#include <string>

namespace zn::detail {

class Utf16LeDecoder {
 public:
  // Appends the code points of `bytes` to `out`. A surrogate without its
  // partner becomes U+FFFD, as the Windows original's converter makes it.
  void decode(const unsigned char* bytes, std::size_t size, std::wstring& out);
  // The end of the input: a high surrogate still waiting, and an odd byte
  // at the end (half a unit), become U+FFFD each rather than vanish.
  void finish(std::wstring& out);

 private:
  void take(char16_t unit, std::wstring& out);

  int m_pendingByte = -1;     // the first byte of a unit split between pieces
  char16_t m_pendingHigh = 0;  // a high surrogate waiting for its low half
};

}  // namespace zn::detail
