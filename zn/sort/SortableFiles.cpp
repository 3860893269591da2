// The sorter's file side: writing a run and merging two runs.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "zn/sort/BatchSort.h"
#include "zn/sort/internal/LineFile.h"

using zn::detail::LineReader;
using zn::detail::LineWriter;

namespace {

constexpr const char* kDumpPlace = "Sortable::dumpBuffer()";
constexpr const char* kMergePlace = "Sortable::mergeWorkFiles()";
constexpr const char* kWriteFailed = "Could not write to file";

}  // namespace

int Sortable::dumpBuffer(const char* path) {
  yq::UniqueFd fd = zn::detail::OpenForWriting(path);
  if (!fd) return fail(kDumpPlace, "Could not open file for writing", path);
  LineWriter writer(fd.get());
  const char* last = "";
  for (std::size_t i = 0; i < m_lineCount; ++i) {
    const char* line = m_lines[i];
    if (isRepeat(line, last)) continue;
    if (!writer.write(line, std::char_traits<char>::length(line))) return fail(kDumpPlace, kWriteFailed, path);
    last = line;
  }
  if (!writer.flush() || fd.close() != 0) return fail(kDumpPlace, kWriteFailed, path);
  return 0;
}

int Sortable::mergeWorkFiles(int first, int second, int target) {
  const std::string firstPath = workFileName(first);
  const std::string secondPath = workFileName(second);
  const std::string targetPath = workFileName(target);
  // A slot that cannot be opened for another reason than being absent is
  // a failure: taking it for absent would drop its run.
  yq::UniqueFd a = zn::detail::OpenForReading(firstPath);
  if (!a && errno != ENOENT) return fail(kMergePlace, "Could not open file for reading", firstPath.c_str());
  yq::UniqueFd b = zn::detail::OpenForReading(secondPath);
  if (!b && errno != ENOENT) return fail(kMergePlace, "Could not open file for reading", secondPath.c_str());
  if (!a && !b) return 0;
  if (!a || !b) {
    const std::string& only = a ? firstPath : secondPath;
    if (::rename(only.c_str(), targetPath.c_str()) != 0) return fail(kMergePlace, "Could not rename file", only.c_str());
    return 0;
  }

  yq::UniqueFd out = zn::detail::OpenForWriting(targetPath);
  if (!out) return fail(kMergePlace, "Could not open file for writing", targetPath.c_str());
  LineReader left(a.get(), kLineBufferSize - 1);
  LineReader right(b.get(), kLineBufferSize - 1);
  LineWriter writer(out.get());
  std::string last;  // a copy: the reader that held it may have moved on
  char* leftLine = nullptr;
  char* rightLine = nullptr;
  std::size_t leftLength = 0;
  std::size_t rightLength = 0;
  int leftState = left.next(leftLine, leftLength);
  int rightState = right.next(rightLine, rightLength);
  while ((leftState > 0 || rightState > 0) && leftState >= 0 && rightState >= 0) {
    // Ties take the second file's line.
    const bool takeLeft = leftState > 0 && (rightState == 0 || compare(leftLine, rightLine) < 0);
    const char* line = takeLeft ? leftLine : rightLine;
    const std::size_t length = takeLeft ? leftLength : rightLength;
    if (!isRepeat(line, last.c_str())) {
      if (!writer.write(line, length)) return fail(kDumpPlace, kWriteFailed, targetPath.c_str());
      if (m_unique) last.assign(line, length);
    }
    if (takeLeft) {
      leftState = left.next(leftLine, leftLength);
    } else {
      rightState = right.next(rightLine, rightLength);
    }
  }
  if (leftState < 0) return fail(kMergePlace, "Could not read file", firstPath.c_str());
  if (rightState < 0) return fail(kMergePlace, "Could not read file", secondPath.c_str());
  if (!writer.flush() || out.close() != 0) return fail(kDumpPlace, kWriteFailed, targetPath.c_str());
  a.reset();
  b.reset();
  ::unlink(firstPath.c_str());
  ::unlink(secondPath.c_str());
  --m_workFileCount;
  return 0;
}
