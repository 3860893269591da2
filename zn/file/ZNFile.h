// The older file layer: a file with separate read and write buffers, line
// reading and writing, a lock on its first byte and a read-only mapping.
//
// Results are integers: 0 (or a count) for success, -1 for failure with the
// cause in getLastError(): a Win32 code, or -1 (wrong state or argument),
// -2 (a line longer than the buffer, or a write the system took only part
// of without saying why), 2 (file not found), 8 (no buffers). Nothing is
// thrown. Every file is opened close-on-exec; others may open, change and
// delete it meanwhile, as the Windows original's sharing flags allow.
#pragma once

#include <cstddef>
#include <memory>

#include "zn/base/ZnExport.h"
#include "zn/debuggable/ZNTDebuggable.h"
#include "zuzazer/FXUniqueFd.h"
#include "zuzazer/FXUniqueMapping.h"

class ZN_EXPORT ZNFile : public ZNTDebuggable {
 public:
  // Access and disposition of `open`.
  enum OpenMode_t {
    ZNFILE_READ = 0,            // read an existing file
    ZNFILE_WRITE = 1,           // write an existing file
    ZNFILE_READ_WRITE = 2,      // read and write an existing file
    ZNFILE_OPEN_ALWAYS = 3,     // read and write, creating the file if absent
    ZNFILE_CREATE_NEW = 4,      // read and write a new file; fails (80) if it exists
  };
  enum SeekMode_t { ZNFILE_SEEK_BEGIN = 0, ZNFILE_SEEK_CURRENT = 1, ZNFILE_SEEK_END = 2 };
  enum LockMode_t { ZNFILE_LOCK_EXCLUSIVE = 0, ZNFILE_LOCK_SHARED = 1 };

  static constexpr unsigned long kDefaultBufSize = 1024;

  ZNFile();
  ~ZNFile() override;
  ZNFile(const ZNFile&) = delete;
  ZNFile& operator=(const ZNFile&) = delete;

  // Opens `path` as `mode` says; on failure retries every second while
  // `retries` lasts. A folder is refused with 5; an open never waits for a
  // FIFO's other end. The last argument is not interpreted.
  int open(const char* path, OpenMode_t mode, int retries = 0, int reserved = 0);
  // Adopts handles opened elsewhere (FXFile handles: descriptor + 1). Mode 1
  // positions through the write handle, the others through the read handle.
  // The object never closes them.
  int setHandles(void* readHandle, void* writeHandle, OpenMode_t mode);

  // Unbuffered: the bytes transferred, or -1.
  long read(char* buffer, unsigned long size);
  long write(const char* data, unsigned long size);

  // Buffered: through the read buffer and the write buffer.
  long bufRead(char* buffer, unsigned long size);
  long bufWrite(const char* data, unsigned long size);
  int bufWriteFlush();
  int bufReadFlush();
  // Grows both buffers to `size` (8 when that fails), keeping what they hold.
  // 0 is refused (-1): a buffer must hold something.
  int setBufSize(unsigned long size);
  unsigned long getBufSize() const { return m_bufSize; }

  // One line into `buffer`, its line feed consumed and not stored, and a
  // carriage return right before it dropped: 1 a line, 0 the end of the file
  // with nothing read, -1 an error or a line of `size` characters or more
  // (last error -2; the rest of that line is consumed).
  int getLine(char* buffer, unsigned long size);
  // Writes `text` and "\r\n" through the write buffer; flushes when asked.
  int putLine(const char* text, bool flush = false);

  // Where the next byte read or written stands, buffers included.
  long long getCurOffset() const;
  int seek(long long offset, SeekMode_t mode);
  // Empties the file.
  int truncate();

  // Locks the first byte of the file, exclusively (0) or shared (1), trying
  // again every 200 ms for up to `seconds`: 1 taken, 0 still held by another
  // opener when the time is up (last error 33), -1 on any other failure.
  // Locks belong to the open file: two ZNFile objects conflict even in one
  // process.
  int lock(LockMode_t mode, unsigned long seconds);
  int unlock();
  bool isLocked() const { return m_locked != 0; }

  // A read-only view of the whole file as it is now (a previous view is
  // dropped), or null. The view is valid until close, the next call, or the
  // file shrinking under it.
  const void* mapViewOfFile();
  unsigned long long getMappedSize() const { return m_view.size(); }

  int close();
  int getLastError() const { return m_lastError; }
  bool isOpen() const { return m_isOpen != 0; }
  OpenMode_t getOpenMode() const { return static_cast<OpenMode_t>(m_openMode); }

  // 0 and the size (0 for a folder), or the Win32 code of the failure.
  static int getFileSize(const char* path, long long* size);
  // 1 for a regular file (links followed), 0 for anything else, -1 when the
  // path cannot be examined.
  static int isFile(const char* path);

 protected:
  // `open` with the permissions a new file gets (before the umask).
  int openPath(const char* path, OpenMode_t mode, int retries, unsigned permissions);
  // One try of openPath: 0, or the errno of the failure.
  int tryOpen(const char* path, OpenMode_t mode, unsigned permissions);
  void setLastError(int code) { m_lastError = code; }
  bool hasBuffers() const { return m_readBuffer && m_writeBuffer; }

 private:
  bool canRead() const { return m_isOpen != 0 && m_openMode != ZNFILE_WRITE && m_readFd >= 0; }
  bool canWrite() const { return m_isOpen != 0 && m_openMode != ZNFILE_READ && m_writeFd >= 0; }
  bool sameReadWriteFile() const { return m_readFd >= 0 && m_readFd == m_writeFd; }
  // Writes all of `data`; -1 (last error set) when the system stops taking
  // bytes. `done` says how many went in; the offset moves by as many.
  int writeAll(const char* data, unsigned long size, unsigned long& done);
  // Writes the waiting bytes; on failure keeps those that did not go in.
  int flushWriteBuffer();
  // Gives back what the read buffer read ahead, so that a write lands where
  // the caller stands.
  int dropReadAhead();
  void markOpen(int readFd, int writeFd, OpenMode_t mode, bool setByCaller);
  void releaseHandles();

  int m_lastError = 0;
  int m_isOpen = 0;
  int m_openMode = 0;
  int m_locked = 0;
  int m_handlesSetByCaller = 0;
  long long m_offset = 0;

  std::unique_ptr<char[]> m_readBuffer;
  std::unique_ptr<char[]> m_writeBuffer;
  unsigned long m_bufSize = 0;
  unsigned long m_bufCapacity = 0;
  unsigned long m_readPos = 0;
  unsigned long m_readLeft = 0;
  unsigned long m_writeWaiting = 0;

  yq::UniqueFd m_ownedFd;  // the descriptor `open` opened
  int m_readFd = -1;
  int m_writeFd = -1;
  int m_positionFd = -1;
  bool m_writeIsPipe = false;  // a pipe or socket: a write must not raise SIGPIPE
  bool m_readIsPipe = false;   // a pipe or socket: a read may block for more
  // A second open of the file when the lock needs an access the object's
  // own descriptor lacks (an exclusive lock on a read-only open).
  yq::UniqueFd m_lockFd;
  int m_lockedFd = -1;
  yq::UniqueMapping m_view;
};
