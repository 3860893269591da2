// Reading and writing the sort's lines through large buffers.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "zuzazer/FXUniqueFd.h"

namespace zn::detail {

// Opens for reading; an unset descriptor when the path is not a regular
// file that can be opened (errno says why).
yq::UniqueFd OpenForReading(const std::string& path);
// Creates or empties a file for writing, mode 0600, never through a
// symbolic link.
yq::UniqueFd OpenForWriting(const std::string& path);

// Lines of a file, each handed out zero-terminated in the reader's own
// buffer without its '\n' and valid until the next call. A line longer than
// `maxLine` bytes comes out as several lines of at most `maxLine` bytes; a
// '\n' right after such a piece still ends it.
class LineReader {
 public:
  static constexpr std::size_t kDefaultCapacity = 128 * 1024;

  LineReader(int fd, std::size_t maxLine, std::size_t capacity = kDefaultCapacity);
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // 1 with a line, 0 at the end, -1 on a read error (errno set).
  int next(char*& line, std::size_t& length);

 private:
  bool fill();

  int m_fd;
  std::size_t m_maxLine;
  std::size_t m_capacity;
  std::unique_ptr<char[]> m_data;  // m_capacity bytes and room for one zero
  std::size_t m_begin = 0;
  std::size_t m_end = 0;
  bool m_eof = false;
  // The byte a zero was written over to end the previous piece, and where.
  char m_saved = 0;
  std::size_t m_savedAt = 0;
  bool m_hasSaved = false;
};

// Lines out, each followed by '\n', in large writes.
class LineWriter {
 public:
  static constexpr std::size_t kDefaultCapacity = 128 * 1024;

  explicit LineWriter(int fd, std::size_t capacity = kDefaultCapacity);
  LineWriter(const LineWriter&) = delete;
  LineWriter& operator=(const LineWriter&) = delete;

  bool write(const char* line, std::size_t length);
  bool flush();

 private:
  int m_fd;
  std::size_t m_capacity;
  std::unique_ptr<char[]> m_data;
  std::size_t m_used = 0;
};

}  // namespace zn::detail
