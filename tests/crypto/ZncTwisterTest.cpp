// The twister: the engine's sequence must be std::mt19937 seeded by a
// std::seed_seq over every seed byte (computed here with the standard
// library alone), handed out four bytes per word, low byte first.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "zn/crypto/znc_twister.h"
#include "zn/error/ZnException.h"

namespace {

TEST(ZncTwister, SequenceOfTheSeed) {
  const unsigned char seed[] = {0x00, 0x01, 0xfe, 0xff, 0x7f, 0x80, 0x42};
  std::seed_seq sequence(seed, seed + sizeof seed);
  std::mt19937 reference(sequence);

  ZncTwister twister;
  twister.seed(seed, sizeof seed);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(reference(), twister.getInt()) << i;

  // get(n) takes the same words byte by byte; a partial word's rest is
  // used by the next call.
  ZncTwister bytes;
  bytes.seed(seed, sizeof seed);
  std::seed_seq again(seed, seed + sizeof seed);
  std::mt19937 words(again);
  std::vector<unsigned char> expected;
  for (int i = 0; i < 4; ++i) {
    const unsigned int w = words();
    for (int k = 0; k < 4; ++k) expected.push_back(static_cast<unsigned char>(w >> (8 * k)));
  }
  const ZncBucket a = bytes.get(5);
  const ZncBucket b = bytes.get(11);
  ASSERT_EQ(5, a.getSize());
  ASSERT_EQ(11, b.getSize());
  for (int i = 0; i < 5; ++i) EXPECT_EQ(expected[static_cast<size_t>(i)], a[i]);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(expected[static_cast<size_t>(5 + i)], b[i]);
  EXPECT_EQ(0, bytes.get(0).getSize());
}

TEST(ZncTwister, EverySeedByteCountsAndReseedingRestarts) {
  const unsigned char s1[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  unsigned char s2[sizeof s1];
  std::copy(s1, s1 + sizeof s1, s2);
  s2[8] = 10;
  ZncTwister a;
  ZncTwister b;
  a.seed(s1, sizeof s1);
  b.seed(s2, sizeof s2);
  EXPECT_NE(a.get(32), b.get(32));
  b.seed(s1, sizeof s1);
  a.seed(s1, sizeof s1);
  EXPECT_EQ(a.get(64), b.get(64));
  EXPECT_THROW(a.seed(nullptr, 4), ZnException);
}

}  // namespace
