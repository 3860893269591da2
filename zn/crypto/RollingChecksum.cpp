// The rolling checksum of block matching: a = the sum of the bytes, b = the
// sum of the successive values of a, both modulo 65536; the sum is
// b * 65536 + a. Arithmetic modulo 2^32 keeps both exact modulo 2^16, so
// the loop masks only at the end.
#include <cstdint>

#include "zn/crypto/znc.h"

unsigned int Znc::rsyncUpdate(unsigned int sum, const void* data, int len) {
  if (data == nullptr || len <= 0) return sum;
  uint32_t a = sum & 0xFFFFu;
  uint32_t b = sum >> 16;
  const auto* p = static_cast<const unsigned char*>(data);
  for (int i = 0; i < len; ++i) {
    a += p[i];
    b += a;
  }
  return ((b & 0xFFFFu) << 16) | (a & 0xFFFFu);
}

unsigned int Znc::rsync(const void* data, int len) { return rsyncUpdate(0, data, len); }

unsigned int Znc::rsyncRoll(unsigned int sum, int windowLen, unsigned char out, unsigned char in) {
  const uint32_t a = ((sum & 0xFFFFu) - out + in) & 0xFFFFu;
  const uint32_t b = ((sum >> 16) - static_cast<uint32_t>(windowLen) * out + a) & 0xFFFFu;
  return (b << 16) | a;
}
