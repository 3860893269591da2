// The fixed-width integer holders: byte orders, accessors, 24-bit masking
// and the 64-bit division.

#include <gtest/gtest.h>

#include <array>

#include "zn/stream/ZNWord.h"

namespace {

TEST(ZNWord, ConvertsBothByteOrders) {
  ZNWord word(0x1234);
  EXPECT_EQ(word.msb(), 0x12);
  EXPECT_EQ(word.lsb(), 0x34);
  std::array<unsigned char, 2> big{}, little{};
  word.toBigEndian(big.data());
  word.toLittleEndian(little.data());
  EXPECT_EQ(big, (std::array<unsigned char, 2>{0x12, 0x34}));
  EXPECT_EQ(little, (std::array<unsigned char, 2>{0x34, 0x12}));
  EXPECT_EQ(ZNWord(big.data(), true).value(), 0x1234);
  EXPECT_EQ(ZNWord(big.data(), false).value(), 0x3412);
  word = 0xFFFE;
  word.fromLittleEndian(little.data());
  EXPECT_EQ(word.value(), 0x1234);
  word.toBigEndian(nullptr);  // writes nothing
  word.fromBigEndian(nullptr);
  EXPECT_EQ(word.value(), 0);
}

TEST(ZNTriByte, KeepsTheLow24Bits) {
  ZNTriByte tri(0xAB123456u);
  EXPECT_EQ(tri.value(), 0x123456u);
  EXPECT_EQ(tri.msb(), 0x12);
  EXPECT_EQ(tri.nmsb(), 0x34);
  EXPECT_EQ(tri.lsb(), 0x56);
  std::array<unsigned char, 4> out{0xEE, 0xEE, 0xEE, 0xEE};
  tri.toBigEndian(out.data());
  EXPECT_EQ(out, (std::array<unsigned char, 4>{0x12, 0x34, 0x56, 0xEE}));  // three bytes only
  tri.toLittleEndian(out.data());
  EXPECT_EQ(out, (std::array<unsigned char, 4>{0x56, 0x34, 0x12, 0xEE}));
  EXPECT_EQ(ZNTriByte(out.data(), false).value(), 0x123456u);
  EXPECT_EQ(ZNTriByte(out.data(), true).value(), 0x563412u);
  tri = 0xFFFFFFFFu;
  EXPECT_EQ(tri.value(), 0xFFFFFFu);
}

TEST(ZNDoubleWord, ConvertsBothByteOrders) {
  ZNDoubleWord dword(0x89ABCDEFu);
  EXPECT_EQ(dword.msb(), 0x89);
  std::array<unsigned char, 4> big{}, little{};
  dword.toBigEndian(big.data());
  dword.toLittleEndian(little.data());
  EXPECT_EQ(big, (std::array<unsigned char, 4>{0x89, 0xAB, 0xCD, 0xEF}));
  EXPECT_EQ(little, (std::array<unsigned char, 4>{0xEF, 0xCD, 0xAB, 0x89}));
  ZNDoubleWord back;
  back.fromBigEndian(big.data());
  EXPECT_EQ(back.value(), 0x89ABCDEFu);
  back.fromLittleEndian(big.data());
  EXPECT_EQ(back.value(), 0xEFCDAB89u);
}

TEST(ZNQuadWord, BytesHalvesAndDivision) {
  const ZNQuadWord quad(0x0102030405060708ULL);
  std::array<unsigned char, 8> big{}, little{};
  quad.toBigEndian(big.data());
  quad.toLittleEndian(little.data());
  EXPECT_EQ(big, (std::array<unsigned char, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(little, (std::array<unsigned char, 8>{8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ((std::array<unsigned char, 8>{quad.msb(), quad.nmsb(), quad.nnmsb(), quad.nnnmsb(), quad.nnnlsb(),
                                          quad.nnlsb(), quad.nlsb(), quad.lsb()}),
            big);
  EXPECT_EQ(quad.valueHigh(), 0x01020304u);
  EXPECT_EQ(quad.valueLow(), 0x05060708u);
  EXPECT_EQ(ZNQuadWord(0x01020304u, 0x05060708u).value(), quad.value());
  EXPECT_EQ(ZNQuadWord(little.data(), false).value(), quad.value());
  EXPECT_EQ(ZNQuadWord(little.data(), true).value(), 0x0807060504030201ULL);

  EXPECT_EQ(ZNQuadWord::divide(1, 0), -1.0);
  EXPECT_EQ(ZNQuadWord::divide(10, 4), 2.5);
  // Above 2^63 a signed conversion would turn negative: 2^64 - 2 halves to
  // about 2^63.
  EXPECT_DOUBLE_EQ(ZNQuadWord::divide(~0ULL - 1, 2), 9223372036854775808.0);
}

}  // namespace
