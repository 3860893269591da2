// ZnMemoryByteStream: chunk boundaries, seeking, sparse writes, truncation
// and copies, every read checked byte for byte.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "stream/StreamTestUtil.h"
#include "zn/stream/ZnByteStream.h"

namespace {

using zn::test::ExpectStreamError;
using zn::test::Pattern;

constexpr int kChunk = 32768;

// Everything from the current position to the end, in pieces of `piece`
// bytes, each read no longer than the rest of its chunk.
std::vector<unsigned char> ReadRest(ZnMemoryByteStream& stream, int piece) {
  std::vector<unsigned char> out;
  std::vector<unsigned char> buffer(static_cast<std::size_t>(piece));
  while (true) {
    const long long before = stream.tell();
    const int got = stream.read(buffer.data(), piece);
    if (got == 0) break;
    EXPECT_LE(got, kChunk - before % kChunk) << "a read crossed a chunk at " << before;
    EXPECT_EQ(stream.tell(), before + got);
    out.insert(out.end(), buffer.begin(), buffer.begin() + got);
  }
  return out;
}

TEST(ZnMemoryByteStream, WritesAtChunkBoundariesReadBackExactly) {
  for (const int size : {1, 32767, 32768, 32769, 100000}) {
    const auto data = Pattern(static_cast<std::size_t>(size), static_cast<unsigned>(size));
    ZnMemoryByteStream stream;
    EXPECT_EQ(stream.writeAll(data.data(), size), size);
    EXPECT_EQ(stream.size(), size);
    EXPECT_EQ(stream.tell(), size);
    for (const int piece : {1, 7, 4093, 32769}) {
      stream.seek(0, 0);
      EXPECT_EQ(ReadRest(stream, piece), data) << size << " bytes read in pieces of " << piece;
    }
    // readAll crosses chunks in one call.
    stream.seek(0, 0);
    std::vector<unsigned char> all(static_cast<std::size_t>(size) + 10);
    EXPECT_EQ(stream.readAll(all.data(), size + 10), size);
    all.resize(static_cast<std::size_t>(size));
    EXPECT_EQ(all, data);
  }
}

TEST(ZnMemoryByteStream, OneWriteStopsAtTheEndOfItsChunk) {
  const auto data = Pattern(40000);
  ZnMemoryByteStream stream;
  EXPECT_EQ(stream.write(data.data(), 40000), kChunk);
  EXPECT_EQ(stream.size(), kChunk);
  EXPECT_EQ(stream.write(data.data() + kChunk, 40000 - kChunk), 40000 - kChunk);
  EXPECT_EQ(stream.size(), 40000);

  // From the middle of a chunk, a write fills only the rest of it.
  stream.seek(kChunk - 10, 0);
  EXPECT_EQ(stream.write(data.data(), 100), 10);
  EXPECT_EQ(stream.tell(), kChunk);
  EXPECT_EQ(stream.size(), 40000);
}

TEST(ZnMemoryByteStream, BuiltFromDataStandsAtItsEnd) {
  const char data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ZnMemoryByteStream stream(data, 10);
  EXPECT_EQ(stream.tell(), 10);
  EXPECT_EQ(stream.size(), 10);
  char out[10] = {};
  EXPECT_EQ(stream.read(out, 10), 0);
  stream.seek(0, 0);
  EXPECT_EQ(stream.read(out, 10), 10);
  EXPECT_EQ(std::memcmp(out, data, 10), 0);

  ZnMemoryByteStream fromNull(nullptr, 10);
  EXPECT_EQ(fromNull.size(), 0);
}

TEST(ZnMemoryByteStream, SeekFromTheEndCountsBackwards) {
  const auto data = Pattern(100);
  ZnMemoryByteStream stream(data.data(), 100);
  stream.seek(10, 2);
  EXPECT_EQ(stream.tell(), 90);
  EXPECT_EQ(stream.read8(), data[90]);
  stream.seek(200, 2);
  EXPECT_EQ(stream.tell(), 0);
  stream.seek(-5, 2);  // past the end is allowed
  EXPECT_EQ(stream.tell(), 105);
  stream.seek(-10, 1);
  EXPECT_EQ(stream.tell(), 95);
  stream.seek(-1000, 1);
  EXPECT_EQ(stream.tell(), 0);
  stream.seek(-3, 0);
  EXPECT_EQ(stream.tell(), 0);
  stream.seek(42, 7);  // any other whence counts from the start
  EXPECT_EQ(stream.tell(), 42);
  stream.seek(LLONG_MIN, 1);  // no overflow: far before the start is 0
  EXPECT_EQ(stream.tell(), 0);

  stream.seek(42, 0);
  ExpectStreamError([&] { stream.seek(LLONG_MIN, 2); }, "ZnMemoryByteStream::seek",
                    "Seeking beyond the largest size of this byte stream.");
  EXPECT_EQ(stream.tell(), 42);  // a refused seek leaves the position alone
  stream.seek(0, 0);
  ExpectStreamError([&] { stream.seek(static_cast<long long>(INT_MAX) + 1, 0); }, "ZnMemoryByteStream::seek",
                    "Seeking beyond the largest size of this byte stream.");
  ExpectStreamError([&] { stream.seek(LLONG_MAX, 1); }, "ZnMemoryByteStream::seek",
                    "Seeking beyond the largest size of this byte stream.");
  EXPECT_EQ(stream.tell(), 0);
}

TEST(ZnMemoryByteStream, SparseWritesReadAsZeros) {
  ZnMemoryByteStream stream;
  stream.seek(70000, 0);
  stream.write8(0xAB);
  EXPECT_EQ(stream.size(), 70001);
  stream.seek(0, 0);
  std::vector<unsigned char> all(70001);
  ASSERT_EQ(stream.readAll(all.data(), 70001), 70001);
  EXPECT_TRUE(std::all_of(all.begin(), all.end() - 1, [](unsigned char b) { return b == 0; }));
  EXPECT_EQ(all.back(), 0xAB);

  // A gap inside an allocated chunk, and one left behind by a truncate: both
  // must read as zeros, not as the bytes that were there.
  ZnMemoryByteStream reused;
  const auto data = Pattern(kChunk);
  reused.writeAll(data.data(), kChunk);
  reused.truncate(100);
  reused.seek(1000, 0);
  reused.write8(0xCD);
  reused.seek(0, 0);
  std::vector<unsigned char> back(1001);
  ASSERT_EQ(reused.readAll(back.data(), 1001), 1001);
  EXPECT_TRUE(std::equal(back.begin(), back.begin() + 100, data.begin()));
  EXPECT_TRUE(std::all_of(back.begin() + 100, back.begin() + 1000, [](unsigned char b) { return b == 0; }));
  EXPECT_EQ(back[1000], 0xCD);

  // A write of nothing past the end still moves the end there, without
  // making a chunk; a chunk made later below that end must not show what
  // its memory held (AddressSanitizer fills fresh memory with 0xbe).
  ZnMemoryByteStream empty;
  empty.seek(27617, 0);
  EXPECT_EQ(empty.write("x", 0), 0);
  EXPECT_EQ(empty.size(), 27617);
  empty.seek(100, 0);
  empty.write8(0x11);
  empty.seek(0, 0);
  std::vector<unsigned char> zeros(27617, 0xFF);
  EXPECT_EQ(empty.readAll(zeros.data(), 30000), 27617);
  EXPECT_EQ(zeros[100], 0x11);
  zeros[100] = 0;
  EXPECT_TRUE(std::all_of(zeros.begin(), zeros.end(), [](unsigned char b) { return b == 0; }));
}

TEST(ZnMemoryByteStream, TruncateOnlyShrinks) {
  const auto data = Pattern(100000);
  ZnMemoryByteStream stream(data.data(), 100000);
  stream.truncate(200000);
  EXPECT_EQ(stream.size(), 100000);
  EXPECT_EQ(stream.tell(), 100000);

  stream.truncate(40000);
  EXPECT_EQ(stream.size(), 40000);
  EXPECT_EQ(stream.tell(), 40000);
  stream.seek(0, 0);
  EXPECT_EQ(ReadRest(stream, 9999), std::vector<unsigned char>(data.begin(), data.begin() + 40000));

  stream.seek(10, 0);
  stream.truncate(20);
  EXPECT_EQ(stream.tell(), 10);  // a position inside the new size stays

  stream.truncate(0);
  EXPECT_EQ(stream.size(), 0);
  EXPECT_EQ(stream.tell(), 0);
  char byte = 0;
  EXPECT_EQ(stream.read(&byte, 1), 0);
  // Written again from scratch, nothing of the old data shows.
  stream.seek(5, 0);
  stream.write8(1);
  stream.seek(0, 0);
  unsigned char six[6];
  ASSERT_EQ(stream.readAll(six, 6), 6);
  EXPECT_EQ(std::vector<unsigned char>(six, six + 6), (std::vector<unsigned char>{0, 0, 0, 0, 0, 1}));

  ExpectStreamError([&] { stream.truncate(-1); }, "ZnMemoryByteStream::truncate", "Invalid size passed as input.");
  EXPECT_EQ(stream.size(), 6);
}

TEST(ZnMemoryByteStream, CopiesOwnTheirChunks) {
  const auto data = Pattern(70000);
  ZnMemoryByteStream original(data.data(), 70000);
  original.incCount();  // left at 1: it lives on the stack
  ZnMemoryByteStream copy(original);
  EXPECT_EQ(copy.getCount(), 0);
  EXPECT_EQ(copy.size(), 70000);
  EXPECT_EQ(copy.tell(), 70000);
  original.seek(0, 0);
  original.write8(0);
  copy.seek(0, 0);
  EXPECT_EQ(copy.read8(), data[0]);

  ZnMemoryByteStream assigned;
  assigned.write8(9);
  assigned = copy;
  assigned.seek(0, 0);
  EXPECT_EQ(ReadRest(assigned, 5000), data);
  auto& self = assigned;
  assigned = self;
  EXPECT_EQ(assigned.size(), 70000);
}

TEST(ZnMemoryByteStream, BadCountsAndBuffers) {
  ZnMemoryByteStream stream("abc", 3);
  stream.seek(0, 0);
  char out[4] = {};
  EXPECT_EQ(stream.read(out, -1), 0);
  EXPECT_EQ(stream.write("x", -1), 0);
  EXPECT_EQ(stream.size(), 3);
  EXPECT_EQ(stream.readAll(out, -5), 0);
  EXPECT_EQ(stream.writeAll("x", -5), 0);
  EXPECT_EQ(stream.read(nullptr, 0), 0);
  ExpectStreamError([&] { stream.read(nullptr, 2); }, "ZnMemoryByteStream::read", "Invalid buffer passed as input.");
  ExpectStreamError([&] { stream.write(nullptr, 2); }, "ZnMemoryByteStream::write",
                    "Invalid buffer passed as input.");
  ExpectStreamError([&] { stream.readAll(nullptr, 2); }, "ZnByteStream::readAll", "Invalid buffer passed as input.");
  ExpectStreamError([&] { stream.writeAll(nullptr, 2); }, "ZnByteStream::writeAll",
                    "Invalid buffer passed as input.");
  EXPECT_EQ(stream.tell(), 0);
  EXPECT_EQ(stream.size(), 3);
}

TEST(ZnMemoryByteStream, StopsAtTheLargestPosition) {
  ZnMemoryByteStream stream;
  stream.seek(INT_MAX - 3, 0);
  EXPECT_EQ(stream.write("abcdef", 6), 3);
  EXPECT_EQ(stream.size(), INT_MAX);
  EXPECT_EQ(stream.write("g", 1), 0);
  ExpectStreamError([&] { stream.write8('h'); }, "ZnByteStream::write8", "The byte stream took no more data.");
  stream.seek(3, 2);
  EXPECT_EQ(stream.readString(), "abc");
  stream.seek(0, 0);
  EXPECT_EQ(stream.read8(), 0);  // the untouched chunks cost nothing and read as zeros
}

}  // namespace
