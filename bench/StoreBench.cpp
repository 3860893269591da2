// The configuration store against raw SQLite on the same database:
// - ZNPlatformInfo::getNumber of an unchanged value (answered from the
//   store's cache) against one prepared SELECT of the value, and the
//   store access layer's readValue alone against the same SELECT;
// - ZNPlatformInfo::setNumber against one prepared upsert of the value.
// - a component getter that reads the store on every call
//   (ZNPI_Session::getRetryCount with refresh: read, bound, default) against
//   a bare ZNPlatformInfo::getNumber of the same value.
// Both sides read and write the same key and value in the same file.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "RatioReporter.h"
#include "zn/config/ZNPI_Session.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zn/store/ConfigStore.h"

namespace {

constexpr const char* kKey = "SOFTWARE\\Tessaly Systems\\Orvane\\Instance001\\Bench";

const std::string& Folder() {
  static const std::string folder = [] {
    std::string pattern = "/tmp/zn_bench_store.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    ::setenv("ZN_CONFIG_STORE", (pattern + "/config.db").c_str(), 1);
    ::setenv("ZN_FOCUS", "Instance001", 1);
    ZNPlatformInfo().setNumber("Bench", "nValue", 42);
    ZNPlatformInfo().setNumber("Session", "nRetryCount", 12);
    return pattern;
  }();
  return folder;
}

// A raw connection to the same store, set up as the store sets up its own.
sqlite3* RawDb() {
  static sqlite3* db = [] {
    sqlite3* opened = nullptr;
    sqlite3_open_v2((Folder() + "/config.db").c_str(), &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite3_busy_timeout(opened, 10000);
    sqlite3_exec(opened, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    return opened;
  }();
  return db;
}

void BM_Read_getNumber(benchmark::State& state) {
  Folder();
  ZNPlatformInfo store;
  unsigned long value = 0;
  for (auto _ : state) {
    store.getNumber("Bench", "nValue", &value);
    benchmark::DoNotOptimize(value);
  }
  if (value != 42) state.SkipWithError("wrong value read");
}

// The store access layer alone, under ZNPlatformInfo's key expansion.
void BM_Read_storeReadValue(benchmark::State& state) {
  Folder();
  zn::ConfigStore& store = zn::ConfigStore::ForThisThread();
  zn::StoreValue value;
  for (auto _ : state) {
    store.readValue(kKey, "nValue", value);
    benchmark::DoNotOptimize(value.data.data());
  }
  if (value.data.size() != 4) state.SkipWithError("wrong value read");
}

void BM_Read_rawSqlite(benchmark::State& state) {
  sqlite3* db = RawDb();
  sqlite3_stmt* read = nullptr;
  sqlite3_prepare_v3(db,
                     "SELECT v.data FROM keys k JOIN vals v ON v.key = k.id AND v.name = ?2 WHERE k.path = ?1", -1,
                     SQLITE_PREPARE_PERSISTENT, &read, nullptr);
  uint32_t value = 0;
  for (auto _ : state) {
    sqlite3_bind_text(read, 1, kKey, -1, SQLITE_STATIC);
    sqlite3_bind_text(read, 2, "nValue", -1, SQLITE_STATIC);
    if (sqlite3_step(read) == SQLITE_ROW) value = *static_cast<const uint32_t*>(sqlite3_column_blob(read, 0));
    sqlite3_reset(read);
    benchmark::DoNotOptimize(value);
  }
  sqlite3_finalize(read);
}

void BM_Write_setNumber(benchmark::State& state) {
  Folder();
  ZNPlatformInfo store;
  unsigned long value = 0;
  for (auto _ : state) store.setNumber("Bench", "nWritten", ++value);
}

void BM_Write_rawSqlite(benchmark::State& state) {
  sqlite3* db = RawDb();
  sqlite3_stmt* write = nullptr;
  sqlite3_prepare_v3(db,
                     "INSERT INTO vals(key, name, type, data) SELECT id, ?2, 4, ?3 FROM keys WHERE path = ?1 "
                     "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data",
                     -1, SQLITE_PREPARE_PERSISTENT, &write, nullptr);
  uint32_t value = 0;
  for (auto _ : state) {
    ++value;
    sqlite3_bind_text(write, 1, kKey, -1, SQLITE_STATIC);
    sqlite3_bind_text(write, 2, "nRawWritten", -1, SQLITE_STATIC);
    sqlite3_bind_blob(write, 3, &value, 4, SQLITE_STATIC);
    sqlite3_step(write);
    sqlite3_reset(write);
  }
  sqlite3_finalize(write);
}

// The component getter's store object lives as long as the component does,
// and the thread's store connection is set up once: only the read, its
// bounds and the default are measured.
void BM_Component_getRetryCount(benchmark::State& state) {
  Folder();
  ZNPI_Session session;
  unsigned long value = 0;
  for (auto _ : state) {
    value = session.getRetryCount(true);
    benchmark::DoNotOptimize(value);
  }
  if (value != 12) state.SkipWithError("wrong value read");
}

void BM_Component_bareGetNumber(benchmark::State& state) {
  Folder();
  ZNPlatformInfo store;
  unsigned long value = 0;
  for (auto _ : state) {
    store.getNumber("Session", "nRetryCount", &value);
    benchmark::DoNotOptimize(value);
  }
  if (value != 12) state.SkipWithError("wrong value read");
}

BENCHMARK(BM_Read_getNumber);
BENCHMARK(BM_Read_storeReadValue);
BENCHMARK(BM_Read_rawSqlite);
BENCHMARK(BM_Write_setNumber);
BENCHMARK(BM_Write_rawSqlite);
BENCHMARK(BM_Component_getRetryCount);
BENCHMARK(BM_Component_bareGetNumber);

}  // namespace

int main(int argc, char** argv) {
  const int rc = zn::bench::RunWithRatios(
      argc, argv,
      {
          {"read a number: getNumber vs raw prepared SELECT", "BM_Read_getNumber", "BM_Read_rawSqlite", ""},
          {"read a value: ConfigStore::readValue vs raw prepared SELECT", "BM_Read_storeReadValue", "BM_Read_rawSqlite",
           ""},
          {"write a number: setNumber vs raw prepared upsert", "BM_Write_setNumber", "BM_Write_rawSqlite", ""},
          {"component getter vs bare getNumber", "BM_Component_getRetryCount", "BM_Component_bareGetNumber", ""},
      });
  sqlite3_close(RawDb());
  std::error_code ignored;
  std::filesystem::remove_all(Folder(), ignored);
  return rc;
}
