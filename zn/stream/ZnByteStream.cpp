#include "zn/stream/ZnByteStream.h"

#include <climits>
#include <cstddef>
#include <cstring>

#include "zn/stream/internal/StreamError.h"
#include "zuzazer/FXErrorUtil.h"

using zn::detail::ThrowStreamError;

namespace {

constexpr int kCopyPiece = 4096;
constexpr int kSkipPiece = 512;

}  // namespace

ZnByteStream::~ZnByteStream() = default;

void ZnByteStream::seek(long long offset, int whence) {
  constexpr const char* kSeek = "ZnByteStream::seek";
  constexpr const char* kBackward = "Seeking backward is not supported by this byte stream.";
  long long skip = 0;
  switch (whence) {
    case 0: {
      const long long here = tell();
      if (offset < here) ThrowStreamError(kSeek, kBackward);
      skip = offset - here;
      break;
    }
    case 1:
      if (offset < 0) ThrowStreamError(kSeek, kBackward);
      skip = offset;
      break;
    case 2: ThrowStreamError(kSeek, "Seeking from the end is not supported by this byte stream.");
    default: ThrowStreamError(kSeek, "Invalid value for 'whence' passed as input.");
  }
  char scratch[kSkipPiece] = {};
  while (skip > 0) {
    const int got = read(scratch, skip < kSkipPiece ? static_cast<int>(skip) : kSkipPiece);
    if (got <= 0) break;
    skip -= got;
  }
}

CYqError ZnByteStream::FeedSetEOF(long long /*size*/) {
  return FXErrorUtil::ErrorInt(FXCodeLocation(__FILE__, "ZnByteStream::FeedSetEOF", __LINE__), 1, "%s",
                               "Not Supported.Implementation is in DLPTargetDataStream");
}

unsigned char ZnByteStream::read8() {
  unsigned char byte = 0;
  if (read(&byte, 1) != 1) ThrowStreamError("ZnByteStream::read8", "Unexpected end of stream encountered.");
  return byte;
}

unsigned int ZnByteStream::read16() {
  const unsigned int low = read8();
  return low | static_cast<unsigned int>(read8()) << 8;
}

unsigned int ZnByteStream::read32() {
  unsigned int value = 0;
  for (int shift = 0; shift < 32; shift += 8) value |= static_cast<unsigned int>(read8()) << shift;
  return value;
}

unsigned long long ZnByteStream::read64() {
  unsigned long long value = 0;
  for (int shift = 0; shift < 64; shift += 8) value |= static_cast<unsigned long long>(read8()) << shift;
  return value;
}

void ZnByteStream::write8(unsigned char value) {
  // A byte that does not go in must not pass silently: the value would be
  // cut short in the middle.
  if (write(&value, 1) != 1) ThrowStreamError("ZnByteStream::write8", "The byte stream took no more data.");
}

void ZnByteStream::write16(unsigned int value) {
  write8(static_cast<unsigned char>(value));
  write8(static_cast<unsigned char>(value >> 8));
}

void ZnByteStream::write32(unsigned int value) {
  for (int shift = 0; shift < 32; shift += 8) write8(static_cast<unsigned char>(value >> shift));
}

void ZnByteStream::write64(unsigned long long value) {
  for (int shift = 0; shift < 64; shift += 8) write8(static_cast<unsigned char>(value >> shift));
}

int ZnByteStream::readAll(void* buffer, int count) {
  if (count > 0 && buffer == nullptr) ThrowStreamError("ZnByteStream::readAll", zn::detail::kInvalidBuffer);
  char* next = static_cast<char*>(buffer);
  int total = 0;
  while (total < count) {
    const int got = read(next + total, count - total);
    if (got <= 0) break;
    total += got;
  }
  return total;
}

int ZnByteStream::writeAll(const void* data, int count) {
  if (count > 0 && data == nullptr) ThrowStreamError("ZnByteStream::writeAll", zn::detail::kInvalidBuffer);
  const char* next = static_cast<const char*>(data);
  int total = 0;
  while (total < count) {
    const int put = write(next + total, count - total);
    if (put <= 0) break;
    total += put;
  }
  return total;
}

std::string ZnByteStream::readString() {
  std::string text;
  char byte = 0;
  while (read(&byte, 1) == 1 && byte != '\0') text.push_back(byte);
  return text;
}

void ZnByteStream::writeString(const char* text) {
  // Null is written as the empty string: the terminator alone.
  if (text == nullptr) text = "";
  const std::size_t bytes = std::strlen(text) + 1;
  if (bytes > static_cast<std::size_t>(INT_MAX)) ThrowStreamError("ZnByteStream::writeString", zn::detail::kInvalidSize);
  const int length = static_cast<int>(bytes);
  if (writeAll(text, length) != length) {
    ThrowStreamError("ZnByteStream::writeString", "The byte stream took no more data.");
  }
}

long long ZnByteStream::copy(ZnByteStream& source) {
  char piece[kCopyPiece];
  long long total = 0;
  while (true) {
    const int got = source.read(piece, kCopyPiece);
    if (got < 1) break;
    const int put = writeAll(piece, got);
    total += put;
    if (put != got) ThrowStreamError("ZnByteStream::copy", "The byte stream took no more data.");
  }
  return total;
}
