// AES-256 through the library against its peers, on 64 MiB:
// - CBC encryption and decryption, and ECB encryption, against Botan's own
//   CBC and ECB called directly (the engine's library, without our per-block
//   calls);
// - the same CBC figures of `openssl speed -evp aes-256-cbc`, run by this
//   program after the benchmarks;
// - random bytes from Znc::getRand against getrandom(2), 1 MiB a call.
#include <benchmark/benchmark.h>
#include <sys/random.h>

#include <botan/block_cipher.h>
#include <botan/cipher_mode.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_aes.h"

namespace {

constexpr int kBytes = 64 << 20;
constexpr int kRandomPiece = 1 << 20;

std::vector<unsigned char> Data(int n) {
  std::vector<unsigned char> d(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) d[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i * 131 + (i >> 9));
  return d;
}

const std::vector<uint8_t> kKey(32, 0x42);
const std::vector<uint8_t> kIV(16, 0x24);

void BM_AES256_CBC_Encrypt_ZncAES(benchmark::State& state) {
  ZncAES aes;
  aes.setKey(kKey.data(), 32);
  aes.setIV(kIV.data(), 16);
  std::vector<unsigned char> data = Data(kBytes);
  for (auto _ : state) {
    aes.encCBC(data.data(), data.data(), kBytes);
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_AES256_CBC_Encrypt_Botan(benchmark::State& state) {
  auto cbc = Botan::Cipher_Mode::create_or_throw("AES-256/CBC/NoPadding", Botan::ENCRYPTION);
  cbc->set_key(kKey);
  cbc->start(kIV);
  std::vector<unsigned char> data = Data(kBytes);
  for (auto _ : state) {
    cbc->process(data.data(), data.size());
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_AES256_CBC_Decrypt_ZncAES(benchmark::State& state) {
  ZncAES aes;
  aes.setKey(kKey.data(), 32);
  aes.setIV(kIV.data(), 16);
  std::vector<unsigned char> data = Data(kBytes);
  for (auto _ : state) {
    aes.decCBC(data.data(), data.data(), kBytes);
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_AES256_CBC_Decrypt_Botan(benchmark::State& state) {
  auto cbc = Botan::Cipher_Mode::create_or_throw("AES-256/CBC/NoPadding", Botan::DECRYPTION);
  cbc->set_key(kKey);
  cbc->start(kIV);
  std::vector<unsigned char> data = Data(kBytes);
  for (auto _ : state) {
    cbc->process(data.data(), data.size());
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_AES256_ECB_Encrypt_ZncAES(benchmark::State& state) {
  ZncAES aes;
  aes.setKey(kKey.data(), 32);
  std::vector<unsigned char> data = Data(kBytes);
  for (auto _ : state) {
    aes.encECB(data.data(), data.data(), kBytes);
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_AES256_ECB_Encrypt_Botan(benchmark::State& state) {
  auto aes = Botan::BlockCipher::create_or_throw("AES-256");
  aes->set_key(kKey);
  std::vector<unsigned char> data = Data(kBytes);
  for (auto _ : state) {
    aes->encrypt_n(data.data(), data.data(), kBytes / 16);
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_Random_ZncGetRand(benchmark::State& state) {
  std::vector<unsigned char> out(kRandomPiece);
  for (auto _ : state) {
    Znc::getRand(out.data(), kRandomPiece);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * kRandomPiece);
}

void BM_Random_getrandom(benchmark::State& state) {
  std::vector<unsigned char> out(kRandomPiece);
  for (auto _ : state) {
    for (std::size_t done = 0; done < out.size();) {
      const ssize_t n = ::getrandom(out.data() + done, out.size() - done, 0);
      if (n > 0) done += static_cast<std::size_t>(n);
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * kRandomPiece);
}

BENCHMARK(BM_AES256_CBC_Encrypt_ZncAES)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AES256_CBC_Encrypt_Botan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AES256_CBC_Decrypt_ZncAES)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AES256_CBC_Decrypt_Botan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AES256_ECB_Encrypt_ZncAES)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AES256_ECB_Encrypt_Botan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Random_ZncGetRand)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Random_getrandom)->Unit(benchmark::kMicrosecond);

// openssl speed's figure for 16 KiB blocks, in bytes per second; 0 when it
// cannot be run.
double OpensslSpeed(bool decrypt) {
  const std::string command = std::string("openssl speed -evp aes-256-cbc -bytes 16384 -seconds 2 ") +
                              (decrypt ? "-decrypt " : "") + "2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return 0;
  char line[512];
  double rate = 0;
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    // The result line: "AES-256-CBC   123456.78k"
    if (std::strncmp(line, "AES-256-CBC", 11) == 0 || std::strncmp(line, "aes-256-cbc", 11) == 0) {
      const char* number = line + 11;
      rate = std::strtod(number, nullptr) * 1000.0;
    }
  }
  ::pclose(pipe);
  return rate;
}

}  // namespace

int main(int argc, char** argv) {
  const int status = zn::bench::RunWithRatios(
      argc, argv,
      {{"AES-256 CBC encrypt, ZncAES vs Botan CBC", "BM_AES256_CBC_Encrypt_ZncAES", "BM_AES256_CBC_Encrypt_Botan",
        "bytes_per_second"},
       {"AES-256 CBC decrypt, ZncAES vs Botan CBC", "BM_AES256_CBC_Decrypt_ZncAES", "BM_AES256_CBC_Decrypt_Botan",
        "bytes_per_second"},
       {"AES-256 ECB encrypt, ZncAES vs Botan encrypt_n", "BM_AES256_ECB_Encrypt_ZncAES",
        "BM_AES256_ECB_Encrypt_Botan", "bytes_per_second"},
       {"random bytes, Znc::getRand vs getrandom(2)", "BM_Random_ZncGetRand", "BM_Random_getrandom",
        "bytes_per_second"}});
  std::cout.flush();
  const double enc = OpensslSpeed(false);
  const double dec = OpensslSpeed(true);
  std::printf("\nopenssl speed -evp aes-256-cbc (16 KiB blocks): encrypt %.0f/s, decrypt %.0f/s\n", enc, dec);
  std::printf("(compare with the ZncAES rows above)\n");
  std::fflush(stdout);
  return status;
}
