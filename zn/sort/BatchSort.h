// Sorting the lines of a text file with bounded memory.
//
// Lines are gathered in one buffer; a full buffer is sorted and written to a
// run file ("_SORTWORK.<slot>") in a work folder; run files are merged
// pairwise as a binary counter carries, so runs of equal size meet; the last
// run left becomes the output. A line is at most 4095 bytes: a longer one is
// read as several lines. Every line is written with "\n" after it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "zn/base/ZnExport.h"

class ZN_EXPORT Sortable {
 public:
  // A line is at most kLineBufferSize - 1 bytes; its zero takes the last.
  static constexpr std::size_t kLineBufferSize = 4096;
  static constexpr std::size_t kErrorTextSize = 4096;
  // The line-pointer array grows by this many entries at a time.
  static constexpr std::size_t kPointerStep = 10240;

  Sortable();
  virtual ~Sortable();
  Sortable(const Sortable&) = delete;
  Sortable& operator=(const Sortable&) = delete;

  // Below, at or above 0 as `a` sorts before, with or after `b`: bytes, or
  // ASCII letters folded to lower case, and the sign turned for descending.
  virtual int compare(const char* a, const char* b);

  // The place, the message and any detail of the last failure, or
  // "Unknown error".
  const char* getErrorText() const;

 protected:
  int addToSorter(const char* line);
  // Writes the buffer's lines in array order (skipping repeats when unique).
  int dumpBuffer(const char* path);
  // Merges slots `first` and `second` into `target`; one alone is moved.
  int mergeWorkFiles(int first, int second, int target);

  // Sorts the buffer and writes it to the run counter's slot.
  int writeRun();
  // Merges up the levels the run counter `c` carries through; with
  // `untilOneLeft` (end of input) it goes on while two work files remain.
  int carry(unsigned long long c, bool untilOneLeft);
  void sortLines();
  void emptyBuffer();
  bool allocateBuffer(std::size_t size);
  std::string workFileName(int slot) const;
  int fail(const char* place, const char* message, const char* detail = nullptr);
  bool isRepeat(const char* line, const char* lastWritten);

  std::string m_workDir;
  char m_errorText[kErrorTextSize] = {};
  int m_ascending = 1;
  int m_caseSensitive = 1;
  int m_unique = 0;
  std::unique_ptr<char*[]> m_lines;
  std::size_t m_linesCapacity = 0;
  std::size_t m_lineCount = 0;
  std::unique_ptr<char[]> m_buffer;
  std::size_t m_bufferSize = 0;
  std::size_t m_bufferFree = 0;
  std::size_t m_writePosition = 0;
  unsigned long long m_runCounter = 0;
  int m_workFileCount = 0;
  int m_lastTarget = 0;
  std::string m_inputPath;
  std::string m_outputPath;
};

class ZN_EXPORT BatchSort : public Sortable {
 public:
  // Chosen buffer sizes (bytes) when init is given 0.
  static constexpr std::size_t kSingleRunLimit = 5242880;   // inputs up to this: one run
  static constexpr std::size_t kSingleRunSlack = 512000;    // added to such an input's size
  static constexpr std::size_t kLargeInputBuffer = 5754880; // inputs above the limit
  static constexpr std::size_t kUnknownSizeBuffer = 1048576;

  // 0, or -1 with the error text set. `bufferSize` 0 chooses from the
  // input's size; a buffer is never smaller than one line.
  int init(const char* inputPath, const char* outputPath, const char* workDir, int ascending, int caseSensitive,
           int unique, std::size_t bufferSize);
  // 0 (an input that cannot be opened is 0 too: the output is removed), or
  // -1 with the error text set and the work files left in the work folder.
  int sort();
};

// Sorts `file` in place: 0, or -1 with the file as it was. Work folder
// "<file>_folder.tmp", temporary output "<file>.tmp". Logs through a
// ZNTDebuggable with the prefix "SORTANDREPLACE".
ZN_EXPORT int znSortAndReplace(const char* file, int caseSensitive, int ascending, int unique);
