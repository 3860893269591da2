// The read and write buffers of ZNFile and the line calls built on them.

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "zn/file/ZNFile.h"
#include "zn/file/internal/FileErrors.h"
#include "zuzazer/YqWin32Errors.h"

long ZNFile::bufRead(char* buffer, unsigned long size) {
  if (!canRead() || (buffer == nullptr && size > 0)) {
    m_lastError = -1;
    return -1;
  }
  // Bytes written through the buffer come before what is read after them.
  if (sameReadWriteFile() && m_writeWaiting > 0 && flushWriteBuffer() != 0) return -1;
  unsigned long copied = std::min(size, m_readLeft);
  std::memcpy(buffer, m_readBuffer.get() + m_readPos, copied);
  m_readPos += copied;
  m_readLeft -= copied;
  // From a pipe, what was waiting is what there is: another read would
  // wait for the writer.
  if (m_readIsPipe && copied > 0) return static_cast<long>(copied);
  while (copied < size) {
    const unsigned long wanted = size - copied;
    if (wanted >= m_bufSize) {
      const long got = read(buffer + copied, wanted);
      if (got <= 0) return copied > 0 ? static_cast<long>(copied) : got;
      copied += static_cast<unsigned long>(got);
      // A short read is all there is for now (the end of the file, or a
      // pipe that has no more yet): asking again would block on a pipe.
      if (static_cast<unsigned long>(got) < wanted) break;
      continue;
    }
    const long got = read(m_readBuffer.get(), m_bufSize);
    if (got <= 0) return copied > 0 ? static_cast<long>(copied) : got;
    const unsigned long take = std::min(wanted, static_cast<unsigned long>(got));
    std::memcpy(buffer + copied, m_readBuffer.get(), take);
    copied += take;
    m_readPos = take;
    m_readLeft = static_cast<unsigned long>(got) - take;
    if (static_cast<unsigned long>(got) < m_bufSize) break;
  }
  return static_cast<long>(copied);
}

int ZNFile::flushWriteBuffer() {
  if (m_writeWaiting == 0) return 0;
  if (!canWrite()) {
    m_lastError = -1;
    return -1;
  }
  unsigned long done = 0;
  const int result = writeAll(m_writeBuffer.get(), m_writeWaiting, done);
  // What did not go in stays for a later flush: nothing is dropped quietly.
  std::memmove(m_writeBuffer.get(), m_writeBuffer.get() + done, m_writeWaiting - done);
  m_writeWaiting -= done;
  return result;
}

int ZNFile::dropReadAhead() {
  if (m_readLeft == 0) return 0;
  if (::lseek(m_readFd, -static_cast<off_t>(m_readLeft), SEEK_CUR) < 0) {
    m_lastError = static_cast<int>(zn::detail::FileErrorFromErrno(errno));
    return -1;
  }
  m_offset -= static_cast<long long>(m_readLeft);
  m_readPos = m_readLeft = 0;
  return 0;
}

long ZNFile::bufWrite(const char* data, unsigned long size) {
  if (!canWrite() || (data == nullptr && size > 0)) {
    m_lastError = -1;
    return -1;
  }
  // Bytes read ahead are given back first, so the write lands where the
  // caller stands.
  if (sameReadWriteFile() && dropReadAhead() != 0) return -1;
  unsigned long done = 0;
  while (done < size) {
    const unsigned long remaining = size - done;
    if (m_writeWaiting == 0 && remaining >= m_bufSize) {
      unsigned long written = 0;
      if (writeAll(data + done, remaining, written) != 0) return -1;
      done += written;
      break;
    }
    if (m_writeWaiting >= m_bufSize) {
      if (flushWriteBuffer() != 0) return -1;
      continue;
    }
    const unsigned long take = std::min(remaining, m_bufSize - m_writeWaiting);
    std::memcpy(m_writeBuffer.get() + m_writeWaiting, data + done, take);
    m_writeWaiting += take;
    done += take;
    if (m_writeWaiting == m_bufSize && flushWriteBuffer() != 0) return -1;
  }
  return static_cast<long>(done);
}

