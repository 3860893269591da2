// The helpers every byte stream has: integers (least significant byte
// first), strings with their terminator, readAll/writeAll, copy, the
// forward-only default seek and the unsupported FeedSetEOF.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "stream/StreamTestUtil.h"
#include "zn/stream/ZnByteStream.h"
#include "zuzazer/CYqError.h"

namespace {

using zn::test::ExpectStreamError;
using zn::test::Pattern;

std::vector<unsigned char> Contents(ZnMemoryByteStream& stream) {
  std::vector<unsigned char> bytes(static_cast<std::size_t>(stream.size()));
  stream.seek(0, 0);
  stream.readAll(bytes.data(), stream.size());
  return bytes;
}

// A stream that can only move forward: a view of some bytes handed out at
// most `piece` at a time, with no seek of its own.
class ForwardOnly : public ZnByteStream {
 public:
  ForwardOnly(std::vector<unsigned char> data, int piece) : m_data(std::move(data)), m_piece(piece) {}

  int read(void* buffer, int count) override {
    ++reads;
    const int left = static_cast<int>(m_data.size()) - m_position;
    const int n = std::min({count, left, m_piece});
    if (n <= 0) return 0;
    std::memcpy(buffer, m_data.data() + m_position, static_cast<std::size_t>(n));
    m_position += n;
    return n;
  }
  int write(const void* data, int count) override {
    // Takes at most `m_piece` per call and stops at `capacity`.
    const int n = std::min({count, m_piece, capacity - static_cast<int>(written.size())});
    if (n <= 0) return 0;
    const auto* bytes = static_cast<const unsigned char*>(data);
    written.insert(written.end(), bytes, bytes + n);
    return n;
  }
  long long tell() const override { return m_position; }
  void truncate(long long) override {}

  int reads = 0;
  int capacity = INT_MAX;
  std::vector<unsigned char> written;

