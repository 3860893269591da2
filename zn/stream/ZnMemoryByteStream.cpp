#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "zn/stream/ZnByteStream.h"
#include "zn/stream/internal/StreamError.h"

using zn::detail::ThrowStreamError;

namespace {

// A new stream's chunk table: room for 1 MiB before it grows.
constexpr std::size_t kInitialChunks = 32;
constexpr int kLargestPosition = INT_MAX;

}  // namespace

ZnMemoryByteStream::ZnMemoryByteStream() : m_chunks(kInitialChunks) {}

ZnMemoryByteStream::ZnMemoryByteStream(const void* data, int size) : ZnMemoryByteStream() {
  if (data != nullptr) writeAll(data, size);
}

ZnMemoryByteStream::ZnMemoryByteStream(const ZnMemoryByteStream& other)
    : ZnByteStream(other), m_chunks(other.m_chunks.size()), m_position(other.m_position), m_size(other.m_size) {
  for (std::size_t i = 0; i < other.m_chunks.size(); ++i) {
    if (!other.m_chunks[i]) continue;
    m_chunks[i].reset(new (std::nothrow) char[block_size]);
    if (!m_chunks[i]) ThrowStreamError("ZnMemoryByteStream::ZnMemoryByteStream", zn::detail::kNotEnoughMemory);
    std::memcpy(m_chunks[i].get(), other.m_chunks[i].get(), block_size);
  }
}

ZnMemoryByteStream& ZnMemoryByteStream::operator=(const ZnMemoryByteStream& other) {
  if (this != &other) {
    // Copied aside first: a failure leaves this stream as it was.
    ZnMemoryByteStream copy(other);
    m_chunks.swap(copy.m_chunks);
    m_position = copy.m_position;
    m_size = copy.m_size;
  }
  return *this;
}

ZnMemoryByteStream::~ZnMemoryByteStream() = default;

int ZnMemoryByteStream::read(void* buffer, int count) {
  if (count > 0 && buffer == nullptr) ThrowStreamError("ZnMemoryByteStream::read", zn::detail::kInvalidBuffer);
  const long long available = static_cast<long long>(m_size) - m_position;
  int n = static_cast<int>(std::min<long long>(count, available));
  if (n < 1) return 0;
  const int index = m_position / block_size;
  const int offset = m_position % block_size;
  n = std::min(n, block_size - offset);
  const char* chunk = static_cast<std::size_t>(index) < m_chunks.size() ? m_chunks[index].get() : nullptr;
  if (chunk != nullptr) {
    std::memcpy(buffer, chunk + offset, static_cast<std::size_t>(n));
  } else {
    std::memset(buffer, 0, static_cast<std::size_t>(n));
  }
  m_position += n;
  return n;
}

int ZnMemoryByteStream::write(const void* data, int count) {
  constexpr const char* kWrite = "ZnMemoryByteStream::write";
  if (count < 0) return 0;
  if (count > 0 && data == nullptr) ThrowStreamError(kWrite, zn::detail::kInvalidBuffer);
  const int index = m_position / block_size;
  const int offset = m_position % block_size;
  const int n = std::min({count, block_size - offset, kLargestPosition - m_position});
  if (n == 0 && count > 0) return 0;  // the stream is at its largest size
  char* chunk = n > 0 ? chunkFor(index, offset, n, kWrite) : nullptr;
  zeroGap(m_size, m_position);
  if (n > 0) std::memcpy(chunk + offset, data, static_cast<std::size_t>(n));
  m_position += n;
  m_size = std::max(m_size, m_position);
  return n;
}

// The chunk at `index`, for a write of `count` bytes at `offset`. A chunk
// made now is cleared except where that write goes: the stream may already
// reach past it (a write of nothing moves the end), and those bytes must
// read as zeros, not as whatever the memory held. When memory runs out the
// stream stays as it was.
char* ZnMemoryByteStream::chunkFor(int index, int offset, int count, const char* function) {
  const std::size_t slot = static_cast<std::size_t>(index);
  if (slot < m_chunks.size() && m_chunks[slot]) return m_chunks[slot].get();
  std::unique_ptr<char[]> chunk(new (std::nothrow) char[block_size]);
  if (!chunk) ThrowStreamError(function, zn::detail::kNotEnoughMemory);
  try {
    if (slot >= m_chunks.size()) m_chunks.resize(slot + 1);
  } catch (const std::bad_alloc&) {
    ThrowStreamError(function, zn::detail::kNotEnoughMemory);
  }
  std::memset(chunk.get(), 0, static_cast<std::size_t>(offset));
  // Past the write, only what already lies below the end needs clearing;
  // bytes past the end are never read.
  const long long chunkStart = static_cast<long long>(index) * block_size;
  const int dataEnd = static_cast<int>(std::clamp<long long>(m_size - chunkStart, 0, block_size));
  if (dataEnd > offset + count) {
    std::memset(chunk.get() + offset + count, 0, static_cast<std::size_t>(dataEnd - offset - count));
  }
  m_chunks[slot] = std::move(chunk);
  return m_chunks[slot].get();
}

// A write past the end leaves a gap [from, to) that must read as zeros, not
// as what a fresh chunk held or what truncate left behind. Missing chunks
// read as zeros anyway; only allocated ones are cleared.
void ZnMemoryByteStream::zeroGap(int from, int to) {
  if (from >= to) return;
  const int first = from / block_size;
  const int last = (to - 1) / block_size;
  for (int index = first; index <= last && static_cast<std::size_t>(index) < m_chunks.size(); ++index) {
    char* chunk = m_chunks[index].get();
    if (chunk == nullptr) continue;
    const long long chunkStart = static_cast<long long>(index) * block_size;
    const int begin = index == first ? from % block_size : 0;
    const int end = static_cast<int>(std::min<long long>(block_size, to - chunkStart));
    std::memset(chunk + begin, 0, static_cast<std::size_t>(end - begin));
  }
}

void ZnMemoryByteStream::seek(long long offset, int whence) {
  // In 128 bits, so that no offset can overflow the sum.
  __int128 target = offset;
  if (whence == 2) {
    target = static_cast<__int128>(m_size) - offset;
  } else if (whence == 1) {
    target = static_cast<__int128>(m_position) + offset;
  }
  if (target < 0) target = 0;
  if (target > kLargestPosition) {
    ThrowStreamError("ZnMemoryByteStream::seek", "Seeking beyond the largest size of this byte stream.");
  }
  m_position = static_cast<int>(target);
}

void ZnMemoryByteStream::truncate(long long size) {
  if (size < 0) ThrowStreamError("ZnMemoryByteStream::truncate", zn::detail::kInvalidSize);
  if (size >= m_size) return;
  const int length = static_cast<int>(size);
  m_size = length;
  m_position = std::min(m_position, length);
  // Every chunk past the one holding the last byte goes; all of them at 0.
  const std::size_t keep = length == 0 ? 0 : static_cast<std::size_t>((length - 1) / block_size) + 1;
  for (std::size_t i = keep; i < m_chunks.size(); ++i) m_chunks[i].reset();
}
