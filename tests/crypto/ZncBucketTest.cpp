#include "zn/crypto/znc_bucket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "crypto/CryptoTestUtil.h"
#include "helpers/TempDir.h"
#include "zn/crypto/CryptoTesting.h"
#include "zn/crypto/secure_basic_string.h"

namespace zn::test {
namespace {

// What the release hook saw: each block's capacity and whether every byte
// was zero when the bucket let it go (inspected before it is freed).
struct Released {
  std::mutex lock;
  std::vector<int> capacities;
  bool allZero = true;
};
Released* g_released = nullptr;

void OnRelease(const unsigned char* block, int capacity) {
  if (g_released == nullptr) return;
  std::lock_guard<std::mutex> hold(g_released->lock);
  g_released->capacities.push_back(capacity);
  for (int i = 0; i < capacity; ++i) g_released->allZero &= block[i] == 0;
}

class ZncBucketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_released = &m_released;
    zn::testing::SetBucketReleaseHook(&OnRelease);
  }
  void TearDown() override {
    zn::testing::SetBucketReleaseHook(nullptr);
    g_released = nullptr;
  }
  Released m_released;
};

ZncBucket Filled(int size, unsigned char seed) {
  ZncBucket b(size);
  for (int i = 0; i < size; ++i) b[i] = static_cast<unsigned char>(seed + i);
  return b;
}

TEST_F(ZncBucketTest, SmallBucketsStayInlineAndNeverTouchTheHeap) {
  {
    ZncBucket key = Filled(128, 1);
    ZncBucket copy = key;
    copy[0] = 99;
    EXPECT_EQ(1, key[0]);
    EXPECT_NE(key.getData(), copy.getData());
    key.resize(0);
    EXPECT_EQ(0, key.getSize());
  }
  EXPECT_TRUE(m_released.capacities.empty());
}

TEST_F(ZncBucketTest, LargeBucketsShareStorageUntilWritten) {
  ZncBucket source = Filled(200, 7);
  ZncBucket copy = source;
  const ZncBucket& constCopy = copy;
  EXPECT_EQ(static_cast<const ZncBucket&>(source).getData(), constCopy.getData()) << "a copy shares the storage";
  EXPECT_EQ(static_cast<unsigned char>(7 + 199), constCopy[199]);

  copy.getData()[0] = 0xEE;  // detaches
  EXPECT_NE(static_cast<const ZncBucket&>(source).getData(), constCopy.getData());
  EXPECT_EQ(7, source[0]);
  EXPECT_EQ(0xEE, copy[0]);
  EXPECT_EQ(Filled(200, 7), source);

  // Each of resize, append and operator[] detaches too.
  ZncBucket a = source;
  a.resize(201);
  ZncBucket b = source;
  b.append("x", 1);
  ZncBucket c = source;
  c[5] = 0;
  EXPECT_EQ(Filled(200, 7), source);
  EXPECT_EQ(201, a.getSize());
  EXPECT_EQ('x', b[200]);
}

TEST_F(ZncBucketTest, GrowthKeepsBytesAddsZerosAndStaysInStorageWhenShrunk) {
  ZncBucket b = Filled(100, 3);
  b.resize(200);
  ASSERT_EQ(200, b.getSize());
  for (int i = 0; i < 100; ++i) ASSERT_EQ(static_cast<unsigned char>(3 + i), b[i]);
  for (int i = 100; i < 200; ++i) ASSERT_EQ(0, b[i]) << i;
  b.resize(10);
  b.resize(150);  // bytes that come back after a shrink are zero too
  for (int i = 10; i < 150; ++i) ASSERT_EQ(0, b[i]) << i;
  // Still in its storage: a copy shares it.
  ZncBucket copy = b;
  b.resize(20);
  EXPECT_EQ(150, copy.getSize());
}

TEST_F(ZncBucketTest, StorageIsWipedWhenReleasedAndWhenItGrows) {
  {
    ZncBucket secret = Filled(300, 0x41);
    ZncBucket shared = secret;
    // Detaches (a private 320-byte copy; the first block stays with
    // `shared`), then grows: the copy is wiped and freed.
    secret.resize(1000);
    secret.resize(5000);  // grows again: the 1024-byte block goes
    ASSERT_EQ((std::vector<int>{320, 1024}), m_released.capacities);
    EXPECT_EQ(static_cast<unsigned char>(0x41 + 299), static_cast<const ZncBucket&>(shared)[299]);
  }
  // Then the 5056-byte block and the shared one.
  ASSERT_EQ(4u, m_released.capacities.size());
  EXPECT_TRUE(m_released.allZero) << "a block was freed with bytes left in it";
  for (int capacity : m_released.capacities) EXPECT_EQ(0, capacity % 64);
}

