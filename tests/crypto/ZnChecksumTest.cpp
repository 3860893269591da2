// CRC-32, CRC-32C and the rolling checksum. Expected values: the check
// values of the two CRCs ("123456789"), zlib's crc32 for CRC-32 over long
// data (ours is ~zlib(~v)), and a bit-at-a-time CRC-32C written here from
// the polynomial alone; the rolling checksum against its definition.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <vector>

#include "zn/crypto/CryptoTesting.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_checksum.h"

namespace zn::test {
namespace {

constexpr std::size_t kMiB = 1 << 20;

std::vector<unsigned char> PseudoRandom(std::size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<unsigned char> d(n);
  for (auto& b : d) b = static_cast<unsigned char>(rng());
  return d;
}

// The CRC-32C register after `data`, one bit at a time.
uint32_t BitwiseCrc32c(uint32_t crc, const unsigned char* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ ((crc & 1u) != 0 ? 0x82F63B78u : 0u);
  }
  return crc;
}

// The library's CRC-32 register from zlib's: zn(v) = ~zlib(~v).
uint32_t ZlibRegister(uint32_t crc, const unsigned char* p, std::size_t n) {
  return ~static_cast<uint32_t>(::crc32(~crc & 0xFFFFFFFFu, p, static_cast<uInt>(n)));
}

using CrcFunction = void (*)(const void*, size_t, unsigned int*);

unsigned int Crc(CrcFunction f, const unsigned char* p, std::size_t n, unsigned int start = 0xFFFFFFFFu) {
  unsigned int crc = start;
  f(p, n, &crc);
  return crc;
}

class ZnChecksumTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { zn::testing::SetChecksumHardware(GetParam()); }
  void TearDown() override { zn::testing::SetChecksumHardware(true); }
};

TEST_P(ZnChecksumTest, CheckValuesOfBothCrcs) {
  const auto* digits = reinterpret_cast<const unsigned char*>("123456789");
  EXPECT_EQ(0x340BC6D9u, Crc(&zn_crc32, digits, 9)) << "~0xCBF43926";
  EXPECT_EQ(0x1CF96D7Cu, Crc(&zn_crc32c, digits, 9)) << "~0xE3069283";
  unsigned int crc = 0xFFFFFFFFu;
  Znc::crc32(digits, 9, &crc);
  EXPECT_EQ(0x340BC6D9u, crc);
  Znc::crc32(digits, 0, &crc);
  Znc::crc32(digits, -5, &crc);
  zn_crc32(nullptr, 9, &crc);
  zn_crc32c(digits, 0, &crc);
  EXPECT_EQ(0x340BC6D9u, crc) << "nothing to add leaves the register";
  zn_crc32(digits, 9, nullptr);  // no register: nothing happens
}

TEST_P(ZnChecksumTest, OneMebibyteEqualsTheReferenceWhateverThePieces) {
  const std::vector<unsigned char> data = PseudoRandom(kMiB, 20240607);
  const unsigned char* p = data.data();
  const uint32_t crc32 = ZlibRegister(0xFFFFFFFFu, p, kMiB);
  const uint32_t crc32c = BitwiseCrc32c(0xFFFFFFFFu, p, kMiB);
  EXPECT_EQ(crc32, Crc(&zn_crc32, p, kMiB));
  EXPECT_EQ(crc32c, Crc(&zn_crc32c, p, kMiB));
  for (std::size_t split = 0; split <= 64; ++split) {
    SCOPED_TRACE(split);
    unsigned int a = 0xFFFFFFFFu;
    unsigned int c = 0xFFFFFFFFu;
    zn_crc32(p, split, &a);
    zn_crc32(p + split, kMiB - split, &a);
    zn_crc32c(p, split, &c);
    zn_crc32c(p + split, kMiB - split, &c);
    ASSERT_EQ(crc32, a);
    ASSERT_EQ(crc32c, c);
  }
  // Pieces of every size up to 300 bytes in turn.
  unsigned int a = 0xFFFFFFFFu;
  unsigned int c = 0xFFFFFFFFu;
  for (std::size_t at = 0, size = 1; at < kMiB; at += size, size = size % 300 + 1) {
    const std::size_t n = std::min(size, kMiB - at);
    zn_crc32(p + at, n, &a);
    zn_crc32c(p + at, n, &c);
  }
  EXPECT_EQ(crc32, a);
  EXPECT_EQ(crc32c, c);
}

