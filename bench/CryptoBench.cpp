// AES-256 through the library against its peers, on 64 MiB:
// - CBC encryption and decryption, and ECB encryption, against Botan's own
//   CBC and ECB called directly (the engine's library, without our per-block
//   calls);
// - the same CBC figures of `openssl speed -evp aes-256-cbc`, run by this
//   program after the benchmarks;
// - random bytes from Znc::getRand against getrandom(2), 1 MiB a call;
// - SHA-256 and HMAC-SHA256 of 64 MiB against Botan's own, and the time of
//   `openssl dgst` over the same bytes in a file, run after the benchmarks;
// - CBC encryption and decryption of 8 MiB with Blowfish, 3DES, GOST,
//   Serpent and Twofish against Botan's own CBC.
#include <benchmark/benchmark.h>
#include <strings.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <unistd.h>

#include <botan/block_cipher.h>
#include <botan/cipher_mode.h>
#include <botan/hash.h>
#include <botan/mac.h>

#include <chrono>
#include <fstream>
#include <functional>

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
#include "zn/crypto/znc_blowfish.h"
#include "zn/crypto/znc_des.h"
#include "zn/crypto/znc_gost.h"
#include "zn/crypto/znc_serpent.h"
#include "zn/crypto/znc_sha256.h"
#include "zn/crypto/znc_twofish.h"

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

// ---- Digests ----

const std::vector<unsigned char>& DigestInput() {
  static const std::vector<unsigned char> data = Data(kBytes);
  return data;
}

const std::vector<uint8_t> kMacKey(32, 0x5c);

