// The sorter's memory side: the line buffer, the pointer array, the
// comparison, the in-memory sort and the binary-counter carry.

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "zn/sort/BatchSort.h"

namespace {

int CompareFolded(const char* a, const char* b) {
  // ASCII letters only, folded to lower case as the suite's platform does:
  // '_' sorts before the letters.
  for (;; ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a);
    unsigned char y = static_cast<unsigned char>(*b);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + ('a' - 'A'));
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + ('a' - 'A'));
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

}  // namespace

Sortable::Sortable() = default;
Sortable::~Sortable() = default;

int Sortable::compare(const char* a, const char* b) {
  const int result = m_caseSensitive ? std::strcmp(a, b) : CompareFolded(a, b);
  return m_ascending ? result : -result;
}

const char* Sortable::getErrorText() const { return m_errorText[0] != '\0' ? m_errorText : "Unknown error"; }

int Sortable::fail(const char* place, const char* message, const char* detail) {
  if (detail != nullptr) {
    std::snprintf(m_errorText, sizeof(m_errorText), "%s %s %s", place, message, detail);
  } else {
    std::snprintf(m_errorText, sizeof(m_errorText), "%s %s", place, message);
  }
  return -1;
}

bool Sortable::allocateBuffer(std::size_t size) {
  for (;;) {
    m_buffer.reset(new (std::nothrow) char[size]);
    if (m_buffer) break;
    if (size < 2097152) return false;
    size -= 1048576;
  }
  m_bufferSize = size;
  emptyBuffer();
  return true;
}

void Sortable::emptyBuffer() {
  m_lines.reset();
  m_linesCapacity = 0;
  m_lineCount = 0;
  m_bufferFree = m_bufferSize;
  m_writePosition = 0;
}

std::string Sortable::workFileName(int slot) const {
  return m_workDir + '/' + "_SORTWORK." + std::to_string(slot);
}

int Sortable::addToSorter(const char* line) {
  static constexpr const char* kPlace = "Sortable::addToSorter()";
  if (line == nullptr) return fail(kPlace, "Wrong parameters");
  const std::size_t size = std::strlen(line) + 1;
  if (m_lineCount > 0 && size > m_bufferFree) {
    if (writeRun() != 0) return -1;
    const unsigned long long c = m_runCounter;
    if (carry(c, false) != 0) return -1;
    ++m_runCounter;
    emptyBuffer();
  }
  if (size > m_bufferFree) return fail(kPlace, "Could not malloc");
  if (m_lineCount == m_linesCapacity) {
    const std::size_t capacity = m_linesCapacity + kPointerStep;
    std::unique_ptr<char*[]> grown(new (std::nothrow) char*[capacity]);
    if (!grown) return fail(kPlace, "Could not malloc");
    std::copy(m_lines.get(), m_lines.get() + m_lineCount, grown.get());
    m_lines = std::move(grown);
    m_linesCapacity = capacity;
  }
  char* copy = m_buffer.get() + m_writePosition;
  std::memcpy(copy, line, size);
  m_writePosition += size;
  m_bufferFree -= size;
  m_lines[m_lineCount++] = copy;
  return 0;
}

int Sortable::writeRun() {
  sortLines();
  if (dumpBuffer(workFileName(static_cast<int>(m_runCounter % 2)).c_str()) != 0) return -1;
  ++m_workFileCount;
  return 0;
}

int Sortable::carry(unsigned long long c, bool untilOneLeft) {
  for (int k = 0; untilOneLeft ? m_workFileCount >= 2 : (c & 1) != 0; ++k) {
    const int target = 2 * k + 2 + static_cast<int>((c >> 1) % 2);
    if (mergeWorkFiles(2 * k, 2 * k + 1, target) != 0) return -1;
    c >>= 1;
    m_lastTarget = 2 * (k + 1);
  }
  return 0;
}

void Sortable::sortLines() {
  // Quicksort with the middle element as pivot; the larger half is looped
  // over rather than recursed into, and a partition that keeps coming out
  // lopsided hands the rest to a heap sort, so no input can exhaust the
  // stack or take quadratic time.
  auto less = [this](const char* a, const char* b) { return compare(a, b) < 0; };
  const int depthBudget = 2 * static_cast<int>(std::log2(static_cast<double>(m_lineCount) + 1.0)) + 2;
  auto sortRange = [&](auto& self, char** v, std::size_t n, int budget) -> void {
    while (n >= 2) {
      if (budget-- <= 0) {
        std::make_heap(v, v + n, less);
        std::sort_heap(v, v + n, less);
        return;
      }
      std::swap(v[0], v[n / 2]);
      const char* pivot = v[0];
      std::size_t i = 1;
      std::size_t j = n - 1;
      for (;;) {
        while (i <= j && compare(v[i], pivot) < 0) ++i;
        while (j >= i && compare(v[j], pivot) > 0) --j;
        if (i >= j) break;
        std::swap(v[i], v[j]);
        ++i;
        --j;
      }
      std::swap(v[0], v[j]);
      const std::size_t left = j;
      const std::size_t right = n - j - 1;
      if (left < right) {
        self(self, v, left, budget);
        v += j + 1;
        n = right;
      } else {
        self(self, v + j + 1, right, budget);
        n = left;
      }
    }
  };
  sortRange(sortRange, m_lines.get(), m_lineCount, depthBudget);
}

bool Sortable::isRepeat(const char* line, const char* lastWritten) {
  return m_unique && compare(line, lastWritten) == 0;
}
