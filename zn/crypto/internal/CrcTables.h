// Table-driven reflected CRCs, shared by CRC-32 and CRC-32C: the byte
// tables for slicing by 8 and the "append n zero bytes" operator that joins
// CRCs computed side by side. Everything is built at compile time.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zn::detail {

// Slicing reads eight bytes as one little-endian word.
static_assert(std::endian::native == std::endian::little);

using CrcTable = std::array<uint32_t, 256>;
// slices[s][b]: the CRC register after byte b followed by s zero bytes,
// started at 0.
using CrcSlices = std::array<CrcTable, 8>;
// The register after n zero bytes, one table per byte of the register.
using CrcShift = std::array<CrcTable, 4>;

constexpr CrcSlices MakeCrcSlices(uint32_t reflectedPoly) {
  CrcSlices t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ ((c & 1u) != 0 ? reflectedPoly : 0u);
    t[0][i] = c;
  }
  for (std::size_t s = 1; s < t.size(); ++s) {
    for (uint32_t i = 0; i < 256; ++i) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFFu];
  }
  return t;
}

// GF(2) 32x32 matrices as their 32 columns.
using CrcMatrix = std::array<uint32_t, 32>;

constexpr uint32_t Apply(const CrcMatrix& m, uint32_t v) {
  uint32_t out = 0;
  for (int i = 0; v != 0; ++i, v >>= 1) {
    if ((v & 1u) != 0) out ^= m[static_cast<std::size_t>(i)];
  }
  return out;
}

constexpr CrcMatrix Compose(const CrcMatrix& a, const CrcMatrix& b) {
  CrcMatrix out{};
  for (std::size_t i = 0; i < 32; ++i) out[i] = Apply(a, b[i]);
  return out;
}

constexpr CrcShift MakeCrcShift(const CrcTable& t0, std::size_t zeroBytes) {
  CrcMatrix step{};  // one zero byte
  for (std::size_t i = 0; i < 32; ++i) {
    const uint32_t bit = 1u << i;
    step[i] = (bit >> 8) ^ t0[bit & 0xFFu];
  }
  CrcMatrix power{};
  for (std::size_t i = 0; i < 32; ++i) power[i] = 1u << i;
  for (std::size_t n = zeroBytes; n != 0; n >>= 1) {
    if ((n & 1u) != 0) power = Compose(step, power);
    step = Compose(step, step);
  }
  CrcShift shift{};
  for (std::size_t k = 0; k < 4; ++k) {
    for (uint32_t b = 0; b < 256; ++b) shift[k][b] = Apply(power, b << (8 * k));
  }
  return shift;
}

inline uint32_t ShiftCrc(const CrcShift& shift, uint32_t crc) {
  return shift[0][crc & 0xFFu] ^ shift[1][(crc >> 8) & 0xFFu] ^ shift[2][(crc >> 16) & 0xFFu] ^ shift[3][crc >> 24];
}

// The register after `n` bytes at `p`, eight at a time.
inline uint32_t CrcByTable(const CrcSlices& t, uint32_t crc, const unsigned char* p, std::size_t n) {
  for (; n >= 8; n -= 8, p += 8) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    v ^= crc;
    crc = t[7][v & 0xFF] ^ t[6][(v >> 8) & 0xFF] ^ t[5][(v >> 16) & 0xFF] ^ t[4][(v >> 24) & 0xFF] ^
          t[3][(v >> 32) & 0xFF] ^ t[2][(v >> 40) & 0xFF] ^ t[1][(v >> 48) & 0xFF] ^ t[0][v >> 56];
  }
  for (; n != 0; --n, ++p) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFFu];
  return crc;
}

// Whether the processor's CRC instructions may be used (tests turn them
// off to check the tables).
bool CrcHardwareAllowed();

}  // namespace zn::detail
