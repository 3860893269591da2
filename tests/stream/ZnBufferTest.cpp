// ZnBuffer: sizes, copies, moves and resizing, with the storage checked
// under AddressSanitizer (a write past the rounded allocation would fault).

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "stream/StreamTestUtil.h"
#include "zn/stream/ZnBuffer.h"

namespace {

using zn::test::ExpectStreamError;

// Fills the whole allocation, rounded up to 8 bytes as the buffer promises.
void FillAllocation(ZnBuffer& buffer, char value) {
  const int rounded = (buffer.getSize() + 7) / 8 * 8;
  std::memset(static_cast<char*>(buffer), value, static_cast<std::size_t>(rounded));
}

TEST(ZnBuffer, AllocatesWholeMultiplesOfEightAndNothingForZero) {
  ZnBuffer empty;
  EXPECT_EQ(empty.getSize(), 0);
  EXPECT_EQ(static_cast<const void*>(empty), nullptr);
  for (const int size : {1, 5, 8, 9, 16, 17}) {
    ZnBuffer buffer(size);
    EXPECT_EQ(buffer.getSize(), size);
    ASSERT_NE(static_cast<char*>(buffer), nullptr);
    FillAllocation(buffer, 'x');  // 5 -> 8, 9 -> 16 bytes: all of it is ours
  }
}

TEST(ZnBuffer, CopiesAreDeepAndMovesLeaveTheSourceEmpty) {
  const std::string text = "0123456789";
  ZnBuffer original(text.data(), static_cast<int>(text.size()));
  ZnBuffer copy(original);
  static_cast<char*>(original)[0] = 'X';
  EXPECT_EQ(std::string(static_cast<const char*>(copy), 10), text);
  EXPECT_NE(static_cast<const void*>(copy), static_cast<const void*>(original));

  ZnBuffer assigned(3);
  assigned = copy;
  EXPECT_EQ(assigned.getSize(), 10);
  EXPECT_EQ(std::string(static_cast<const char*>(assigned), 10), text);
  const void* before = static_cast<const void*>(assigned);
  auto& self = assigned;
  assigned = self;  // assigning to itself changes nothing
  EXPECT_EQ(static_cast<const void*>(assigned), before);
  EXPECT_EQ(std::string(static_cast<const char*>(assigned), 10), text);

  ZnBuffer moved(std::move(assigned));
  EXPECT_EQ(moved.getSize(), 10);
  EXPECT_EQ(static_cast<const void*>(moved), before);
  EXPECT_EQ(assigned.getSize(), 0);  // NOLINT(bugprone-use-after-move): the promised state
  EXPECT_EQ(static_cast<const void*>(assigned), nullptr);

  ZnBuffer target(4);
  target = std::move(moved);
  EXPECT_EQ(static_cast<const void*>(target), before);
  EXPECT_EQ(moved.getSize(), 0);  // NOLINT(bugprone-use-after-move)

  ZnBuffer fromNull(nullptr, 6);  // storage without contents
  EXPECT_EQ(fromNull.getSize(), 6);
  FillAllocation(fromNull, 'y');
}

TEST(ZnBuffer, ResizeKeepsThePrefixAndRefusesNegativeSizes) {
  ZnBuffer buffer("abcdefghij", 10);
  buffer.resize(4);
  EXPECT_EQ(buffer.getSize(), 4);
  EXPECT_EQ(std::string(static_cast<const char*>(buffer), 4), "abcd");
  buffer.resize(20);
  EXPECT_EQ(buffer.getSize(), 20);
  EXPECT_EQ(std::string(static_cast<const char*>(buffer), 4), "abcd");
  FillAllocation(buffer, 'z');  // 24 bytes now

  const void* storage = static_cast<const void*>(buffer);
  ExpectStreamError([&] { buffer.resize(-1); }, "ZnBuffer::resize", "Allocation size can't be negative");
  EXPECT_EQ(buffer.getSize(), 20);  // left as it was
  EXPECT_EQ(static_cast<const void*>(buffer), storage);

  buffer.resize(0);
  EXPECT_EQ(buffer.getSize(), 0);
  EXPECT_EQ(static_cast<const void*>(buffer), nullptr);
}

TEST(ZnBuffer, NegativeOrImpossibleSizesThrowFromAlloc) {
  ExpectStreamError([] { ZnBuffer buffer(-5); }, "ZnBuffer::alloc", "Allocation size can't be negative");
  ExpectStreamError([] { ZnBuffer buffer("x", -1); }, "ZnBuffer::alloc", "Allocation size can't be negative");
}

}  // namespace
