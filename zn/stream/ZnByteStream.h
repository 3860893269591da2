// Byte streams: the abstract ZnByteStream with its helpers, the in-memory
// ZnMemoryByteStream and the file-backed ZnStdioByteStream. Streams are
// reference counted (SPEnabled) and carry no lock: one thread at a time
// uses a stream. Every failure is a thrown ZnException.
#pragma once

#include <string>
#include <vector>
#include <memory>

#include "zn/base/ZnExport.h"
#include "zn/stream/ZnSP.h"
#include "zuzazer/CYqError.h"
#include "zuzazer/FXUniqueFd.h"

class ZN_EXPORT ZnByteStream : public SPEnabled {
 public:
  ZnByteStream() = default;
  ZnByteStream(const ZnByteStream&) = default;
  ZnByteStream& operator=(const ZnByteStream&) = default;
  ~ZnByteStream() override;

  // Bytes actually read, 0 at the end of the data (and for a count below 1).
  virtual int read(void* buffer, int count) = 0;
  // Bytes actually written (0 for a count below 1).
  virtual int write(const void* data, int count) = 0;
  // whence 0 from the start, 1 from the current position, 2 from the end.
  // This default serves streams that only move forward: it skips ahead by
  // reading and refuses to go back or to start from the end.
  virtual void seek(long long offset, int whence);
  virtual long long tell() const = 0;
  virtual void truncate(long long size) = 0;
  // Only streams defined outside this library support it; the default
  // returns the error value of an unsupported call.
  virtual CYqError FeedSetEOF(long long size);

  // Integers are read and written least significant byte first. The reads
  // throw "Unexpected end of stream encountered." at the end of the data.
  unsigned char read8();
  unsigned int read16();
  unsigned int read32();
  unsigned long long read64();
  void write8(unsigned char value);
  void write16(unsigned int value);
  void write32(unsigned int value);
  void write64(unsigned long long value);

  // Reads until `count` bytes are in or the data ends; returns the total.
  int readAll(void* buffer, int count);
  // Writes until `count` bytes are out or a write takes nothing; returns
  // the total.
  int writeAll(const void* data, int count);

  // A string is its bytes and a terminating zero byte. readString returns
  // the bytes before the zero (or before the end of the data).
  std::string readString();
  void writeString(const char* text);

  // Appends everything that can still be read from `source`; returns the
  // number of bytes copied.
  long long copy(ZnByteStream& source);
};

class ZN_EXPORT ZnMemoryByteStream : public ZnByteStream {
 public:
  ZnMemoryByteStream();
  // Writes `size` bytes of `data` (when not null): the position ends up at
  // the end of the data.
  ZnMemoryByteStream(const void* data, int size);
  // Copies own chunks of their own.
  ZnMemoryByteStream(const ZnMemoryByteStream& other);
  ZnMemoryByteStream& operator=(const ZnMemoryByteStream& other);
  ~ZnMemoryByteStream() override;

  // One read never crosses a 32 KiB chunk: use readAll for more. Bytes
  // never written read as zeros.
  int read(void* buffer, int count) override;
  // One write never crosses a chunk either. The stream holds at most
  // 2^31 - 1 bytes; a write at that limit writes nothing.
  int write(const void* data, int count) override;
  // whence 2 counts backwards from the end: seek(10, 2) on 100 bytes stands
  // at 90. A target before the start becomes 0; one beyond the end is kept.
  void seek(long long offset, int whence) override;
  long long tell() const override { return m_position; }
  // Only shrinks: the chunks past the new end are freed.
  void truncate(long long size) override;

  int size() const { return m_size; }

 private:
  static const int block_size = 32768;

  char* chunkFor(int index, int offset, int count, const char* function);
  void zeroGap(int from, int to);

  std::vector<std::unique_ptr<char[]>> m_chunks;
  int m_position = 0;
  int m_size = 0;
};

class ZN_EXPORT ZnStdioByteStream : public ZnByteStream {
 public:
  // mode: 'r' and/or 'w' in any case (null means "rw"). "rw" opens the file,
  // creating it when absent; "r" opens an existing file; "w" and "" create
  // it, replacing any existing one.
  ZnStdioByteStream(const char* path, const char* mode);
  // Works on a duplicate of an open handle (FXFile::HandleFromDescriptor).
  explicit ZnStdioByteStream(void* handle);
  // A copy works on a duplicate of the same open file.
  ZnStdioByteStream(const ZnStdioByteStream& other);
  ZnStdioByteStream& operator=(const ZnStdioByteStream& other);
  ~ZnStdioByteStream() override;

  int read(void* buffer, int count) override;
  int write(const void* data, int count) override;
  // whence 0 from the start, 1 from the current position, any other value
  // from the end (offset added to the size).
  void seek(long long offset, int whence) override;
  long long tell() const override;
  void truncate(long long size) override;

  void close();

 private:
  std::string m_path;
  yq::UniqueFd m_handle;
  bool m_readable = false;
  bool m_writable = false;
};
