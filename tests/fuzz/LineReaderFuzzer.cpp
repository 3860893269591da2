// ZNFile's line reading over a file of arbitrary bytes, with fuzzer-chosen
// buffer and line sizes, against a plain model of the rules: a line ends at
// a line feed, a carriage return right before it is dropped, at most
// size - 1 characters are kept and a longer line fails with -2 and is
// consumed whole.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zn/file/ZNFile.h"

namespace {

struct Line {
  int result;
  std::string text;
};

std::vector<Line> Model(const std::string& bytes, unsigned long size) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    const bool fed = end != std::string::npos;
    if (!fed) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    if (fed && !line.empty() && line.back() == '\r') line.pop_back();
    start = fed ? end + 1 : end;
    if (line.size() > size - 1) {
      lines.push_back({-1, line.substr(0, size - 1)});
    } else {
      lines.push_back({1, line});
    }
  }
  lines.push_back({0, ""});
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const unsigned long bufSize = 1 + data[0] % 64;
  const unsigned long lineSize = 1 + data[1] % 32;
  const std::string bytes(reinterpret_cast<const char*>(data + 2), size - 2);

  const int fd = ::memfd_create("lines", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (!bytes.empty() && ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::abort();
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  ZNFile file;
  if (file.setBufSize(bufSize) != 0 || file.open(path.c_str(), ZNFile::ZNFILE_READ) != 0) std::abort();
  std::vector<char> buffer(lineSize + 8, 'X');
  for (const Line& expected : Model(bytes, lineSize)) {
    const int result = file.getLine(buffer.data(), lineSize);
    if (result != expected.result) std::abort();
    if (result < 0 && file.getLastError() != -2) std::abort();
    // The line may hold NUL bytes: compare the bytes, then the terminator.
    if (std::memcmp(buffer.data(), expected.text.data(), expected.text.size()) != 0) std::abort();
    if (buffer[expected.text.size()] != '\0') std::abort();
    if (buffer[lineSize + 1] != 'X') std::abort();  // nothing past the size
  }
  if (file.getCurOffset() != static_cast<long long>(bytes.size())) std::abort();
  ::close(fd);
  return 0;
}
