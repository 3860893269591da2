// Files and folders against their plain peers, on the same input in one run:
// - ZNFile::bufRead of 1 GiB in 4 KiB requests through a 64 KiB buffer,
//   against fread(3) with a 64 KiB stdio buffer (setvbuf);
// - ZNFile::getLine over 100 MB of text against fgets(3), both through
//   64 KiB buffers;
// - ZNDirectory listing a folder of 100,000 entries against readdir(3),
//   and PortableDirectory (which examines every child) against readdir
//   plus fstatat.
// The files sit in the page cache: the measures are CPU-bound and use CPU
// time (system time included). Each comparison also runs its two sides
// alternately inside one benchmark (the *_Paired ones), so that a busy
// machine slows both alike; their counter is our throughput over the peer's.

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "zn/file/PortableDirectory.h"
#include "zn/file/ZNDirectory.h"
#include "zn/file/ZNFile.h"

namespace {

constexpr long long kReadBytes = 1LL << 30;
constexpr long long kTextBytes = 100LL * 1000 * 1000;
constexpr unsigned long kBufferBytes = 64 * 1024;
constexpr unsigned long kRequestBytes = 4096;
constexpr unsigned long kLineBytes = 4096;
constexpr int kEntries = 100000;

std::string ScratchFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp");
}