int ZNFile::bufWriteFlush() {
  if (m_writeWaiting == 0) return 0;
  return flushWriteBuffer() == 0 ? 0 : -1;
}

int ZNFile::bufReadFlush() {
  m_readPos = m_readLeft = 0;
  return 0;
}

int ZNFile::setBufSize(unsigned long size) {
  if (size == 0) {
    m_lastError = -1;
    return -1;
  }
  if (size > m_bufCapacity) {
    std::unique_ptr<char[]> readBuffer(new (std::nothrow) char[size]);
    std::unique_ptr<char[]> writeBuffer(new (std::nothrow) char[size]);
    if (!readBuffer || !writeBuffer) {
      m_lastError = static_cast<int>(yq::kErrorNotEnoughMemory);
      return -1;
    }
    if (m_readLeft > 0) std::memcpy(readBuffer.get(), m_readBuffer.get() + m_readPos, m_readLeft);
    if (m_writeWaiting > 0) std::memcpy(writeBuffer.get(), m_writeBuffer.get(), m_writeWaiting);
    m_readBuffer = std::move(readBuffer);
    m_writeBuffer = std::move(writeBuffer);
    m_readPos = 0;
    m_bufCapacity = size;
  }
  m_bufSize = size;
  return 0;
}

int ZNFile::getLine(char* buffer, unsigned long size) {
  if (!canRead() || buffer == nullptr || size == 0) {
    m_lastError = -1;
    return -1;
  }
  if (sameReadWriteFile() && m_writeWaiting > 0 && flushWriteBuffer() != 0) return -1;
  const unsigned long room = size - 1;
  unsigned long stored = 0;
  bool overflow = false;
  bool readSomething = false;
  // A carriage return at the end of the buffered bytes: whether it is kept
  // depends on the byte after it.
  bool pendingReturn = false;
  auto store = [&](const char* bytes, unsigned long count) {
    const unsigned long take = std::min(count, room - stored);
    std::memcpy(buffer + stored, bytes, take);
    stored += take;
    if (take < count) overflow = true;
  };
  while (true) {
    if (m_readLeft == 0) {
      const long got = read(m_readBuffer.get(), m_bufSize);
      if (got < 0) {
        buffer[stored] = '\0';
        return -1;
      }
      if (got == 0) break;
      m_readPos = 0;
      m_readLeft = static_cast<unsigned long>(got);
    }
    const char* start = m_readBuffer.get() + m_readPos;
    const auto* lineFeed = static_cast<const char*>(std::memchr(start, '\n', m_readLeft));
    unsigned long length = lineFeed != nullptr ? static_cast<unsigned long>(lineFeed - start) : m_readLeft;
    readSomething = true;
    if (length > 0) {
      if (pendingReturn) store("\r", 1);
      pendingReturn = false;
      unsigned long keep = length;
      if (start[length - 1] == '\r') {
        --keep;
        // Before the line feed it goes; at the end of the buffer we wait.
        if (lineFeed == nullptr) pendingReturn = true;
      }
      store(start, keep);
    }
    const unsigned long consumed = length + (lineFeed != nullptr ? 1 : 0);
    m_readPos += consumed;
    m_readLeft -= consumed;
    if (lineFeed != nullptr) {
      pendingReturn = false;
      break;
    }
  }
  if (pendingReturn) store("\r", 1);
  buffer[stored] = '\0';
  if (overflow) {
    m_lastError = -2;
    return -1;
  }
  return readSomething ? 1 : 0;
}

int ZNFile::putLine(const char* text, bool flush) {
  if (text == nullptr) {
    m_lastError = -1;
    return -1;
  }
  const unsigned long length = std::strlen(text);
  if (bufWrite(text, length) != static_cast<long>(length)) return -1;
  if (bufWrite("\r\n", 2) != 2) return -1;
  if (flush && bufWriteFlush() != 0) return -1;
  return 0;
}
