// The checksums on 1 MiB buffers: CRC-32 against zlib's crc32 on the same
// bytes, with our processor path and with our tables; CRC-32C with SSE4.2
// (at least 8 GB/s expected) against our tables; the rolling checksum.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

#include "RatioReporter.h"
#include "zn/crypto/CryptoTesting.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_checksum.h"

namespace {

constexpr std::size_t kBytes = 1 << 20;

const std::vector<unsigned char>& Input() {
  static const std::vector<unsigned char> data = [] {
    std::vector<unsigned char> d(kBytes);
    uint32_t x = 2463534242u;
    for (auto& b : d) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      b = static_cast<unsigned char>(x);
    }
    return d;
  }();
  return data;
}

template <void (*Crc)(const void*, size_t, unsigned int*)>
void Ours(benchmark::State& state, bool hardware) {
  zn::testing::SetChecksumHardware(hardware);
  const auto& data = Input();
  for (auto _ : state) {
    unsigned int crc = 0xFFFFFFFFu;
    Crc(data.data(), data.size(), &crc);
    benchmark::DoNotOptimize(crc);
  }
  zn::testing::SetChecksumHardware(true);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

void BM_CRC32_Znc(benchmark::State& state) { Ours<&zn_crc32>(state, true); }
void BM_CRC32_ZncTables(benchmark::State& state) { Ours<&zn_crc32>(state, false); }
void BM_CRC32C_Znc(benchmark::State& state) { Ours<&zn_crc32c>(state, true); }
void BM_CRC32C_ZncTables(benchmark::State& state) { Ours<&zn_crc32c>(state, false); }

void BM_CRC32_zlib(benchmark::State& state) {
  const auto& data = Input();
  for (auto _ : state) {
    uLong crc = ::crc32(0L, data.data(), static_cast<uInt>(data.size()));
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

void BM_Rsync(benchmark::State& state) {
  const auto& data = Input();
  for (auto _ : state) {
    unsigned int sum = Znc::rsync(data.data(), static_cast<int>(data.size()));
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

// zlib's adler32 is the same kind of sum (with a prime modulus).
void BM_adler32_zlib(benchmark::State& state) {
  const auto& data = Input();
  for (auto _ : state) {
    uLong sum = ::adler32(1L, data.data(), static_cast<uInt>(data.size()));
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

BENCHMARK(BM_CRC32_Znc)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CRC32_ZncTables)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CRC32_zlib)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CRC32C_Znc)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CRC32C_ZncTables)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Rsync)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_adler32_zlib)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return zn::bench::RunWithRatios(
      argc, argv,
      {{"CRC-32 1 MiB, zn_crc32 (PCLMULQDQ) vs zlib crc32", "BM_CRC32_Znc", "BM_CRC32_zlib", "bytes_per_second"},
       {"CRC-32 1 MiB, zn_crc32 tables vs zlib crc32", "BM_CRC32_ZncTables", "BM_CRC32_zlib", "bytes_per_second"},
       {"CRC-32C 1 MiB, zn_crc32c (SSE4.2) vs its tables", "BM_CRC32C_Znc", "BM_CRC32C_ZncTables",
        "bytes_per_second"},
       {"rolling checksum 1 MiB, Znc::rsync vs zlib adler32", "BM_Rsync", "BM_adler32_zlib", "bytes_per_second"}});
}