// A file for the whole run, read once before timing so that both sides
// read from the page cache.
class BenchFile {
 public:
  BenchFile(const std::string& tag, long long size, const std::function<std::string(long long)>& piece) {
    m_path = ScratchFolder() + "/zn_file_bench_" + tag + ".XXXXXX";
    const int fd = ::mkstemp(m_path.data());
    if (fd < 0) std::abort();
    for (long long done = 0; done < size;) {
      const std::string bytes = piece(done);
      const std::size_t take = static_cast<std::size_t>(std::min<long long>(size - done, bytes.size()));
      if (::write(fd, bytes.data(), take) != static_cast<ssize_t>(take)) std::abort();
      done += static_cast<long long>(take);
    }
    std::vector<char> buffer(1 << 20);
    ::lseek(fd, 0, SEEK_SET);
    while (::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    ::close(fd);
  }
  ~BenchFile() { ::unlink(m_path.c_str()); }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

const BenchFile& LargeFile() {
  static const BenchFile file("read", kReadBytes, [](long long) {
    std::string piece(1 << 20, '\0');
    for (std::size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<char>(i * 131 + 7);
    return piece;
  });
  return file;
}

// Lines of 0 to 159 letters, a quarter of them ending in CR LF.
const BenchFile& TextFile() {
  static const BenchFile file("text", kTextBytes, [](long long) {
    static unsigned state = 12345;
    std::string piece;
    while (piece.size() < (1 << 20)) {
      state = state * 1103515245 + 12345;
      const unsigned length = (state >> 16) % 160;
      for (unsigned i = 0; i < length; ++i) piece.push_back(static_cast<char>('a' + (i * 7 + length) % 26));
      if ((state >> 8) % 4 == 0) piece.push_back('\r');
      piece.push_back('\n');
    }
    return piece;
  });
  return file;
}

class BenchFolder {
 public:
  BenchFolder() {
    m_path = ScratchFolder() + "/zn_file_bench_folder.XXXXXX";
    if (::mkdtemp(m_path.data()) == nullptr) std::abort();
    for (int i = 0; i < kEntries; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "/entry_%06d.dat", i);
      const int fd = ::open((m_path + name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      if (fd < 0) std::abort();
      ::close(fd);
    }
  }
  ~BenchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

const BenchFolder& Folder() {
  static const BenchFolder folder;
  return folder;
}

double ThreadCpuSeconds() {
  struct timespec now;
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// ---- One pass of each side. ----

long long BufReadZNFile(std::vector<char>& buffer) {
  ZNFile file;
  if (file.setBufSize(kBufferBytes) != 0 || file.open(LargeFile().path().c_str(), ZNFile::ZNFILE_READ) != 0) {
    std::abort();
  }
  long long total = 0;
  long got;
  while ((got = file.bufRead(buffer.data(), kRequestBytes)) > 0) total += got;
  return total;
}

// stdio with a buffer of our size: glibc ignores the size given with a
// null buffer and keeps its 4 KiB one, so the buffer is passed in.
std::FILE* OpenStdio(const std::string& path, std::vector<char>& stdioBuffer) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  stdioBuffer.resize(kBufferBytes);
  if (file == nullptr || std::setvbuf(file, stdioBuffer.data(), _IOFBF, kBufferBytes) != 0) std::abort();
  return file;
}

long long BufReadFread(std::vector<char>& buffer) {
  std::vector<char> stdioBuffer;
  std::FILE* file = OpenStdio(LargeFile().path(), stdioBuffer);
  long long total = 0;
  std::size_t got;
  while ((got = std::fread(buffer.data(), 1, kRequestBytes, file)) > 0) total += static_cast<long long>(got);
  std::fclose(file);
  return total;
}

long long GetLineZNFile(std::vector<char>& buffer) {
  ZNFile file;
  if (file.setBufSize(kBufferBytes) != 0 || file.open(TextFile().path().c_str(), ZNFile::ZNFILE_READ) != 0) {
    std::abort();
  }
  long long lines = 0;
  while (file.getLine(buffer.data(), kLineBytes) == 1) ++lines;
  return lines;
}

long long GetLineFgets(std::vector<char>& buffer) {
  std::vector<char> stdioBuffer;
  std::FILE* file = OpenStdio(TextFile().path(), stdioBuffer);
  long long lines = 0;
  while (std::fgets(buffer.data(), static_cast<int>(kLineBytes), file) != nullptr) ++lines;
  std::fclose(file);
  return lines;
}

long long ListZNDirectory() {
  ZNDirectory dir;
  if (dir.open(Folder().path().c_str()) != 0) std::abort();
  long long names = 0;
  while (const char* name = dir.read()) names += name[0] != '\0';
  return names;
}

long long ListReaddir() {
  DIR* dir = ::opendir(Folder().path().c_str());
  if (dir == nullptr) std::abort();
  long long names = 0;
  while (const struct dirent* entry = ::readdir(dir)) names += entry->d_name[0] != '\0';
  ::closedir(dir);
  return names;
}

long long ListPortableDirectory() {
  PortableDirectory dir;
  if (!dir.initGettingChildInfos(Folder().path().c_str())) std::abort();
  long long total = 0;
  char name[PortableDirectory::kMaxNameLength + 1];
  long long size, modified;
  bool isDir, end = false;
  int error;
  while (dir.getNextChildInfo(name, &size, &modified, &isDir, &error, &end) && !end) total += 1 + size;
  dir.closeGettingChildInfos();
  return total;
}

long long ListReaddirFstatat() {
  DIR* dir = ::opendir(Folder().path().c_str());
  if (dir == nullptr) std::abort();
  long long total = 0;
  while (const struct dirent* entry = ::readdir(dir)) {
    struct stat st {};
    if (::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0) total += 1 + st.st_size;
  }
  ::closedir(dir);
  return total;
}

// ---- Benchmarks. ----

template <long long (*Pass)(std::vector<char>&)>
void BM_Read(benchmark::State& state, long long bytes) {
  std::vector<char> buffer(kLineBytes + 1);
  for (auto _ : state) benchmark::DoNotOptimize(Pass(buffer));
  state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_BufRead_ZNFile(benchmark::State& state) { BM_Read<BufReadZNFile>(state, kReadBytes); }
void BM_BufRead_fread(benchmark::State& state) { BM_Read<BufReadFread>(state, kReadBytes); }
void BM_GetLine_ZNFile(benchmark::State& state) { BM_Read<GetLineZNFile>(state, kTextBytes); }
void BM_GetLine_fgets(benchmark::State& state) { BM_Read<GetLineFgets>(state, kTextBytes); }

template <long long (*Pass)()>
void BM_List(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Pass());
  state.SetItemsProcessed(state.iterations() * (kEntries + 2));
}

// Both sides alternately; the counter is ours over the peer's throughput.
template <typename Ours, typename Peer>
void Paired(benchmark::State& state, Ours ours, Peer peer) {
  double oursSeconds = 0;
  double peerSeconds = 0;
  for (auto _ : state) {
    const double start = ThreadCpuSeconds();
    const long long a = ours();
    const double middle = ThreadCpuSeconds();
    const long long b = peer();
    const double end = ThreadCpuSeconds();
    if (a != b) state.SkipWithError("the two sides disagree");
    oursSeconds += middle - start;
    peerSeconds += end - middle;
  }
  state.counters["throughput_ratio"] = oursSeconds > 0 ? peerSeconds / oursSeconds : 0;
}

void BM_BufRead_Paired(benchmark::State& state) {
  std::vector<char> buffer(kLineBytes + 1);
  Paired(state, [&] { return BufReadZNFile(buffer); }, [&] { return BufReadFread(buffer); });
}
void BM_GetLine_Paired(benchmark::State& state) {
  std::vector<char> buffer(kLineBytes + 1);
  Paired(state, [&] { return GetLineZNFile(buffer); }, [&] { return GetLineFgets(buffer); });
}
void BM_List_Paired(benchmark::State& state) { Paired(state, ListZNDirectory, ListReaddir); }
void BM_ListStat_Paired(benchmark::State& state) { Paired(state, ListPortableDirectory, ListReaddirFstatat); }

}  // namespace

BENCHMARK(BM_BufRead_ZNFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BufRead_fread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BufRead_Paired)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetLine_ZNFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetLine_fgets)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetLine_Paired)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_List, ListZNDirectory)->Name("BM_List_ZNDirectory")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_List, ListReaddir)->Name("BM_List_readdir")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_List_Paired)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_List, ListPortableDirectory)->Name("BM_List_PortableDirectory")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_List, ListReaddirFstatat)->Name("BM_List_readdir_fstatat")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListStat_Paired)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  // Made before any timing: the files and the folder are shared by both
  // sides of every comparison.
  LargeFile();
  TextFile();
  Folder();
  return zn::bench::RunWithRatios(
      argc, argv,
      {
          {"bufRead 1 GiB, 4 KiB requests, 64 KiB buffers (bytes/s)", "BM_BufRead_ZNFile", "BM_BufRead_fread",
           "bytes_per_second"},
          {"getLine over 100 MB vs fgets (bytes/s)", "BM_GetLine_ZNFile", "BM_GetLine_fgets", "bytes_per_second"},
          {"ZNDirectory listing 100,000 entries vs readdir (items/s)", "BM_List_ZNDirectory", "BM_List_readdir",
           "items_per_second"},
          {"PortableDirectory vs readdir+fstatat (items/s)", "BM_List_PortableDirectory",
           "BM_List_readdir_fstatat", "items_per_second"},
      });
}
