#include "zn/file/PortableFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "zn/file/internal/Utf16LeDecoder.h"
#include "zuzazer/FXString.h"
#include "zuzazer/FXUniqueFd.h"

namespace {

// open(2) flags for a stdio mode ("r", "w+", "ab", "wx", ...), or -1 when it
// is not one. glibc's own extensions (",ccs=", 'e', 'm', 'c') are refused:
// callers pass the Windows original's modes.
int FlagsForMode(std::string_view mode) {
  if (mode.empty()) return -1;
  int flags;
  switch (mode.front()) {
    case 'r': flags = O_RDONLY; break;
    case 'w': flags = O_WRONLY | O_CREAT | O_TRUNC; break;
    case 'a': flags = O_WRONLY | O_CREAT | O_APPEND; break;
    default: return -1;
  }
  for (const char c : mode.substr(1)) {
    switch (c) {
      case '+': flags = (flags & ~O_ACCMODE) | O_RDWR; break;
      case 'b': break;
      case 'x':
        if (mode.front() != 'w') return -1;
        flags |= O_EXCL;
        break;
      default: return -1;
    }
  }
  return flags;
}

// The stream of `path` as stdio would open it with `mode`, without waiting
// for a FIFO's other end and close-on-exec. Null with errno on failure.
FILE* OpenStream(const std::string& path, const std::string& mode) {
  const int flags = FlagsForMode(mode);
  if (flags < 0) {
    errno = EINVAL;
    return nullptr;
  }
  yq::UniqueFd fd;
  do {
    fd.reset(::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
  } while (!fd && errno == EINTR);
  if (!fd) return nullptr;
  const int status = ::fcntl(fd.get(), F_GETFL);
  if (status < 0 || ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) != 0) return nullptr;
  // "x" is ours to give to open(2); fdopen would not know it.
  std::string streamMode = mode;
  streamMode.erase(std::remove(streamMode.begin(), streamMode.end(), 'x'), streamMode.end());
  FILE* file = ::fdopen(fd.get(), streamMode.c_str());
  if (file != nullptr) fd.release();
  return file;
}

// True when the file starts with the UTF-16LE byte-order mark FF FE.
bool StartsWithUtf16Mark(FILE* file) {
  unsigned char mark[2];
  return ::pread(::fileno(file), mark, sizeof mark, 0) == 2 && mark[0] == 0xFF && mark[1] == 0xFE;
}

}  // namespace

PortableFile::PortableFile() = default;
PortableFile::~PortableFile() = default;

bool PortableFile::Initialize(const char* path, const char* mode) {
  if (m_file != nullptr || path == nullptr || mode == nullptr) {
    m_lastError = -1;
    return false;
  }
  if (std::strlen(path) > kMaxPathLength) {
    m_lastError = ENAMETOOLONG;
    return false;
  }
  if (std::strlen(mode) > kMaxModeLength) {
    m_lastError = EINVAL;
    return false;
  }
  m_path = path;
  m_mode = mode;
  m_eof = false;
  m_totalBytes = 0;
  m_utf16 = false;
  m_decoder.reset();
  m_output.clear();
  m_outputStart = 0;
  m_inputEnded = false;

  std::string openMode = m_mode;
  m_text = openMode.find('t') != std::string::npos;
  openMode.erase(std::remove(openMode.begin(), openMode.end(), 't'), openMode.end());
  // Files are always opened in binary: here that is what every mode means.
  if (openMode.find('b') == std::string::npos) openMode.push_back('b');
  FILE* file = OpenStream(m_path, openMode);
  if (file == nullptr) {
    m_lastError = errno;
    return false;
  }
  m_file.reset(file);
  if (m_text && StartsWithUtf16Mark(file)) {
    m_utf16 = true;
    m_decoder = std::make_unique<zn::detail::Utf16LeDecoder>();
    // The mark says what the text is; it is not part of it.
    unsigned char mark[2];
    if (std::fread(mark, 1, sizeof mark, file) != sizeof mark) {
      m_lastError = errno != 0 ? errno : EIO;
      m_file.reset();
      return false;
    }
  }
  m_lastError = 0;
  return true;
}

