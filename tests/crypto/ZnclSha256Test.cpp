// The engine's own SHA-256 compression and the PBKDF2 block function on
// it, on each path this CPU can run (the SHA extensions are skipped where
// the CPU has none), and the engine's entry point as the library loads it.
//
// Digests: Python, hashlib.sha256(bytes(i % 251 for i in range(n))).hexdigest().
// Block function: with first = salt + b'\0\0\0\1' it is PBKDF2's first
// block, so hashlib.pbkdf2_hmac('sha256', key, salt, n).hex(); with an
// empty first message (which pbkdf2_hmac cannot express) it was computed
// with hmac.new(key, u, 'sha256') in a loop:
//   u = hmac.new(k, m, 'sha256').digest(); r = u
//   for _ in range(n - 1): u = hmac.new(k, u, 'sha256').digest(); r = xor(r, u)
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "zn/crypto/znc_zncl.h"
#include "zncl/internal/HmacSha256Iterate.h"
#include "zncl/internal/Sha256Block.h"

namespace zn::test {
namespace {

using zncl::detail::Sha256Path;

std::string Hex(const uint8_t* bytes, std::size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < n; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

std::vector<uint8_t> Counting(std::size_t n) {
  std::vector<uint8_t> data(n);
  for (std::size_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(i % 251);
  return data;
}

std::string Digest(Sha256Path path, const std::vector<uint8_t>& data) {
  uint32_t state[8];
  std::copy(std::begin(zncl::detail::kSha256Initial), std::end(zncl::detail::kSha256Initial), state);
  uint8_t out[32];
  zncl::detail::Sha256Finish(path, state, 0, data.data(), data.size(), out);
  return Hex(out, sizeof out);
}

std::string Iterate(Sha256Path path, const std::string& key, const std::string& first, int iterations) {
  uint8_t out[32];
  zncl::detail::IterateHmacSha256(path, reinterpret_cast<const uint8_t*>(key.data()), key.size(),
                                  reinterpret_cast<const uint8_t*>(first.data()), first.size(), iterations, out);
  return Hex(out, sizeof out);
}

const std::string kBlockOne("\0\0\0\1", 4);

struct IterateVector {
  std::string key;
  std::string first;
  int iterations;
  const char* expected;
};

// hashlib.pbkdf2_hmac('sha256', key, salt, n) unless said otherwise.
std::vector<IterateVector> IterateVectors() {
  return {
      // RFC 7914's PBKDF2-HMAC-SHA-256 examples, c = 1 and (a block of) c = 4096.
      {"password", "salt" + kBlockOne, 1, "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b"},
      {"password", "salt" + kBlockOne, 4096, "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a"},
      // An empty key.
      {"", "salt" + kBlockOne, 2, "62384466264daadc4144018c6bd864648272b34da8980d31521ffcce92ae003b"},
      // Keys longer than a block are hashed first; one of exactly a block is not.
      {std::string(100, 'k'), "first message" + kBlockOne, 1000,
       "a758ea04ca35a3d212aa13d428ec8cef09d5bac9d0a878033d6b828159baeff8"},
      {std::string(64, 'x'), kBlockOne, 3, "db855ad82ccd85db17d754ca0f2ba391d531f4681d2212e8cec8e4ecfe7434f4"},
      // A first message of several blocks.
      {std::string(65, 'x'), std::string(200, 'y') + kBlockOne, 5000,
       "6bbb5df4aff99b01fbe5060297956dd30e21ec0ddbacae2af26fee92ad1e31b9"},
      // An empty first message (the hmac loop above, key b"key", n = 10).
      {"key", "", 10, "091fbb81a7ec6a56512dc69450b5164ac9ab4aa833268773b7547a9516142916"},
  };
}

class ZnclSha256Test : public ::testing::TestWithParam<Sha256Path> {
 protected:
  void SetUp() override {
    if (GetParam() == Sha256Path::kShaNi && !zncl::detail::HasShaNi()) GTEST_SKIP() << "no SHA extensions";
  }
};

TEST_P(ZnclSha256Test, DigestsOfOneAndSeveralBlocks) {
  const struct {
    std::size_t length;
    const char* expected;
  } vectors[] = {
      {0, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {1, "6e340b9cffb37a989ca544e6bb780a2c78901d3fb33738768511a30617afa01d"},
      // 55 bytes is the longest tail that leaves room for the length; 56
      // and 63 need a second padding block.
      {55, "463eb28e72f82e0a96c0a4cc53690c571281131f672aa229e0d45ae59b598b59"},
      {56, "da2ae4d6b36748f2a318f23e7ab1dfdf45acdc9d049bd80e59de82a60895f562"},
      {63, "29af2686fd53374a36b0846694cc342177e428d1647515f078784d69cdb9e488"},
      {64, "fdeab9acf3710362bd2658cdc9a29e8f9c757fcf9811603a8c447cd1d9151108"},
      {65, "4bfd2c8b6f1eec7a2afeb48b934ee4b2694182027e6d0fc075074f2fabb31781"},
      {119, "da18797ed7c3a777f0847f429724a2d8cd5138e6ed2895c3fa1a6d39d18f7ec6"},
      {120, "f52b23db1fbb6ded89ef42a23ce0c8922c45f25c50b568a93bf1c075420bbb7c"},
      {200, "1901da1c9f699b48f6b2636e65cbf73abf99d0441ef67f5c540a42f7051dec6f"},
      {1000, "4e4c294b331f7a2099a379bec34b9f9fc03dc46ab465d998f4d683da53487e6d"},
  };
  for (const auto& v : vectors) {
    EXPECT_EQ(v.expected, Digest(GetParam(), Counting(v.length))) << v.length << " bytes";
  }
}

TEST_P(ZnclSha256Test, BlocksCompressedAheadCountInTheLength) {
  // 1000 bytes: 7 blocks compressed apart, then the rest with the prefix
  // counted, give the digest of the whole.
  const std::vector<uint8_t> data = Counting(1000);
  uint32_t state[8];
  std::copy(std::begin(zncl::detail::kSha256Initial), std::end(zncl::detail::kSha256Initial), state);
  zncl::detail::Sha256Compress(GetParam(), state, data.data(), 3);
  zncl::detail::Sha256Compress(GetParam(), state, data.data() + 3 * 64, 4);
  uint8_t out[32];
  zncl::detail::Sha256Finish(GetParam(), state, 7 * 64, data.data() + 7 * 64, data.size() - 7 * 64, out);
  EXPECT_EQ("4e4c294b331f7a2099a379bec34b9f9fc03dc46ab465d998f4d683da53487e6d", Hex(out, sizeof out));
}

TEST_P(ZnclSha256Test, BlockFunctionKnownAnswers) {
  for (const IterateVector& v : IterateVectors()) {
    EXPECT_EQ(v.expected, Iterate(GetParam(), v.key, v.first, v.iterations))
        << v.key.size() << "-byte key, " << v.first.size() << "-byte first message, " << v.iterations << " rounds";
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, ZnclSha256Test, ::testing::Values(Sha256Path::kPortable, Sha256Path::kShaNi),
                         [](const ::testing::TestParamInfo<Sha256Path>& path) {
                           return path.param == Sha256Path::kShaNi ? "ShaExtensions" : "Portable";
                         });

TEST(ZnclSha256PathsTest, AgreeOnEveryLengthUpToFourBlocks) {
  if (!zncl::detail::HasShaNi()) GTEST_SKIP() << "no SHA extensions";
  for (std::size_t n = 0; n <= 256; ++n) {
    const std::vector<uint8_t> data = Counting(n);
    ASSERT_EQ(Digest(Sha256Path::kPortable, data), Digest(Sha256Path::kShaNi, data)) << n << " bytes";
  }
}

// The entry point the library binds: the same answers, and its refusals.
TEST(ZnclIteratedHmacTest, EngineEntryPointGivesTheKnownAnswers) {
  Zncl::init();
  ASSERT_NE(nullptr, Zncl::sha256_hmac_iterate);
  for (const IterateVector& v : IterateVectors()) {
    uint8_t out[32];
    ASSERT_EQ(0, Zncl::sha256_hmac_iterate(v.key.data(), static_cast<int>(v.key.size()), v.first.data(),
                                           static_cast<int>(v.first.size()), v.iterations, out));
    EXPECT_EQ(v.expected, Hex(out, sizeof out)) << v.key.size() << "-byte key, " << v.iterations << " rounds";
  }
}

TEST(ZnclIteratedHmacTest, EngineEntryPointRefusesBadArguments) {
  Zncl::init();
  ASSERT_NE(nullptr, Zncl::sha256_hmac_iterate);
  uint8_t out[32] = {};
  EXPECT_EQ(-1, Zncl::sha256_hmac_iterate("k", 1, "m", 1, 0, out));
  EXPECT_EQ(-1, Zncl::sha256_hmac_iterate("k", -1, "m", 1, 1, out));
  EXPECT_EQ(-1, Zncl::sha256_hmac_iterate("k", 1, "m", -1, 1, out));
  EXPECT_EQ(-1, Zncl::sha256_hmac_iterate(nullptr, 1, "m", 1, 1, out));
  EXPECT_EQ(-1, Zncl::sha256_hmac_iterate("k", 1, nullptr, 1, 1, out));
  EXPECT_EQ(-1, Zncl::sha256_hmac_iterate("k", 1, "m", 1, 1, nullptr));
  // Null with a length of 0 is an empty key or message.
  EXPECT_EQ(0, Zncl::sha256_hmac_iterate(nullptr, 0, nullptr, 0, 1, out));
}

}  // namespace
}  // namespace zn::test