TEST_F(ZncBucketTest, EqualityAccessorsAndErrors) {
  EXPECT_EQ(ZncBucket(), ZncBucket(0));
  EXPECT_NE(ZncBucket(3), ZncBucket(4));
  EXPECT_NE(Text("abc"), Text("abd"));
  EXPECT_EQ(Text("abc"), ZncBucket(std::vector<unsigned char>{'a', 'b', 'c'}));
  std::vector<unsigned char> v = Text("xyz");
  EXPECT_EQ(3u, v.size());

  ZncBucket b(4);
  const ZncBucket& cb = b;
  ExpectThrowText([&] { b.resize(-1); }, "Negative size passed as input.", "ZncBucket::resize");
  ExpectThrowText([&] { b[4] = 1; }, "Index is out of bounds.");
  ExpectThrowText([&] { (void)cb[-1]; }, "Index is out of bounds.");
  EXPECT_EQ(4, b.getSize()) << "a failed check changes nothing";

  ZncBucket self = Filled(150, 9);
  self.append(self);
  EXPECT_EQ(300, self.getSize());
  EXPECT_EQ(self[0], self[150]);
  self.append(self.getData() + 10, 5);  // a source inside the bucket itself
  EXPECT_EQ(self[10], self[300]);
}

TEST_F(ZncBucketTest, FilesInBinaryAndHex) {
  TempDir dir;
  ZncBucket bytes = Filled(1000, 0x80);
  bytes.saveBin(dir.file("key.bin").c_str());
  ZncBucket back;
  back.loadBin(dir.file("key.bin").c_str());
  EXPECT_EQ(bytes, back);

  Text("\x0a\x1b").saveHex(dir.file("key.hex").c_str());
  EXPECT_EQ("0a1b\n", ReadFile(dir.file("key.hex")));
  back.loadHex(dir.file("key.hex").c_str());
  EXPECT_EQ(Hex("0a1b"), back);

  EXPECT_THROW(back.loadBin(dir.file("absent").c_str()), ZnException);
}

TEST(SecureBasicStringTest, BehavesLikeAStringAndWipesItsBuffers) {
  secure_basic_string<char> s("password");
  s += "-longer-than-the-short-buffer-of-the-string";
  EXPECT_EQ("password-longer-than-the-short-buffer-of-the-string", std::string(s.c_str()));
  s.resize(4);
  EXPECT_EQ(std::string(s.c_str()), "pass");
  // What lay beyond the end is gone, though the capacity stays.
  const char* data = s.data();
  for (std::size_t i = 5; i < s.capacity(); ++i) ASSERT_EQ('\0', data[i]) << i;

  // The short buffer is wiped on clear (checked in place: it is ours).
  secure_basic_string<wchar_t> w(L"abc");
  const wchar_t* wd = w.data();
  w.clear();
  EXPECT_EQ(L'\0', wd[0]);
  EXPECT_EQ(L'\0', wd[1]);
  EXPECT_EQ(L'\0', wd[2]);

  secure_basic_string<char> moved = std::move(s);
  EXPECT_EQ("pass", std::string(moved.c_str()));
}

// Whether the characters of `s` lie inside the string object itself.
template <class String>
bool InObject(const String& s) {
  const auto* begin = reinterpret_cast<const unsigned char*>(&s);
  const auto* chars = reinterpret_cast<const unsigned char*>(s.data());
  return chars >= begin && chars < begin + sizeof s;
}

TEST(SecureBasicStringTest, ShortTextsNeverSitInTheObjectsOwnBuffer) {
  // A short text kept inside the object would stay behind, outside any
  // wiped block, once the string grows.
  secure_basic_string<char> s("pw");
  EXPECT_FALSE(InObject(s));
  secure_basic_string<wchar_t> w(L"p");
  EXPECT_FALSE(InObject(w));
  secure_basic_string<char> empty;
  EXPECT_FALSE(InObject(empty));
  secure_basic_string<char> moved(std::move(s));
  EXPECT_FALSE(InObject(moved));
  EXPECT_FALSE(InObject(s)) << "a moved-from string takes a block of its own";
  s = "again";
  EXPECT_FALSE(InObject(s));
  EXPECT_EQ("again", std::string(s.c_str()));
  s.shrink_to_fit();
  EXPECT_FALSE(InObject(s));

  // Assigning a shorter text wipes what the longer one left.
  secure_basic_string<char> t("a-long-secret-value");
  t = "ab";
  for (std::size_t i = 3; i < t.capacity(); ++i) ASSERT_EQ('\0', t.data()[i]) << i;
  t.assign("xyz", 1);
  for (std::size_t i = 2; i < t.capacity(); ++i) ASSERT_EQ('\0', t.data()[i]) << i;

  secure_basic_string<char> copy(t);
  secure_basic_string<char> assigned;
  assigned = copy;
  EXPECT_EQ("x", std::string(assigned.c_str()));
  assigned = std::move(copy);
  EXPECT_EQ("x", std::string(assigned.c_str()));
  EXPECT_TRUE(copy.empty());
  secure_basic_string<char> counted(3, 'z');
  EXPECT_EQ("zzz", std::string(counted.c_str()));
  secure_basic_string<char> braced{'o', 'k'};
  EXPECT_EQ("ok", std::string(braced.c_str()));
}

}  // namespace
}  // namespace zn::test
