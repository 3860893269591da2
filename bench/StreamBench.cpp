// Byte streams and reference counting against their plain peers:
// - a memory stream written then read back, 256 MiB in 4 KiB pieces,
//   against std::vector<char> appends and memcpy reads;
// - a file stream read sequentially, 256 MiB in 64 KiB pieces, against
//   read(2) on the same (cached) file; single-byte reads of 1 MiB against
//   getc(3);
// - an SPBase copy (count up and down) against a std::shared_ptr copy, on
//   1 and 4 threads sharing one object.
// The single-threaded measures use CPU time, which a shared machine
// disturbs far less than wall time; run with
// --benchmark_enable_random_interleaving=true for the same reason.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <time.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "zn/stream/ZnByteStream.h"
#include "zn/stream/ZnSP.h"

namespace {

constexpr long long kStreamBytes = 256LL << 20;
constexpr int kMemoryPiece = 4096;
constexpr int kFilePiece = 65536;
constexpr long long kByteFileBytes = 1LL << 20;

std::vector<char> Piece(int size) {
  std::vector<char> piece(static_cast<std::size_t>(size));
  for (int i = 0; i < size; ++i) piece[static_cast<std::size_t>(i)] = static_cast<char>(i * 31 + 7);
  return piece;
}

void BM_Memory_ZnMemoryByteStream(benchmark::State& state) {
  const std::vector<char> piece = Piece(kMemoryPiece);
  std::vector<char> out(kMemoryPiece);
  for (auto _ : state) {
    ZnMemoryByteStream stream;
    for (long long done = 0; done < kStreamBytes; done += kMemoryPiece) stream.write(piece.data(), kMemoryPiece);
    stream.seek(0, 0);
    for (long long done = 0; done < kStreamBytes; done += kMemoryPiece) {
      stream.read(out.data(), kMemoryPiece);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(state.iterations() * kStreamBytes * 2);
}

void BM_Memory_vector(benchmark::State& state) {
  const std::vector<char> piece = Piece(kMemoryPiece);
  std::vector<char> out(kMemoryPiece);
  for (auto _ : state) {
    std::vector<char> data;
    for (long long done = 0; done < kStreamBytes; done += kMemoryPiece) {
      data.insert(data.end(), piece.begin(), piece.end());
    }
    for (long long done = 0; done < kStreamBytes; done += kMemoryPiece) {
      std::memcpy(out.data(), data.data() + done, kMemoryPiece);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(state.iterations() * kStreamBytes * 2);
}

// One file of each size for the whole run, in the temporary folder, read
// once before timing so that both sides read from the page cache.
class BenchFile {
 public:
  explicit BenchFile(long long size) {
    const char* tmp = std::getenv("TMPDIR");
    m_path = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/zn_stream_bench.XXXXXX";
    const int fd = ::mkstemp(m_path.data());
    const std::vector<char> piece = Piece(kFilePiece);
    for (long long done = 0; done < size; done += kFilePiece) {
      if (::write(fd, piece.data(), kFilePiece) != kFilePiece) std::abort();
    }
    ::close(fd);
  }
  ~BenchFile() { ::unlink(m_path.c_str()); }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

const BenchFile& LargeFile() {
  static const BenchFile file(kStreamBytes);
  return file;
}

const BenchFile& ByteFile() {
  static const BenchFile file(kByteFileBytes);
  return file;
}

void BM_FileRead_ZnStdioByteStream(benchmark::State& state) {
  ZnStdioByteStream stream(LargeFile().path().c_str(), "r");
  std::vector<char> buffer(kFilePiece);
  for (auto _ : state) {
    stream.seek(0, 0);
    long long total = 0;
    int got;
    while ((got = stream.read(buffer.data(), kFilePiece)) > 0) total += got;
    if (total != kStreamBytes) state.SkipWithError("short read");
  }
  state.SetBytesProcessed(state.iterations() * kStreamBytes);
}

void BM_FileRead_read(benchmark::State& state) {
  const int fd = ::open(LargeFile().path().c_str(), O_RDONLY | O_CLOEXEC);
  std::vector<char> buffer(kFilePiece);
  for (auto _ : state) {
    ::lseek(fd, 0, SEEK_SET);
    long long total = 0;
    ssize_t got;
    while ((got = ::read(fd, buffer.data(), kFilePiece)) > 0) total += got;
    if (total != kStreamBytes) state.SkipWithError("short read");
  }
  ::close(fd);
  state.SetBytesProcessed(state.iterations() * kStreamBytes);
}

double ThreadCpuSeconds() {
  struct timespec now;
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The two sides of the sequential read alternated inside each iteration,
// so that a busy machine slows both alike: the counter is our throughput
// over read(2)'s, from the CPU time of each side.
void BM_FileRead_Paired(benchmark::State& state) {
  ZnStdioByteStream stream(LargeFile().path().c_str(), "r");
  const int fd = ::open(LargeFile().path().c_str(), O_RDONLY | O_CLOEXEC);
  std::vector<char> buffer(kFilePiece);
  double ours = 0;
  double peer = 0;
  for (auto _ : state) {
    const double start = ThreadCpuSeconds();
    stream.seek(0, 0);
    while (stream.read(buffer.data(), kFilePiece) > 0) {
    }
    const double middle = ThreadCpuSeconds();
    ::lseek(fd, 0, SEEK_SET);
    while (::read(fd, buffer.data(), kFilePiece) > 0) {
    }
    const double end = ThreadCpuSeconds();
    ours += middle - start;
    peer += end - middle;
  }
  ::close(fd);
  state.counters["throughput_ratio"] = ours > 0 ? peer / ours : 0;
}

void BM_ByteRead_ZnStdioByteStream(benchmark::State& state) {
  ZnStdioByteStream stream(ByteFile().path().c_str(), "r");
  for (auto _ : state) {
    stream.seek(0, 0);
    unsigned char byte;
    long long total = 0;
    while (stream.read(&byte, 1) == 1) total += byte;
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(state.iterations() * kByteFileBytes);
}

void BM_ByteRead_getc(benchmark::State& state) {
  std::FILE* file = std::fopen(ByteFile().path().c_str(), "rb");
  for (auto _ : state) {
    std::rewind(file);
    long long total = 0;
    int c;
    while ((c = std::getc(file)) != EOF) total += c;
    benchmark::DoNotOptimize(total);
  }
  std::fclose(file);
  state.SetBytesProcessed(state.iterations() * kByteFileBytes);
}

class Shared : public SPEnabled {};

// The one object all threads count; built before any benchmark thread runs.
SPBase& SharedHolder() {
  static SPBase holder(new Shared);
  return holder;
}

std::shared_ptr<int>& SharedPointer() {
  static auto pointer = std::make_shared<int>(1);
  return pointer;
}

void BM_RefCount_SPBase(benchmark::State& state) {
  const SPBase& holder = SharedHolder();
  for (auto _ : state) {
    SPBase copy(holder);
    benchmark::DoNotOptimize(copy.get());
  }
}

void BM_RefCount_shared_ptr(benchmark::State& state) {
  const std::shared_ptr<int>& pointer = SharedPointer();
  for (auto _ : state) {
    std::shared_ptr<int> copy(pointer);
    benchmark::DoNotOptimize(copy.get());
  }
}

BENCHMARK(BM_Memory_ZnMemoryByteStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memory_vector)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileRead_ZnStdioByteStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileRead_read)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileRead_Paired)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ByteRead_ZnStdioByteStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ByteRead_getc)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefCount_SPBase)->Threads(1)->Threads(4)->UseRealTime();
BENCHMARK(BM_RefCount_shared_ptr)->Threads(1)->Threads(4)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // Made before timing and before any benchmark thread starts.
  LargeFile();
  ByteFile();
  SharedHolder();
  SharedPointer();
  return zn::bench::RunWithRatios(
      argc, argv,
      {
          {"memory stream 256 MiB write+read, 4 KiB pieces (bytes/s)", "BM_Memory_ZnMemoryByteStream",
           "BM_Memory_vector", "bytes_per_second"},
          {"file read 256 MiB, 64 KiB pieces (bytes/s)", "BM_FileRead_ZnStdioByteStream",
           "BM_FileRead_read", "bytes_per_second"},
          {"file read 1 MiB, 1-byte reads vs getc (bytes/s)", "BM_ByteRead_ZnStdioByteStream",
           "BM_ByteRead_getc", "bytes_per_second"},
          {"count up+down, 1 thread (time)", "BM_RefCount_SPBase/real_time/threads:1",
           "BM_RefCount_shared_ptr/real_time/threads:1", ""},
          {"count up+down, 4 threads on one object (time)", "BM_RefCount_SPBase/real_time/threads:4",
           "BM_RefCount_shared_ptr/real_time/threads:4", ""},
      });
}
