// SHA-256 compression (FIPS 180-4, section 6.2.2): a portable version and
// one on the x86 SHA extensions, the latter following the layout Intel
// describes for SHA256RNDS2 (the state split as ABEF and CDGH).
#include "zncl/internal/Sha256Block.h"

#include <string.h>

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define ZNCL_SHA256_X86 1
#endif

namespace zncl::detail {
namespace {

alignas(16) constexpr uint32_t kK[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

inline uint32_t LoadBe(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

inline void StoreBe(uint32_t v, uint8_t* p) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

void CompressPortable(uint32_t state[8], const uint8_t* data, std::size_t blocks) {
  uint32_t w[64];
  for (; blocks > 0; --blocks, data += kSha256Block) {
    for (int t = 0; t < 16; ++t) w[t] = LoadBe(data + 4 * t);
    for (int t = 16; t < 64; ++t) {
      const uint32_t s0 = Rotr(w[t - 15], 7) ^ Rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
      const uint32_t s1 = Rotr(w[t - 2], 17) ^ Rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
      w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int t = 0; t < 64; ++t) {
      const uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kK[t] + w[t];
      const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
  // The schedule is derived from the message, which may be key material.
  ::explicit_bzero(w, sizeof w);
}

#ifdef ZNCL_SHA256_X86

bool DetectShaNi() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
  const bool ssse3 = (c & bit_SSSE3) != 0;
  const bool sse41 = (c & bit_SSE4_1) != 0;
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return false;
  const bool sha = (b & bit_SHA) != 0;
  return ssse3 && sse41 && sha;
}

// Four rounds a step: SHA256RNDS2 does two, on the low then (after the
// shuffle) the high half of W + K. The schedule lives in four registers,
// each extended by SHA256MSG1/MSG2 three steps before it is used.
__attribute__((target("sha,ssse3,sse4.1"))) void CompressShaNi(uint32_t state[8], const uint8_t* data,
                                                                 std::size_t blocks) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));         // DCBA
  __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));  // HGFE
  tmp = _mm_shuffle_epi32(tmp, 0xB1);                                              // CDAB
  state1 = _mm_shuffle_epi32(state1, 0x1B);                                        // EFGH
  __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);                                // ABEF
  state1 = _mm_blend_epi16(state1, tmp, 0xF0);                                     // CDGH

  for (; blocks > 0; --blocks, data += kSha256Block) {
    const __m128i abefSaved = state0;
    const __m128i cdghSaved = state1;
    __m128i m[4];
#pragma GCC unroll 16
    for (int step = 0; step < 16; ++step) {
      __m128i& current = m[step & 3];
      if (step < 4) {
        current = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * step)), byteSwap);
      }
      __m128i wk = _mm_add_epi32(current, _mm_load_si128(reinterpret_cast<const __m128i*>(kK + 4 * step)));
      state1 = _mm_sha256rnds2_epu32(state1, state0, wk);
      if (step >= 3 && step < 15) {
        __m128i& next = m[(step + 1) & 3];
        next = _mm_add_epi32(next, _mm_alignr_epi8(current, m[(step + 3) & 3], 4));
        next = _mm_sha256msg2_epu32(next, current);
      }
      wk = _mm_shuffle_epi32(wk, 0x0E);
      state0 = _mm_sha256rnds2_epu32(state0, state1, wk);
      if (step >= 1 && step < 13) {
        __m128i& previous = m[(step + 3) & 3];
        previous = _mm_sha256msg1_epu32(previous, current);
      }
    }
    state0 = _mm_add_epi32(state0, abefSaved);
    state1 = _mm_add_epi32(state1, cdghSaved);
  }

  tmp = _mm_shuffle_epi32(state0, 0x1B);        // FEBA
  state1 = _mm_shuffle_epi32(state1, 0xB1);     // DCHG
  state0 = _mm_blend_epi16(tmp, state1, 0xF0);  // DCBA
  state1 = _mm_alignr_epi8(state1, tmp, 8);     // HGFE
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), state0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), state1);
}

#endif  // ZNCL_SHA256_X86

}  // namespace

bool HasShaNi() {
#ifdef ZNCL_SHA256_X86
  static const bool has = DetectShaNi();
  return has;
#else
  return false;
#endif
}

Sha256Path BestSha256Path() { return HasShaNi() ? Sha256Path::kShaNi : Sha256Path::kPortable; }

void Sha256Compress(Sha256Path path, uint32_t state[8], const uint8_t* data, std::size_t blocks) {
#ifdef ZNCL_SHA256_X86
  if (path == Sha256Path::kShaNi) {
    CompressShaNi(state, data, blocks);
    return;
  }
#endif
  CompressPortable(state, data, blocks);
}

void Sha256Finish(Sha256Path path, uint32_t state[8], uint64_t prefixBytes, const uint8_t* data,
                  std::size_t length, uint8_t out[kSha256Digest]) {
  const std::size_t whole = length / kSha256Block;
  if (whole > 0) Sha256Compress(path, state, data, whole);
  const std::size_t rest = length - whole * kSha256Block;
  // The tail, 0x80, zeros and the length in bits: one block, or two when
  // the length does not fit after the tail.
  uint8_t tail[2 * kSha256Block] = {};
  if (rest > 0) std::memcpy(tail, data + whole * kSha256Block, rest);
  tail[rest] = 0x80;
  const std::size_t tailBlocks = rest + 1 + 8 > kSha256Block ? 2 : 1;
  const uint64_t bits = (prefixBytes + length) * 8;
  StoreBe(static_cast<uint32_t>(bits >> 32), tail + tailBlocks * kSha256Block - 8);
  StoreBe(static_cast<uint32_t>(bits), tail + tailBlocks * kSha256Block - 4);
  Sha256Compress(path, state, tail, tailBlocks);
  for (int i = 0; i < 8; ++i) StoreBe(state[i], out + 4 * i);
  ::explicit_bzero(tail, sizeof tail);
}

}  // namespace zncl::detail