void BM_SHA256_Znc(benchmark::State& state) {
  const auto& data = DigestInput();
  for (auto _ : state) {
    ZncBucket digest = Znc::sha256(data.data(), kBytes);
    benchmark::DoNotOptimize(digest.getData());
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_SHA256_Botan(benchmark::State& state) {
  const auto& data = DigestInput();
  auto hash = Botan::HashFunction::create_or_throw("SHA-256");
  for (auto _ : state) {
    hash->update(data.data(), data.size());
    auto digest = hash->final();
    benchmark::DoNotOptimize(digest.data());
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_HMAC_SHA256_Znc(benchmark::State& state) {
  const auto& data = DigestInput();
  ZncSHA256 mac;
  mac.setKey(kMacKey.data(), static_cast<int>(kMacKey.size()));
  for (auto _ : state) {
    mac.addData(data.data(), kBytes);
    ZncBucket digest = mac.finish();
    mac.reset();
    benchmark::DoNotOptimize(digest.getData());
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_HMAC_SHA256_Botan(benchmark::State& state) {
  const auto& data = DigestInput();
  auto mac = Botan::MessageAuthenticationCode::create_or_throw("HMAC(SHA-256)");
  mac->set_key(kMacKey);
  for (auto _ : state) {
    mac->update(data.data(), data.size());
    auto digest = mac->final();
    benchmark::DoNotOptimize(digest.data());
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}

// ---- The other block ciphers in CBC ----

constexpr int kCipherBytes = 8 << 20;

struct CipherCase {
  std::function<std::unique_ptr<ZncBlockCipher>()> make;
  const char* botanName;
  int keyLength;
  int blockSize;
};

const CipherCase kBlowfish{[] { return std::make_unique<ZncBlowfish>(); }, "Blowfish", 16, 8};
const CipherCase k3DES{[] { return std::make_unique<Znc3DES>(); }, "TripleDES", 24, 8};
const CipherCase kGOST{[] { return std::make_unique<ZncGOST>(); }, "GOST-28147-89(R3411_94_TestParam)", 32, 8};
const CipherCase kSerpent{[] { return std::make_unique<ZncSerpent>(); }, "Serpent", 32, 16};
const CipherCase kTwofish{[] { return std::make_unique<ZncTwofish>(); }, "Twofish", 32, 16};

void CbcZnc(benchmark::State& state, const CipherCase& c, bool decrypt) {
  auto cipher = c.make();
  const std::vector<uint8_t> key(static_cast<std::size_t>(c.keyLength), 0x42);
  cipher->setKey(key.data(), c.keyLength);
  cipher->setIV(std::vector<unsigned char>(static_cast<std::size_t>(c.blockSize), 0x24).data(), c.blockSize);
  std::vector<unsigned char> data = Data(kCipherBytes);
  for (auto _ : state) {
    if (decrypt) {
      cipher->decCBC(data.data(), data.data(), kCipherBytes);
    } else {
      cipher->encCBC(data.data(), data.data(), kCipherBytes);
    }
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(state.iterations() * kCipherBytes);
}

void CbcBotan(benchmark::State& state, const CipherCase& c, bool decrypt) {
  auto cbc = Botan::Cipher_Mode::create_or_throw(std::string(c.botanName) + "/CBC/NoPadding",
                                                 decrypt ? Botan::DECRYPTION : Botan::ENCRYPTION);
  cbc->set_key(std::vector<uint8_t>(static_cast<std::size_t>(c.keyLength), 0x42));
  cbc->start(std::vector<uint8_t>(static_cast<std::size_t>(c.blockSize), 0x24));
  std::vector<unsigned char> data = Data(kCipherBytes);
  for (auto _ : state) {
    cbc->process(data.data(), data.size());
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(state.iterations() * kCipherBytes);
}

void BM_CBC_Encrypt_Znc(benchmark::State& state, const CipherCase* c) { CbcZnc(state, *c, false); }
void BM_CBC_Encrypt_Botan(benchmark::State& state, const CipherCase* c) { CbcBotan(state, *c, false); }
void BM_CBC_Decrypt_Znc(benchmark::State& state, const CipherCase* c) { CbcZnc(state, *c, true); }
void BM_CBC_Decrypt_Botan(benchmark::State& state, const CipherCase* c) { CbcBotan(state, *c, true); }

#define ZN_CIPHER_BENCHMARKS(name, c)                                                              \
  BENCHMARK_CAPTURE(BM_CBC_Encrypt_Znc, name, &c)->Unit(benchmark::kMillisecond);                  \
  BENCHMARK_CAPTURE(BM_CBC_Encrypt_Botan, name, &c)->Unit(benchmark::kMillisecond);                \
  BENCHMARK_CAPTURE(BM_CBC_Decrypt_Znc, name, &c)->Unit(benchmark::kMillisecond);                  \
  BENCHMARK_CAPTURE(BM_CBC_Decrypt_Botan, name, &c)->Unit(benchmark::kMillisecond);
ZN_CIPHER_BENCHMARKS(Blowfish, kBlowfish)
ZN_CIPHER_BENCHMARKS(3DES, k3DES)
ZN_CIPHER_BENCHMARKS(GOST, kGOST)
ZN_CIPHER_BENCHMARKS(Serpent, kSerpent)
ZN_CIPHER_BENCHMARKS(Twofish, kTwofish)

BENCHMARK(BM_SHA256_Znc)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SHA256_Botan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HMAC_SHA256_Znc)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HMAC_SHA256_Botan)->Unit(benchmark::kMillisecond);
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

// Bytes per second of `openssl dgst <args>` over the digest input in a
// file, by the CPU time the command used (as Google Benchmark's rates and
// `openssl speed` count it; start-up included), best of three; 0 when it
// cannot run.
double OpensslDgst(const std::string& args) {
  char path[] = "/tmp/zn-bench-dgst-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0) return 0;
  const auto& data = DigestInput();
  const bool written = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
  ::close(fd);
  auto childSeconds = [] {
    struct rusage usage {};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  };
  double best = 0;
  for (int run = 0; written && run < 3; ++run) {
    const double before = childSeconds();
    const int status = std::system(("openssl dgst " + args + " " + path + " >/dev/null 2>&1").c_str());
    const double seconds = childSeconds() - before;
    if (status == 0 && seconds > 0) best = std::max(best, static_cast<double>(data.size()) / seconds);
  }
  ::unlink(path);
  return best;
}

// `openssl speed <args> -bytes 16384` in bytes per second (CPU time); 0
// when it cannot run.
double OpensslSpeedOf(const std::string& args, const char* label) {
  const std::string command = "openssl speed " + args + " -bytes 16384 -seconds 2 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return 0;
  char line[512];
  double rate = 0;
  const std::size_t n = std::strlen(label);
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    if (strncasecmp(line, label, n) == 0) rate = std::strtod(line + n, nullptr) * 1000.0;
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
        "bytes_per_second"},
       {"SHA-256 64 MiB, Znc::sha256 vs Botan", "BM_SHA256_Znc", "BM_SHA256_Botan", "bytes_per_second"},
       {"HMAC-SHA256 64 MiB, ZncSHA256 vs Botan HMAC", "BM_HMAC_SHA256_Znc", "BM_HMAC_SHA256_Botan",
        "bytes_per_second"},
       {"Blowfish CBC encrypt vs Botan", "BM_CBC_Encrypt_Znc/Blowfish", "BM_CBC_Encrypt_Botan/Blowfish",
        "bytes_per_second"},
       {"Blowfish CBC decrypt vs Botan", "BM_CBC_Decrypt_Znc/Blowfish", "BM_CBC_Decrypt_Botan/Blowfish",
        "bytes_per_second"},
       {"3DES CBC encrypt vs Botan", "BM_CBC_Encrypt_Znc/3DES", "BM_CBC_Encrypt_Botan/3DES", "bytes_per_second"},
       {"3DES CBC decrypt vs Botan", "BM_CBC_Decrypt_Znc/3DES", "BM_CBC_Decrypt_Botan/3DES", "bytes_per_second"},
       {"GOST CBC encrypt vs Botan", "BM_CBC_Encrypt_Znc/GOST", "BM_CBC_Encrypt_Botan/GOST", "bytes_per_second"},
       {"GOST CBC decrypt vs Botan", "BM_CBC_Decrypt_Znc/GOST", "BM_CBC_Decrypt_Botan/GOST", "bytes_per_second"},
       {"Serpent CBC encrypt vs Botan", "BM_CBC_Encrypt_Znc/Serpent", "BM_CBC_Encrypt_Botan/Serpent",
        "bytes_per_second"},
       {"Serpent CBC decrypt vs Botan", "BM_CBC_Decrypt_Znc/Serpent", "BM_CBC_Decrypt_Botan/Serpent",
        "bytes_per_second"},
       {"Twofish CBC encrypt vs Botan", "BM_CBC_Encrypt_Znc/Twofish", "BM_CBC_Encrypt_Botan/Twofish",
        "bytes_per_second"},
       {"Twofish CBC decrypt vs Botan", "BM_CBC_Decrypt_Znc/Twofish", "BM_CBC_Decrypt_Botan/Twofish",
        "bytes_per_second"}});
  std::cout.flush();
  const double enc = OpensslSpeed(false);
  const double dec = OpensslSpeed(true);
  std::printf("\nopenssl speed -evp aes-256-cbc (16 KiB blocks): encrypt %.0f/s, decrypt %.0f/s\n", enc, dec);
  std::printf("(compare with the ZncAES rows above)\n");
  const double sha = OpensslDgst("-sha256");
  const double hmac = OpensslDgst("-sha256 -hmac 0123456789abcdef0123456789abcdef");
  std::printf("openssl dgst over 64 MiB in a file (CPU time, start-up included, best of 3): sha256 %.0f/s, "
              "hmac-sha256 %.0f/s\n",
              sha, hmac);
  std::printf("openssl speed (16 KiB blocks): sha256 %.0f/s, hmac(sha256) %.0f/s\n",
              OpensslSpeedOf("-evp sha256", "sha256"), OpensslSpeedOf("-hmac sha256", "hmac(sha256)"));
  std::printf("(compare with the SHA256 and HMAC_SHA256 rows above)\n");
  std::fflush(stdout);
  return status;
}
