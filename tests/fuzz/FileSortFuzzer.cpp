// Files to sort come from anyone who can write one. The first byte picks
// the order, the case rule and the unique flag; the rest is the file,
// sorted through a 4 KB buffer so that inputs above it make many runs.
// Whatever the bytes: a file with a zero byte is refused, any other sorts;
// its lines (split at '\n', long ones cut at 4095 bytes) all come out, in
// order, each ended by '\n'; with the unique flag no two adjacent lines
// are equal and only repeats (or empty lines) are gone.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "zn/sort/BatchSort.h"

namespace {

const std::string& Folder() {
  static const std::string folder = [] {
    std::string path = "/tmp/zn_fuzz_filesort.XXXXXX";
    if (::mkdtemp(path.data()) == nullptr) std::abort();
    return path;
  }();
  return folder;
}

// The line rules, written out plainly.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t newline = text.find('\n', at);
    const std::size_t end = newline == std::string::npos ? text.size() : newline;
    if (end - at > 4095) {
      lines.push_back(text.substr(at, 4095));
      at += 4095;
      continue;
    }
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

std::string Folded(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return s;
}

int Compare(const std::string& a, const std::string& b, bool caseSensitive) {
  return caseSensitive ? a.compare(b) : Folded(a).compare(Folded(b));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool ascending = (data[0] & 1) != 0;
  const bool caseSensitive = (data[0] & 2) != 0;
  const bool unique = (data[0] & 4) != 0;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string in = Folder() + "/in";
  const std::string out = Folder() + "/out";
  const std::string work = Folder() + "/work";
  std::ofstream(in, std::ios::binary | std::ios::trunc) << text;
  ::mkdir(work.c_str(), 0700);

  BatchSort sorter;
  if (sorter.init(in.c_str(), out.c_str(), work.c_str(), ascending, caseSensitive, unique, 4096) != 0) std::abort();
  const int result = sorter.sort();
  if (text.find('\0') != std::string::npos) {
    if (result != -1) std::abort();
    return 0;
  }
  if (result != 0) std::abort();
  std::ifstream file(out, std::ios::binary);
  const std::string sorted((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (!sorted.empty() && sorted.back() != '\n') std::abort();
  std::vector<std::string> got;
  for (std::size_t at = 0; at < sorted.size();) {
    const std::size_t newline = sorted.find('\n', at);
    got.push_back(sorted.substr(at, newline - at));
    at = newline + 1;
  }
  for (std::size_t i = 1; i < got.size(); ++i) {
    const int order = Compare(got[i - 1], got[i], caseSensitive) * (ascending ? 1 : -1);
    if (order > 0 || (unique && order == 0)) std::abort();
  }
  std::vector<std::string> lines = Lines(text);
  if (!unique) {
    std::vector<std::string> a = lines, b = got;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    if (a != b) std::abort();
    return 0;
  }
  // Every line that is not a repeat survives, in some spelling.
  std::set<std::string> kept;
  for (const std::string& line : got) kept.insert(caseSensitive ? line : Folded(line));
  for (const std::string& line : lines) {
    if (!line.empty() && kept.count(caseSensitive ? line : Folded(line)) == 0) std::abort();
  }
  std::set<std::string> given(lines.begin(), lines.end());
  for (const std::string& line : got) {
    if (given.count(line) == 0) std::abort();
  }
  return 0;
}
