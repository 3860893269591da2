// Portable objects for browsing and reading code that must run the same way
// on every platform. Names are UTF-8 at this interface; on Linux they are
// the bytes the file system holds.
//
// PortableFile reads a file: binary, or text whose UTF-16LE content (marked
// by its byte-order mark) comes out as UTF-8. The family is read-oriented:
// the write-side operations exist for callers written against the
// reference and do nothing.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "zn/base/ZnExport.h"

namespace zn::detail {
class Utf16LeDecoder;
}

// Base of the portable objects: the last error (an errno value or a Win32
// code as each operation says, or -1 for misuse) and the bytes delivered.
class ZN_EXPORT PortableObject {
 public:
  virtual ~PortableObject() = default;

  int getLastError() const { return m_lastError; }
  long long getTotalBytes() const { return m_totalBytes; }

 protected:
  int m_lastError = 0;
  long long m_totalBytes = 0;
};

class ZN_EXPORT PortableFile : public PortableObject {
 public:
  static constexpr std::size_t kMaxPathLength = 1024;
  static constexpr std::size_t kMaxModeLength = 7;
  // Bounds of the UTF-16 conversion: units decoded per step, and the UTF-8
  // bytes one Read may hold before it hands them out.
  static constexpr std::size_t kWideLineUnits = 1024;
  static constexpr std::size_t kOutputBufferBytes = 63000;

  PortableFile();
  ~PortableFile() override;
  PortableFile(const PortableFile&) = delete;
  PortableFile& operator=(const PortableFile&) = delete;

  // Opens `path` with a stdio mode ("r", "rb", "rt", "r+", ...; 'x' for an
  // exclusive create). A mode with 't' is text: a file that starts with the
  // UTF-16LE byte-order mark is then read as UTF-8 text, the mark skipped.
  // Every file is opened in binary, close-on-exec, and without waiting for
  // the other end of a FIFO. False when already open (-1), on a path over
  // 1024 bytes (ENAMETOOLONG), a mode that is not a stdio mode (EINVAL), or
  // when the open fails (errno).
  bool Initialize(const char* path, const char* mode);
  // Up to `size` bytes into `buf`, `*got` their count; 0 bytes delivered
  // sets the end-of-file flag. A UTF-16 text hands out at most about 63,000
  // bytes per call. False when not open (-1) or on a read error (errno).
  bool Read(void* buf, unsigned long long size, unsigned long long* got);
  bool Close();

  // The size in bytes; for a UTF-16 text, the UTF-16 units after the mark
  // (bytes / 2 - 1). -1 on failure.
  long long getFileSize();
  // Whether the path names a folder (links followed); false with errno
  // when it cannot be examined.
  bool isDirectory(bool* isDir);
  bool isEOFReached(bool* eof);

  bool isOpen() const { return m_file != nullptr; }
  bool isUtf16Text() const { return m_utf16; }
  const std::string& getPath() const { return m_path; }

  // Accepted, and without effect: they return true.
  bool Write(const void* buf, unsigned long long size, unsigned long long* written);
  bool SpecialWrite(const void* buf, unsigned long long size, unsigned long long* written);
  bool SetAttributes(unsigned long attributes);
  bool SetCreationTime(long long time);
  bool SetLastWriteTime(long long time);
  bool SetCompression(bool compress);
  bool Rename(const char* newName);
  bool Rename(const wchar_t* newName);
  bool CopyFrom(const char* source);
  bool Initialize(const wchar_t* path, const wchar_t* mode);
  bool InitializePhase2();

 private:
  struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
  };

  bool readText(char* buf, unsigned long long size, unsigned long long* got);

  std::string m_path;
  std::string m_mode;
  bool m_eof = false;
  bool m_text = false;
  bool m_utf16 = false;
  std::unique_ptr<FILE, FileCloser> m_file;
  // UTF-16 text: the decoder, the UTF-8 waiting to be handed out (from
  // m_outputStart), and whether the file has been read to its end.
  std::unique_ptr<zn::detail::Utf16LeDecoder> m_decoder;
  std::string m_output;
  std::size_t m_outputStart = 0;
  bool m_inputEnded = false;
};
