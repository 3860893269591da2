// CRC-32 (reflected 0xEDB88320): slicing by 8 through tables, and carry-
// less multiplication folding four 16-byte lanes where the processor has
// PCLMULQDQ (the method of Intel's "Fast CRC Computation for Generic
// Polynomials Using PCLMULQDQ Instruction", constants for this
// polynomial).
#include <immintrin.h>

#include <atomic>
#include <cstdint>

#include "zn/crypto/CryptoTesting.h"
#include "zn/crypto/internal/CrcTables.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_checksum.h"

namespace zn::detail {
namespace {

constexpr CrcSlices kCrc32 = MakeCrcSlices(0xEDB88320u);
constexpr std::size_t kFoldMinimum = 64;

std::atomic<bool> g_hardwareAllowed{true};

bool HasPclmul() {
  static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return has;
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i Load(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The register after the first n - n % 16 bytes (n at least 64); the
// caller feeds the rest through the tables.
__attribute__((target("pclmul,sse4.1"))) uint32_t FoldCrc32(uint32_t crc, const unsigned char* p, std::size_t n) {
  // x^(4*128+32), x^(4*128-32); x^(128+32), x^(128-32); x^64 (mod P,
  // bit-reflected and shifted by one); P' and its Barrett constant u'.
  const __m128i k1k2 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
  const __m128i k3k4 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
  const __m128i k5 = _mm_set_epi64x(0, 0x163cd6124);
  const __m128i poly = _mm_set_epi64x(0x1F7011641, 0x1DB710641);
  const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);

  __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = Load(p + 16);
  __m128i x3 = Load(p + 32);
  __m128i x4 = Load(p + 48);
  p += 64;
  n -= 64;
  for (; n >= 64; n -= 64, p += 64) {
    x1 = Fold(x1, k1k2, Load(p));
    x2 = Fold(x2, k1k2, Load(p + 16));
    x3 = Fold(x3, k1k2, Load(p + 32));
    x4 = Fold(x4, k1k2, Load(p + 48));
  }
  x1 = Fold(x1, k3k4, x2);
  x1 = Fold(x1, k3k4, x3);
  x1 = Fold(x1, k3k4, x4);
  for (; n >= 16; n -= 16, p += 16) x1 = Fold(x1, k3k4, Load(p));

  // 128 bits to 64, then to 32, then Barrett reduction.
  __m128i t = _mm_clmulepi64_si128(x1, k3k4, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), t);
  t = _mm_and_si128(x1, mask32);
  x1 = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(x1, _mm_clmulepi64_si128(t, k5, 0x00));
  t = _mm_and_si128(x1, mask32);
  t = _mm_clmulepi64_si128(t, poly, 0x10);
  t = _mm_and_si128(t, mask32);
  t = _mm_clmulepi64_si128(t, poly, 0x00);
  x1 = _mm_xor_si128(x1, t);
  return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

}  // namespace

bool CrcHardwareAllowed() { return g_hardwareAllowed.load(std::memory_order_relaxed); }

}  // namespace zn::detail

void zn_crc32(const void* data, size_t len, unsigned int* crc) {
  if (data == nullptr || crc == nullptr || len == 0) return;
  const auto* p = static_cast<const unsigned char*>(data);
  uint32_t value = *crc;
  if (len >= zn::detail::kFoldMinimum && zn::detail::CrcHardwareAllowed() && zn::detail::HasPclmul()) {
    const std::size_t folded = len & ~static_cast<std::size_t>(15);
    value = zn::detail::FoldCrc32(value, p, len);
    p += folded;
    len -= folded;
  }
  *crc = zn::detail::CrcByTable(zn::detail::kCrc32, value, p, len);
}

void Znc::crc32(const void* data, int len, unsigned int* crc) {
  if (len > 0) zn_crc32(data, static_cast<size_t>(len), crc);
}

void zn::testing::SetChecksumHardware(bool allowed) {
  zn::detail::g_hardwareAllowed.store(allowed, std::memory_order_relaxed);
}
