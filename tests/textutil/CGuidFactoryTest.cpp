// CGuidFactory: the digest (SHA-256, known answers from FIPS 180-2 and
// Python's hashlib) written low nibble first, salted ids that never repeat,
// and factories shared between threads.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "zn/textutil/CGuidFactory.h"

namespace {

bool IsHexId(const std::string& id) {
  return id.size() == 64 && id.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

TEST(CGuidFactory, UnsaltedIdsAreTheDigestLowNibbleFirst) {
  // python3 -c "import hashlib; d=hashlib.sha256(b'abc').digest();
  //             print(''.join('%X%X' % (b & 15, b >> 4) for b in d))"
  // SHA-256("abc") is ba7816bf...f20015ad (FIPS 180-2, B.1): "AB8761FB...".
  CGuidFactory factory;
  EXPECT_EQ(factory.get_guid_nosalt("abc"), "AB8761FBF810FCAE141404EDD5EA22320B30163A6971A7C94B01FF162F0051DA");
  EXPECT_EQ(factory.get_guid_nosalt(""), "3E0B4C2489CFC141A9BF4F8C99F69B4272EA144E46B939C44A5999B187258B55");
  // FIPS 180-2, B.2 (two blocks).
  EXPECT_EQ(factory.get_guid_nosalt("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "42D8A6162D60838B5E0C6239C0E306933AC34E9546FF12766FCEDE4D91BD601C");
  // 1000 'a': many blocks, fed in one piece.
  EXPECT_EQ(factory.get_guid_nosalt(std::string(1000, 'a')),
            "14DECE4ED2368E9DFB15A5B96A39E2C102BC9C5F5A1D4346A5BDD51B9B37E73A");
  // Equal seeds, equal ids, from any factory and after salted ids.
  CGuidFactory other;
  other.get_guid("x", 1, 2, "y");
  EXPECT_EQ(other.get_guid_nosalt("abc"), factory.get_guid_nosalt("abc"));
}

TEST(CGuidFactory, SaltedIdsDiffer) {
  CGuidFactory factory;
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const std::string id = factory.get_guid("seed", 7, 9, "extra");
    ASSERT_TRUE(IsHexId(id)) << id;
    EXPECT_TRUE(seen.insert(id).second);
    EXPECT_TRUE(seen.insert(factory.get_guid(42, 7, 9, "extra")).second);
  }
  // Copies and assignments make ids of their own.
  CGuidFactory copy(factory);
  CGuidFactory assigned;
  assigned = copy;
  EXPECT_TRUE(IsHexId(copy.get_guid("s", 0, 0, "")));
  EXPECT_TRUE(seen.insert(assigned.get_guid("seed", 7, 9, "extra")).second);
}

TEST(CGuidFactory, OneFactoryFromManyThreads) {
  CGuidFactory shared;
  constexpr int kThreads = 8;
  constexpr int kEach = 2000;
  std::vector<std::vector<std::string>> made(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) made[t].push_back(shared.get_guid("same", 1, 2, "same"));
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::set<std::string> all;
  for (const auto& ids : made) {
    for (const std::string& id : ids) {
      ASSERT_TRUE(IsHexId(id));
      all.insert(id);
    }
  }
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kThreads * kEach));
}

}  // namespace
