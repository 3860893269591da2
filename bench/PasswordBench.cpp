// Passwords against their peer and by their parts:
// - the '7' hash (PBKDF2 with HMAC-SHA-256, 1000 iterations, 32 bytes)
//   through ZNPassword::hashPassword, against Python's
//   hashlib.pbkdf2_hmac on the same password and salt, run by this
//   program after the benchmarks for about the same time;
// - decoding a '3' text (default pass phrase) and an '8' text (the
//   machine key, cached after the first call), and the steps one decode
//   is made of (SHA-256 of the key material, the AES key schedule, the
//   key unwrap, the hexadecimal text), to show what dominates.
// The '8' benchmarks work in a store of their own under /tmp.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "RatioReporter.h"
#include "zn/crypto/ZNPassword.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_aes.h"
#include "zn/crypto/znc_keywrap.h"
#include "znfocus/ZNPI_Focus.h"

namespace {

const std::string kPassword = "correct horse battery staple";
const std::string kSalt = "6d3f1b0a9c8e7d6c5b4a39281706f5e4d3c2b1a09f8e7d6c5b4a392817060504";

double g_hashesPerSecond = 0;

void BM_Hash7_ZNPassword(benchmark::State& state) {
  ZNPassword password;
  std::string out;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    if (password.hashPassword(kPassword, kSalt, &out) == 0) state.SkipWithError("hashPassword failed");
    benchmark::DoNotOptimize(out);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (seconds > 0) g_hashesPerSecond = static_cast<double>(state.iterations()) / seconds;
  state.counters["hashes_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Hash7_ZNPassword)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void DecodeLoop(benchmark::State& state, const secure_basic_string<char>& text) {
  ZNPassword password;
  secure_basic_string<char> plain;
  for (auto _ : state) {
    if (password.decrypt(text, plain) == 0) state.SkipWithError("decrypt failed");
    benchmark::DoNotOptimize(plain.data());
  }
}

void BM_Decode3(benchmark::State& state) {
  ZNPassword password;
  secure_basic_string<char> text;
  if (password.encryptStrong(secure_basic_string<char>(kPassword), text, nullptr) == 0) {
    state.SkipWithError("encryptStrong failed");
    return;
  }
  DecodeLoop(state, text);
}
BENCHMARK(BM_Decode3)->Unit(benchmark::kMicrosecond);

void BM_Decode8(benchmark::State& state) {
  ZNPassword password;
  secure_basic_string<char> text;
  if (password.encryptV8(secure_basic_string<char>(kPassword), text) == 0 || text.empty() || text[0] != '8') {
    state.SkipWithError("encryptV8 did not give an '8' text (no machine key here?)");
    return;
  }
  DecodeLoop(state, text);
}
BENCHMARK(BM_Decode8)->Unit(benchmark::kMicrosecond);

// ---- The steps of one decode ----

void BM_Step_Sha256OfPassPhrase(benchmark::State& state) {
  const char phrase[] = "{3f2504e0-4f89-11d3-9a0c-0305e82c3301}";
  for (auto _ : state) benchmark::DoNotOptimize(Znc::sha256(phrase, static_cast<int>(sizeof phrase - 1)));
}
BENCHMARK(BM_Step_Sha256OfPassPhrase)->Unit(benchmark::kMicrosecond);

void BM_Step_AesKeySchedule(benchmark::State& state) {
  const ZncBucket key = Znc::getRand(32);
  for (auto _ : state) {
    ZncAES aes;
    aes.setKey(key.getData(), key.getSize());
    benchmark::DoNotOptimize(aes);
  }
}
BENCHMARK(BM_Step_AesKeySchedule)->Unit(benchmark::kMicrosecond);

void BM_Step_Unwrap32(benchmark::State& state) {
  const ZncBucket key = Znc::getRand(32);
  ZncAES aes;
  aes.setKey(key.getData(), key.getSize());
  ZncKeyWrap wrapper(&aes);
  const ZncBucket wrapped = wrapper.wrap(ZncBucket(kPassword.data(), static_cast<int>(kPassword.size())));
  for (auto _ : state) benchmark::DoNotOptimize(wrapper.unWrap(wrapped));
}
BENCHMARK(BM_Step_Unwrap32)->Unit(benchmark::kMicrosecond);

void BM_Step_Hex2Bin(benchmark::State& state) {
  const std::string hex = Znc::bin2hex(Znc::getRand(40));
  for (auto _ : state) benchmark::DoNotOptimize(Znc::hex2bin(hex.c_str()));
}
BENCHMARK(BM_Step_Hex2Bin)->Unit(benchmark::kMicrosecond);

// Python's hashlib.pbkdf2_hmac over the same password, salt and count for
// about two seconds: hashes per second, or 0 when Python cannot be run.
double PythonHashesPerSecond() {
  const std::string script =
      "import hashlib,time\n"
      "p=b'" + kPassword + "';s=b'" + kSalt + "';n=0;t=time.perf_counter()\n"
      "while time.perf_counter()-t<2.0:\n"
      "  hashlib.pbkdf2_hmac('sha256',p,s,1000);n+=1\n"
      "print(n/(time.perf_counter()-t))\n";
  const std::string command = "timeout 60 python3 -c \"" + script + "\" 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return 0;
  double rate = 0;
  if (std::fscanf(pipe, "%lf", &rate) != 1) rate = 0;
  ::pclose(pipe);
  return rate;
}

// A store and an instance of its own, so the '8' benchmark makes its
// machine key there and never in the machine's store.
struct OwnStore {
  std::filesystem::path dir;
  OwnStore() {
    char pattern[] = "/tmp/zn-password-bench.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return;
    dir = pattern;
    ::setenv("ZN_CONFIG_STORE", (dir / "config.db").c_str(), 1);
    ::unsetenv("ZN_MACHINE_KEY");
    ZNPI_Focus::setFocus("Instance001");
  }
  ~OwnStore() {
    std::error_code ignored;
    if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
  }
};

}  // namespace

int main(int argc, char** argv) {
  const OwnStore store;
  const int status = zn::bench::RunWithRatios(argc, argv, {});
  std::cout.flush();
  if (g_hashesPerSecond <= 0) return status;
  const double peer = PythonHashesPerSecond();
  if (peer <= 0) {
    std::printf("python3 hashlib.pbkdf2_hmac: not available\n");
    return status;
  }
  std::printf("\n'7' hash (PBKDF2-HMAC-SHA-256, 1000 iterations) against hashlib.pbkdf2_hmac (hashes per second):\n");
  std::printf("  ZNPassword::hashPassword %10.1f   hashlib %10.1f   ratio %.2f\n", g_hashesPerSecond, peer,
              g_hashesPerSecond / peer);
  return status;
}
