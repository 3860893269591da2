// Key handling against its peers:
// - RSA-2048 private-key operations (PKCS #1 v1.5 signing over SHA-256,
//   and decryption of one block) and verification through ZncRSA, against
//   `openssl speed rsa2048`, run by this program after the benchmarks;
// - wrapping a 32-byte key (Znc::wrapKey, method 1: the key and 8 random
//   bytes under AES key wrap) against Botan's RFC 3394 wrap of the same
//   40 bytes, and unwrapping;
// - scrambling and descrambling a 32-byte key (Znc::scrambleToBin).
#include <benchmark/benchmark.h>

#include <botan/rfc3394.h>
#include <botan/symkey.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>

#include "RatioReporter.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_rsa.h"

namespace {

struct Rsa2048 {
  ZncRSA rsa;
  ZncBucket message = Znc::getRand(64);
  ZncBucket signature;
  ZncBucket cipherText;
  Rsa2048() {
    rsa.genKeyPair(2048);
    signature = rsa.sign(message);
    cipherText = rsa.encrypt(Znc::getRand(32));
  }
};

Rsa2048& Rsa() {
  static Rsa2048 rsa;
  return rsa;
}

// Operations per second of our benchmarks, for the ratio to openssl.
std::map<std::string, double>& Rates() {
  static std::map<std::string, double> rates;
  return rates;
}

template <class Body>
void Timed(benchmark::State& state, const char* name, Body body) {
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) body();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  state.counters["ops_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  if (seconds > 0) Rates()[name] = static_cast<double>(state.iterations()) / seconds;
}

void BM_RSA2048_Sign_ZncRSA(benchmark::State& state) {
  Rsa2048& r = Rsa();
  ZncBucket sig(256);
  Timed(state, "sign", [&] {
    r.rsa.sign(r.message.getData(), r.message.getSize(), sig.getData(), sig.getSize());
    benchmark::DoNotOptimize(sig.getData());
  });
}

void BM_RSA2048_Decrypt_ZncRSA(benchmark::State& state) {
  Rsa2048& r = Rsa();
  ZncBucket out(256);
  Timed(state, "decrypt", [&] {
    benchmark::DoNotOptimize(r.rsa.decrypt(r.cipherText.getData(), out.getData(), r.cipherText.getSize()));
  });
}

void BM_RSA2048_Verify_ZncRSA(benchmark::State& state) {
  Rsa2048& r = Rsa();
  Timed(state, "verify", [&] {
    if (!r.rsa.verify(r.message.getData(), r.message.getSize(), r.signature.getData(), r.signature.getSize())) {
      state.SkipWithError("signature refused");
    }
  });
}

void BM_KeyWrap32_Znc(benchmark::State& state) {
  const ZncBucket key = Znc::getRand(32);
  for (auto _ : state) benchmark::DoNotOptimize(Znc::wrapKey(key, false));
  state.counters["keys_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_KeyWrap32_BotanRfc3394(benchmark::State& state) {
  const ZncBucket salted = Znc::getRand(40);
  const Botan::SymmetricKey kek(std::vector<uint8_t>(16, 0x5c));
  const Botan::secure_vector<uint8_t> plain(salted.getData(), salted.getData() + 40);
  for (auto _ : state) benchmark::DoNotOptimize(Botan::rfc3394_keywrap(plain, kek));
  state.counters["keys_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_KeyUnwrap32_Znc(benchmark::State& state) {
  const ZncBucket blob = Znc::wrapKey(Znc::getRand(32), false);
  for (auto _ : state) benchmark::DoNotOptimize(Znc::unWrapKey(blob));
  state.counters["keys_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Scramble32_Znc(benchmark::State& state) {
  const ZncBucket key = Znc::getRand(32);
  for (auto _ : state) benchmark::DoNotOptimize(Znc::scrambleToBin(key));
  state.counters["keys_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Descramble32_Znc(benchmark::State& state) {
  const ZncBucket blob = Znc::scrambleToBin(Znc::getRand(32));
  for (auto _ : state) benchmark::DoNotOptimize(Znc::descrambleFromBin(blob));
  state.counters["keys_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_RSA2048_Sign_ZncRSA)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RSA2048_Decrypt_ZncRSA)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RSA2048_Verify_ZncRSA)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KeyWrap32_Znc)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KeyWrap32_BotanRfc3394)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KeyUnwrap32_Znc)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Scramble32_Znc)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Descramble32_Znc)->Unit(benchmark::kMicrosecond);

// `openssl speed rsa2048`: sign/s and verify/s from its summary line
// ("rsa 2048 bits 0.000612s 0.000018s   1634.0  55124.3"); false when it
// cannot be run.
bool OpensslRsaSpeed(double* sign, double* verify) {
  FILE* pipe = ::popen("timeout 120 openssl speed -seconds 3 rsa2048 2>/dev/null", "r");
  if (pipe == nullptr) return false;
  char line[512];
  bool found = false;
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    double signTime = 0;
    double verifyTime = 0;
    if (std::sscanf(line, "rsa 2048 bits %lfs %lfs %lf %lf", &signTime, &verifyTime, sign, verify) == 4) found = true;
  }
  ::pclose(pipe);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  const int status = zn::bench::RunWithRatios(
      argc, argv,
      {{"32-byte key wrap, Znc::wrapKey vs Botan rfc3394_keywrap", "BM_KeyWrap32_Znc", "BM_KeyWrap32_BotanRfc3394",
        "keys_per_second"}});
  std::cout.flush();
  // Only worth the openssl run when an RSA benchmark was selected.
  if (Rates().empty()) return status;
  double sign = 0;
  double verify = 0;
  if (!OpensslRsaSpeed(&sign, &verify)) {
    std::printf("openssl speed rsa2048: not available\n");
    return status;
  }
  std::printf("\nRSA-2048 against openssl speed rsa2048 (operations per second):\n");
  const auto line = [](const char* what, double ours, double peer) {
    if (ours <= 0) return;
    std::printf("  %-28s ZncRSA %10.1f   openssl %10.1f   ratio %.2f (openssl is %.2fx faster)\n", what, ours, peer,
                peer > 0 ? ours / peer : 0.0, ours > 0 ? peer / ours : 0.0);
  };
  line("private key op (sign)", Rates()["sign"], sign);
  line("private key op (decrypt)", Rates()["decrypt"], sign);
  line("verify", Rates()["verify"], verify);
  return status;
}