bool PortableFile::Read(void* buf, unsigned long long size, unsigned long long* got) {
  if (got != nullptr) *got = 0;
  if (m_file == nullptr || got == nullptr || (buf == nullptr && size > 0)) {
    m_lastError = -1;
    return false;
  }
  if (m_utf16) return readText(static_cast<char*>(buf), size, got);
  const std::size_t n = size > 0 ? std::fread(buf, 1, static_cast<std::size_t>(size), m_file.get()) : 0;
  if (n == 0 && std::ferror(m_file.get()) != 0) {
    m_lastError = errno != 0 ? errno : EIO;
    std::clearerr(m_file.get());
    return false;
  }
  *got = n;
  if (n == 0) m_eof = true;
  m_totalBytes += static_cast<long long>(n);
  return true;
}

bool PortableFile::readText(char* buf, unsigned long long size, unsigned long long* got) {
  unsigned char raw[kWideLineUnits * 2];
  std::wstring wide;
  // Room for one more step's UTF-8 (at most 3 bytes per unit) within the
  // output buffer's bound.
  while (m_output.size() - m_outputStart < size && !m_inputEnded &&
         m_output.size() - m_outputStart + kWideLineUnits * 3 <= kOutputBufferBytes) {
    const std::size_t n = std::fread(raw, 1, sizeof raw, m_file.get());
    if (n == 0 && std::ferror(m_file.get()) != 0) {
      m_lastError = errno != 0 ? errno : EIO;
      std::clearerr(m_file.get());
      return false;
    }
    wide.clear();
    m_decoder->decode(raw, n, wide);
    if (n < sizeof raw && std::feof(m_file.get()) != 0) {
      m_decoder->finish(wide);
      m_inputEnded = true;
    }
    if (m_outputStart > 0) {
      m_output.erase(0, m_outputStart);
      m_outputStart = 0;
    }
    m_output += FXString::ToString(wide);
  }
  const std::size_t n =
      static_cast<std::size_t>(std::min<unsigned long long>(size, m_output.size() - m_outputStart));
  if (n > 0) std::memcpy(buf, m_output.data() + m_outputStart, n);
  m_outputStart += n;
  *got = n;
  if (n == 0) m_eof = true;
  m_totalBytes += static_cast<long long>(n);
  return true;
}

bool PortableFile::Close() {
  if (m_file == nullptr) {
    m_lastError = -1;
    return false;
  }
  FILE* file = m_file.release();
  m_decoder.reset();
  m_output.clear();
  m_outputStart = 0;
  if (std::fclose(file) != 0) {
    m_lastError = errno;
    return false;
  }
  return true;
}

long long PortableFile::getFileSize() {
  struct stat st {};
  const int result = m_file != nullptr ? ::fstat(::fileno(m_file.get()), &st) : ::stat(m_path.c_str(), &st);
  if (result != 0 || (m_file == nullptr && m_path.empty())) {
    m_lastError = m_path.empty() && m_file == nullptr ? -1 : errno;
    return -1;
  }
  const auto bytes = static_cast<long long>(st.st_size);
  return m_utf16 ? bytes / 2 - 1 : bytes;
}

bool PortableFile::isDirectory(bool* isDir) {
  if (isDir == nullptr || m_path.empty()) {
    m_lastError = -1;
    return false;
  }
  struct stat st {};
  if (::stat(m_path.c_str(), &st) != 0) {
    m_lastError = errno;
    return false;
  }
  *isDir = S_ISDIR(st.st_mode);
  return true;
}

bool PortableFile::isEOFReached(bool* eof) {
  if (eof == nullptr) {
    m_lastError = -1;
    return false;
  }
  *eof = m_eof;
  return true;
}

bool PortableFile::Write(const void*, unsigned long long, unsigned long long* written) {
  if (written != nullptr) *written = 0;
  return true;
}
bool PortableFile::SpecialWrite(const void*, unsigned long long, unsigned long long* written) {
  if (written != nullptr) *written = 0;
  return true;
}
bool PortableFile::SetAttributes(unsigned long) { return true; }
bool PortableFile::SetCreationTime(long long) { return true; }
bool PortableFile::SetLastWriteTime(long long) { return true; }
bool PortableFile::SetCompression(bool) { return true; }
bool PortableFile::Rename(const char*) { return true; }
bool PortableFile::Rename(const wchar_t*) { return true; }
bool PortableFile::CopyFrom(const char*) { return true; }
bool PortableFile::Initialize(const wchar_t*, const wchar_t*) { return true; }
bool PortableFile::InitializePhase2() { return true; }