 private:
  std::vector<unsigned char> m_data;
  int m_piece;
  int m_position = 0;
};

TEST(ZnByteStreamHelpers, IntegersGoLeastSignificantByteFirst) {
  ZnMemoryByteStream stream;
  stream.write8(0xA5);
  stream.write16(0x1234);
  stream.write16(0xABCDEF);  // only the low 16 bits
  stream.write32(0x12345678);
  stream.write64(0x0102030405060708ULL);
  EXPECT_EQ(Contents(stream), (std::vector<unsigned char>{0xA5, 0x34, 0x12, 0xEF, 0xCD, 0x78, 0x56, 0x34, 0x12,
                                                          0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}));
  stream.seek(0, 0);
  EXPECT_EQ(stream.read8(), 0xA5u);
  EXPECT_EQ(stream.read16(), 0x1234u);
  EXPECT_EQ(stream.read16(), 0xCDEFu);
  EXPECT_EQ(stream.read32(), 0x12345678u);
  EXPECT_EQ(stream.read64(), 0x0102030405060708ULL);

  // Round trips at every width with all bits in play.
  ZnMemoryByteStream again;
  for (const unsigned long long value : {0ULL, 1ULL, 0x80ULL, 0xFFULL, 0x8001ULL, 0xFFFFULL, 0x80000001ULL,
                                         0xFFFFFFFFULL, 0x8000000000000001ULL, ~0ULL}) {
    again.write8(static_cast<unsigned char>(value));
    again.write16(static_cast<unsigned int>(value & 0xFFFF));
    again.write32(static_cast<unsigned int>(value));
    again.write64(value);
  }
  again.seek(0, 0);
  for (const unsigned long long value : {0ULL, 1ULL, 0x80ULL, 0xFFULL, 0x8001ULL, 0xFFFFULL, 0x80000001ULL,
                                         0xFFFFFFFFULL, 0x8000000000000001ULL, ~0ULL}) {
    EXPECT_EQ(again.read8(), static_cast<unsigned char>(value));
    EXPECT_EQ(again.read16(), value & 0xFFFF);
    EXPECT_EQ(again.read32(), static_cast<unsigned int>(value));
    EXPECT_EQ(again.read64(), value);
  }
  EXPECT_EQ(again.tell(), again.size());
}

TEST(ZnByteStreamHelpers, ReadingPastTheEndThrowsFromRead8) {
  const unsigned char two[] = {0x34, 0x12};
  ZnMemoryByteStream stream(two, 2);
  stream.seek(0, 0);
  EXPECT_EQ(stream.read16(), 0x1234u);
  ExpectStreamError([&] { stream.read8(); }, "ZnByteStream::read8", "Unexpected end of stream encountered.");
  stream.seek(1, 0);
  ExpectStreamError([&] { stream.read16(); }, "ZnByteStream::read8", "Unexpected end of stream encountered.");
  stream.seek(0, 0);
  ExpectStreamError([&] { stream.read32(); }, "ZnByteStream::read8", "Unexpected end of stream encountered.");
}

TEST(ZnByteStreamHelpers, StringsCarryTheirTerminator) {
  ZnMemoryByteStream stream;
  stream.writeString("ab");
  EXPECT_EQ(stream.size(), 3);
  EXPECT_EQ(Contents(stream), (std::vector<unsigned char>{'a', 'b', 0}));

  ZnMemoryByteStream mixed("ab\0c", 4);
  mixed.seek(0, 0);
  EXPECT_EQ(mixed.readString(), "ab");
  EXPECT_EQ(mixed.tell(), 3);  // just before "c"
  EXPECT_EQ(mixed.readString(), "c");  // the end of the data ends it too
  EXPECT_EQ(mixed.readString(), "");

  ZnMemoryByteStream several;
  for (const char* text : {"", "one", "two words", ""}) several.writeString(text);
  several.writeString(nullptr);  // as the empty string
  several.seek(0, 0);
  for (const char* text : {"", "one", "two words", "", ""}) EXPECT_EQ(several.readString(), text);
  EXPECT_EQ(several.tell(), several.size());
}

TEST(ZnByteStreamHelpers, CopyAppendsWhatIsLeftInTheSource) {
  const auto data = Pattern(10000);
  ZnMemoryByteStream source(data.data(), 10000);
  source.seek(1234, 0);
  ZnMemoryByteStream target("head", 4);
  EXPECT_EQ(target.copy(source), 10000 - 1234);
  auto expected = std::vector<unsigned char>{'h', 'e', 'a', 'd'};
  expected.insert(expected.end(), data.begin() + 1234, data.end());
  EXPECT_EQ(Contents(target), expected);
  EXPECT_EQ(target.copy(source), 0);  // nothing left

  // A destination that fills up must not look like a complete copy.
  ForwardOnly full(data, 100);
  full.capacity = 500;
  ZnMemoryByteStream from(data.data(), 1000);
  from.seek(0, 0);
  ExpectStreamError([&] { full.copy(from); }, "ZnByteStream::copy", "The byte stream took no more data.");
  EXPECT_EQ(full.written, std::vector<unsigned char>(data.begin(), data.begin() + 500));
}

TEST(ZnByteStreamHelpers, ReadAllAndWriteAllLoopOverShortCalls) {
  const auto data = Pattern(1000);
  ForwardOnly stream(data, 7);
  std::vector<unsigned char> out(1000);
  EXPECT_EQ(stream.readAll(out.data(), 1000), 1000);
  EXPECT_EQ(out, data);
  EXPECT_EQ(stream.reads, 143);  // 142 pieces of 7 and one of 6

  EXPECT_EQ(stream.writeAll(data.data(), 1000), 1000);
  EXPECT_EQ(stream.written, data);
  stream.capacity = 1003;
  EXPECT_EQ(stream.writeAll(data.data(), 10), 3);  // stops when a write takes nothing
  ExpectStreamError([&] { stream.writeString("abc"); }, "ZnByteStream::writeString",
                    "The byte stream took no more data.");
}

TEST(ZnByteStreamHelpers, DefaultSeekOnlySkipsForward) {
  const auto data = Pattern(3000);
  ForwardOnly stream(data, 10000);
  stream.seek(1500, 0);
  EXPECT_EQ(stream.tell(), 1500);
  EXPECT_EQ(stream.reads, 3);  // 512 + 512 + 476
  EXPECT_EQ(stream.read8(), data[1500]);
  stream.seek(99, 1);
  EXPECT_EQ(stream.tell(), 1600);
  stream.seek(1600, 0);  // where it is: nothing to skip
  stream.seek(0, 1);
  EXPECT_EQ(stream.tell(), 1600);
  stream.seek(5000, 0);  // the data ends first
  EXPECT_EQ(stream.tell(), 3000);

  ExpectStreamError([&] { stream.seek(10, 0); }, "ZnByteStream::seek",
                    "Seeking backward is not supported by this byte stream.");
  ExpectStreamError([&] { stream.seek(-1, 1); }, "ZnByteStream::seek",
                    "Seeking backward is not supported by this byte stream.");
  ExpectStreamError([&] { stream.seek(0, 2); }, "ZnByteStream::seek",
                    "Seeking from the end is not supported by this byte stream.");
  ExpectStreamError([&] { stream.seek(0, 3); }, "ZnByteStream::seek", "Invalid value for 'whence' passed as input.");
  ExpectStreamError([&] { stream.seek(0, -1); }, "ZnByteStream::seek", "Invalid value for 'whence' passed as input.");
}

TEST(ZnByteStreamHelpers, FeedSetEOFIsNotSupportedHere) {
  ZnMemoryByteStream stream;
  const CYqError error = stream.FeedSetEOF(10);
  ASSERT_TRUE(error.IsError());
  EXPECT_EQ(error.GetErrorCode(), 1u);
  EXPECT_EQ(error.AsString(eErrorOutputUser), "Not Supported.Implementation is in DLPTargetDataStream");
  ASSERT_EQ(error.GetItems().size(), 1u);
  EXPECT_EQ(error.GetItems()[0]->GetLocation().GetFunction(), "ZnByteStream::FeedSetEOF");
}

}  // namespace
