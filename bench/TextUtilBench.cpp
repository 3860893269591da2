// CGuidFactory::get_guid against libuuid's uuid_generate_random (both draw
// from the kernel per id), and ZnTime against localtime_r + strftime of the
// same layout.

#include <benchmark/benchmark.h>
#include <time.h>
#include <uuid/uuid.h>

#include <string>

#include "RatioReporter.h"
#include "zn/textutil/CGuidFactory.h"
#include "zn/textutil/ZnTime.h"

namespace {

void BM_Guid_CGuidFactory(benchmark::State& state) {
  CGuidFactory factory;
  unsigned long long n = 0;
  for (auto _ : state) benchmark::DoNotOptimize(factory.get_guid("node-7.example.com", 4242, ++n, ""));
}

void BM_Guid_uuid_generate_random(benchmark::State& state) {
  uuid_t id;
  char text[37];
  for (auto _ : state) {
    uuid_generate_random(id);
    uuid_unparse_upper(id, text);
    benchmark::DoNotOptimize(text);
  }
}

constexpr long long kStart = 1700000000;

void BM_Time_ZnTime(benchmark::State& state) {
  char buffer[21];
  long long t = kStart;
  for (auto _ : state) benchmark::DoNotOptimize(ZnTime(++t, buffer, 0, false));
}

void BM_Time_strftime(benchmark::State& state) {
  char buffer[21];
  time_t t = kStart;
  for (auto _ : state) {
    ++t;
    struct tm local {};
    localtime_r(&t, &local);
    strftime(buffer, sizeof(buffer), "%Y/%m/%d %H:%M:%S ", &local);
    benchmark::DoNotOptimize(buffer);
  }
}

void BM_Time_ZnTimeLocale(benchmark::State& state) {
  char buffer[21];
  long long t = kStart;
  for (auto _ : state) benchmark::DoNotOptimize(ZnTime(++t, buffer, 1031, true));
}

void BM_Time_strftimeLocale(benchmark::State& state) {
  char buffer[21];
  time_t t = kStart;
  for (auto _ : state) {
    ++t;
    struct tm local {};
    localtime_r(&t, &local);
    strftime(buffer, sizeof(buffer), "%d.%m.%Y %H:%M:%S ", &local);
    benchmark::DoNotOptimize(buffer);
  }
}

BENCHMARK(BM_Guid_CGuidFactory);
BENCHMARK(BM_Guid_uuid_generate_random);
BENCHMARK(BM_Time_ZnTime);
BENCHMARK(BM_Time_strftime);
BENCHMARK(BM_Time_ZnTimeLocale);
BENCHMARK(BM_Time_strftimeLocale);

}  // namespace

int main(int argc, char** argv) {
  return zn::bench::RunWithRatios(argc, argv,
                                  {{"get_guid vs uuid_generate_random", "BM_Guid_CGuidFactory",
                                    "BM_Guid_uuid_generate_random", ""},
                                   {"ZnTime (locale 0) vs strftime", "BM_Time_ZnTime", "BM_Time_strftime", ""},
                                   {"ZnTime (1031) vs strftime", "BM_Time_ZnTimeLocale", "BM_Time_strftimeLocale", ""}});
}
