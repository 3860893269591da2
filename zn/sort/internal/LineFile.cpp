#include "zn/sort/internal/LineFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "zuzazer/FXFile.h"

namespace zn::detail {

yq::UniqueFd OpenForReading(const std::string& path) {
  yq::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return fd;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return yq::UniqueFd();
  if (!S_ISREG(info.st_mode)) {
    errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    return yq::UniqueFd();
  }
  return fd;
}

yq::UniqueFd OpenForWriting(const std::string& path) {
  return yq::UniqueFd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
}

LineReader::LineReader(int fd, std::size_t maxLine, std::size_t capacity)
    : m_fd(fd), m_maxLine(maxLine), m_capacity(capacity < maxLine + 1 ? maxLine + 1 : capacity),
      m_data(new char[m_capacity + 1]) {}

bool LineReader::fill() {
  if (m_begin > 0) {
    std::memmove(m_data.get(), m_data.get() + m_begin, m_end - m_begin);
    m_end -= m_begin;
    m_begin = 0;
  }
  while (m_end < m_capacity) {
    const ssize_t got = ::read(m_fd, m_data.get() + m_end, m_capacity - m_end);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) {
      m_eof = true;
      break;
    }
    m_end += static_cast<std::size_t>(got);
    break;
  }
  return true;
}

int LineReader::next(char*& line, std::size_t& length) {
  if (m_hasSaved) {
    m_data[m_savedAt] = m_saved;
    m_hasSaved = false;
  }
  for (;;) {
    char* begin = m_data.get() + m_begin;
    const std::size_t available = m_end - m_begin;
    // A '\n' may sit right after a piece of the longest length.
    const std::size_t window = available < m_maxLine + 1 ? available : m_maxLine + 1;
    if (auto* newline = static_cast<char*>(std::memchr(begin, '\n', window))) {
      *newline = '\0';
      line = begin;
      length = static_cast<std::size_t>(newline - begin);
      m_begin += length + 1;
      return 1;
    }
    if (available > m_maxLine || (m_eof && available > 0)) {
      length = available > m_maxLine ? m_maxLine : available;
      m_savedAt = m_begin + length;
      m_saved = m_data[m_savedAt];
      m_hasSaved = true;
      m_data[m_savedAt] = '\0';
      line = begin;
      m_begin += length;
      return 1;
    }
    if (m_eof) return 0;
    if (!fill()) return -1;
  }
}

LineWriter::LineWriter(int fd, std::size_t capacity) : m_fd(fd), m_capacity(capacity), m_data(new char[capacity]) {}

bool LineWriter::write(const char* line, std::size_t length) {
  if (m_used + length + 1 > m_capacity) {
    if (!flush()) return false;
    if (length + 1 > m_capacity) {
      std::size_t done = 0;
      if (FXFile::Write(m_fd, line, length, done).IsError()) return false;
      m_data[m_used++] = '\n';
      return true;
    }
  }
  std::memcpy(m_data.get() + m_used, line, length);
  m_used += length;
  m_data[m_used++] = '\n';
  return true;
}

bool LineWriter::flush() {
  if (m_used == 0) return true;
  std::size_t done = 0;
  const bool ok = FXFile::Write(m_fd, m_data.get(), m_used, done).IsSuccess();
  m_used = 0;
  return ok;
}

}  // namespace zn::detail
