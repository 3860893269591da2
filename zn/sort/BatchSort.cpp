// BatchSort: one input file sorted into one output file.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "zn/sort/BatchSort.h"
#include "zn/sort/internal/LineFile.h"
#include "zn/sort/internal/WorkFolder.h"

namespace {

constexpr const char* kInitPlace = "BatchSort::init()";
constexpr const char* kSortPlace = "BatchSort::sort()";

bool IsGiven(const char* text) { return text != nullptr && text[0] != '\0'; }

}  // namespace

int BatchSort::init(const char* inputPath, const char* outputPath, const char* workDir, int ascending,
                    int caseSensitive, int unique, std::size_t bufferSize) {
  if (!IsGiven(inputPath) || !IsGiven(outputPath) || !IsGiven(workDir)) return fail(kInitPlace, "Wrong parameters");
  m_inputPath = inputPath;
  m_outputPath = outputPath;
  m_workDir = workDir;
  m_ascending = ascending;
  m_caseSensitive = caseSensitive;
  m_unique = unique;
  m_runCounter = 0;
  m_workFileCount = 0;
  m_lastTarget = 0;
  if (bufferSize == 0) {
    struct stat info {};
    if (::stat(inputPath, &info) == 0) {
      const auto size = static_cast<unsigned long long>(info.st_size);
      bufferSize = size <= kSingleRunLimit ? static_cast<std::size_t>(size) + kSingleRunSlack : kLargeInputBuffer;
    } else {
      bufferSize = kUnknownSizeBuffer;
    }
  }
  // Every line must fit in an empty buffer.
  if (bufferSize < kLineBufferSize) bufferSize = kLineBufferSize;
  if (!allocateBuffer(bufferSize)) return fail(kInitPlace, "Could not malloc");
  m_errorText[0] = '\0';
  return 0;
}

int BatchSort::sort() {
  if (!m_buffer) return fail(kSortPlace, "Wrong parameters");
  // Run files of an earlier sort that failed would be merged in as runs.
  if (!zn::detail::RemoveWorkFiles(m_workDir)) {
    return fail(kSortPlace, "Could not remove old work files in", m_workDir.c_str());
  }
  yq::UniqueFd input = zn::detail::OpenForReading(m_inputPath);
  if (!input) {
    ::unlink(m_outputPath.c_str());
    return 0;
  }
  zn::detail::LineReader reader(input.get(), kLineBufferSize - 1);
  char* line = nullptr;
  std::size_t length = 0;
  int state = 0;
  while ((state = reader.next(line, length)) > 0) {
    // A zero byte would cut the line short: such a file is not text, and
    // sorting it would lose what follows the zero.
    if (std::memchr(line, '\0', length) != nullptr || addToSorter(line) != 0) {
      return fail(kSortPlace, "Failed to add line to sorter", line);
    }
  }
  if (state < 0) return fail(kSortPlace, "Could not read file", m_inputPath.c_str());
  input.reset();

  if (m_lineCount > 0) {
    if (writeRun() != 0) return -1;
  }
  if (carry(m_runCounter, true) != 0) return -1;
  if (m_workFileCount > 0) {
    ::unlink(m_outputPath.c_str());
    const std::string last = workFileName(m_lastTarget);
    if (::rename(last.c_str(), m_outputPath.c_str()) != 0) {
      return fail("Sortable::mergeWorkFiles()", "Could not rename file", last.c_str());
    }
    return 0;
  }
  return dumpBuffer(m_outputPath.c_str());
}