TEST_P(ZnChecksumTest, EveryLengthAndAlignmentAroundTheFastPaths) {
  // Lengths across the 64-byte folding, the 8-byte words and the lanes of
  // 3 x 256 and 3 x 8192 bytes, from every alignment within a word.
  const std::vector<unsigned char> data = PseudoRandom(3 * 8192 + 1000, 7);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 200; ++n) lengths.push_back(n);
  for (std::size_t n : {767u, 768u, 769u, 1535u, 1536u, 4096u, 24575u, 24576u, 24577u, 24583u}) lengths.push_back(n);
  for (std::size_t offset = 0; offset < 8; ++offset) {
    for (std::size_t n : lengths) {
      SCOPED_TRACE(::testing::Message() << "offset " << offset << " length " << n);
      const unsigned char* p = data.data() + offset;
      const uint32_t start = static_cast<uint32_t>(n * 2654435761u);  // any register value
      ASSERT_EQ(ZlibRegister(start, p, n), Crc(&zn_crc32, p, n, start));
      ASSERT_EQ(BitwiseCrc32c(start, p, n), Crc(&zn_crc32c, p, n, start));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(HardwareAndTables, ZnChecksumTest, ::testing::Values(true, false),
                         [](const auto& param) { return param.param ? "Hardware" : "Tables"; });

TEST(ZnChecksumPathsTest, HardwareAndTablesGiveTheSameResults) {
  const std::vector<unsigned char> data = PseudoRandom(kMiB + 13, 99);
  for (std::size_t n : {std::size_t{1}, std::size_t{63}, std::size_t{64}, std::size_t{1000}, kMiB + 13}) {
    zn::testing::SetChecksumHardware(true);
    const unsigned int fast32 = Crc(&zn_crc32, data.data(), n, 0x12345678u);
    const unsigned int fast32c = Crc(&zn_crc32c, data.data(), n, 0x12345678u);
    zn::testing::SetChecksumHardware(false);
    EXPECT_EQ(fast32, Crc(&zn_crc32, data.data(), n, 0x12345678u)) << n;
    EXPECT_EQ(fast32c, Crc(&zn_crc32c, data.data(), n, 0x12345678u)) << n;
  }
  zn::testing::SetChecksumHardware(true);
}

// The rolling checksum by its definition.
unsigned int Definition(const unsigned char* p, int n) {
  unsigned int a = 0;
  unsigned int b = 0;
  for (int i = 0; i < n; ++i) {
    a = (a + p[i]) % 65536;
    b = (b + a) % 65536;
  }
  return b * 65536 + a;
}

TEST(ZnRollingChecksumTest, DefinitionUpdateAndRoll) {
  EXPECT_EQ(0x024A0126u, Znc::rsync("abc", 3));
  EXPECT_EQ(Znc::rsync("bcd", 3), Znc::rsyncRoll(Znc::rsync("abc", 3), 3, 'a', 'd'));
  EXPECT_EQ(0u, Znc::rsync(nullptr, 5));
  EXPECT_EQ(77u, Znc::rsyncUpdate(77, "x", 0));
  EXPECT_EQ(77u, Znc::rsyncUpdate(77, "x", -1));

  const std::vector<unsigned char> data = PseudoRandom(200000, 3);
  const auto* p = data.data();
  // Long runs wrap both halves many times.
  EXPECT_EQ(Definition(p, 200000), Znc::rsync(p, 200000));
  EXPECT_EQ(Znc::rsync(p, 200000), Znc::rsyncUpdate(Znc::rsync(p, 12345), p + 12345, 200000 - 12345));

  std::mt19937 rng(11);
  for (int i = 0; i < 10000; ++i) {
    const int window = 1 + static_cast<int>(rng() % 4096);
    const int at = static_cast<int>(rng() % (data.size() - window - 1));
    const unsigned int rolled = Znc::rsyncRoll(Znc::rsync(p + at, window), window, p[at], p[at + window]);
    ASSERT_EQ(Definition(p + at + 1, window), rolled) << "window " << window << " at " << at;
  }
  // Rolling all the way along equals computing afresh at the end.
  const int window = 700;
  unsigned int sum = Znc::rsync(p, window);
  for (int at = 0; at < 5000; ++at) sum = Znc::rsyncRoll(sum, window, p[at], p[at + window]);
  EXPECT_EQ(Znc::rsync(p + 5000, window), sum);
}

}  // namespace
}  // namespace zn::test
