// Run-time overrides: they win over the store for every getter form, each
// type in its own map, process-wide across objects, never written to the
// store; clear and dump; and many threads overriding and reading at once.

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/ConfigTestUtil.h"
#include "zn/config/ZNRuntimePlatformInfo.h"

namespace {

class RuntimeOverrides : public zn::test::ConfigTest {
 protected:
  void SetUp() override {
    ConfigTest::SetUp();
    ZNRuntimePlatformInfo::clear();
    ZNPlatformInfo store(0, 0);
    ASSERT_TRUE(store.setNumber("Session", "nRetryCount", 3));
    ASSERT_TRUE(store.setBoolean("Session", "bEnabled", true));
    ASSERT_TRUE(store.setString("Session", "sHosts", "x;y"));
  }
  void TearDown() override {
    ZNRuntimePlatformInfo::clear();
    ConfigTest::TearDown();
  }
};

TEST_F(RuntimeOverrides, NumbersAndBooleansWinOverTheStoreUntilCleared) {
  ZNRuntimePlatformInfo info(0, 0);
  int n = 0;
  EXPECT_TRUE(info.getNumber("Session", "nRetryCount", n) && n == 3);

  ZNRuntimePlatformInfo::overrideNumber("Session", "nRetryCount", 5);
  ZNRuntimePlatformInfo::overrideNumber("Session", "nNegative", -1);
  ZNRuntimePlatformInfo::overrideBoolean("Session", "bEnabled", false);
  ASSERT_TRUE(info.getNumber("Session", "nMissing", n) == 0);  // a miss reads the store
  EXPECT_EQ(info.getRegError(), -3);
  EXPECT_TRUE(info.getNumber("Session", "nRetryCount", n) && n == 5);
  EXPECT_EQ(info.getRegError(), 0);  // a hit is a success, whatever came before
  unsigned u = 0;
  long l = 0;
  unsigned long ul = 0;
  EXPECT_TRUE(info.getNumber("Session", "nRetryCount", u) && u == 5u);
  EXPECT_TRUE(info.getNumber("Session", "nNegative", &l) && l == -1);
  EXPECT_TRUE(info.getNumber("Session", "nNegative", &ul) && ul == 0xFFFFFFFFUL);  // as a 32-bit number
  bool flag = true;
  EXPECT_TRUE(info.getBoolean("Session", "bEnabled", flag) && !flag);
  // Booleans live in the number map: 0 or 1.
  EXPECT_TRUE(info.getNumber("Session", "bEnabled", n) && n == 0);
  ZNRuntimePlatformInfo::overrideNumber("Session", "bEnabled", 7);
  EXPECT_TRUE(info.getBoolean("Session", "bEnabled", &flag) && flag);

  // Another object sees the same overrides; the store never got them.
  ZNRuntimePlatformInfo other(0, 0);
  EXPECT_TRUE(other.getNumber("Session", "nRetryCount", n) && n == 5);
  EXPECT_TRUE(ZNPlatformInfo(0, 0).getNumber("Session", "nRetryCount", &n) && n == 3);

  // The key is section "/" name: the same name in another section is not hit.
  EXPECT_EQ(info.getNumber("Other", "nRetryCount", n), 0);
  EXPECT_EQ(info.getRegError(), -2);

  ZNRuntimePlatformInfo::clear();
  EXPECT_TRUE(info.getNumber("Session", "nRetryCount", n) && n == 3);
  EXPECT_TRUE(info.getBoolean("Session", "bEnabled", flag) && flag);
}

TEST_F(RuntimeOverrides, StringsWinForEveryFormAndStayApartFromNumbers) {
  ZNRuntimePlatformInfo info(0, 0);
  ZNRuntimePlatformInfo::overrideString("Session", "sHosts", " a, b;c:d|e f\t");
  ZNRuntimePlatformInfo::overrideString("", "sProductVersion", "7 SP24");  // the instance key itself
  std::string text;
  EXPECT_TRUE(info.getString("Session", "sHosts", text) && text == " a, b;c:d|e f\t");
  EXPECT_TRUE(info.getStringTrim("Session", "sHosts", &text) && text == "a, b;c:d|e f");
  std::vector<std::string> items;
  ASSERT_TRUE(info.getStringList("Session", "sHosts", items));
  EXPECT_EQ(items, (std::vector<std::string>{"a", "b", "c", "d", "e", "f\t"}));
  std::vector<std::string> semicolon{";"};
  ASSERT_TRUE(info.getStringList("Session", "sHosts", items, &semicolon));
  EXPECT_EQ(items, (std::vector<std::string>{" a, b", "c:d|e f\t"}));
  EXPECT_TRUE(info.getString("", "sProductVersion", text) && text == "7 SP24");

  // Buffers: the text and its terminator must fit; the size becomes length + 1.
  char buffer[16];
  int size = 15;
  ASSERT_TRUE(info.getString("Session", "sHosts", buffer, &size));
  EXPECT_STREQ(buffer, " a, b;c:d|e f\t");
  EXPECT_EQ(size, 15);
  size = 14;
  EXPECT_EQ(info.getString("Session", "sHosts", buffer, &size), 0);
  EXPECT_EQ(info.getRegError(), -4);
  EXPECT_EQ(size, 14);

  // A string override does not answer a number read, nor the reverse.
  ZNRuntimePlatformInfo::overrideString("Session", "nRetryCount", "9");
  ZNRuntimePlatformInfo::overrideNumber("Session", "sHosts", 9);
  int n = 0;
  EXPECT_TRUE(info.getNumber("Session", "nRetryCount", n) && n == 3);
  EXPECT_TRUE(info.getString("Session", "sHosts", text) && text == " a, b;c:d|e f\t");

  // A miss is a plain store read, and is not remembered.
  EXPECT_TRUE(info.getStringList("Session", "sOther", items) == 0 && info.getRegError() == -3);
  ZNRuntimePlatformInfo::clear();
  EXPECT_TRUE(info.getStringList("Session", "sHosts", items));
  EXPECT_EQ(items, (std::vector<std::string>{"x", "y"}));
  ASSERT_TRUE(ZNPlatformInfo(0, 0).setString("Session", "sHosts", "z"));
  EXPECT_TRUE(info.getString("Session", "sHosts", text) && text == "z");
}

TEST_F(RuntimeOverrides, DumpWritesEveryOverrideAndNothingWithoutOne) {
  ZNRuntimePlatformInfo::dump();
  EXPECT_FALSE(Logged("Dumping additional settings overridden from HS"));
  ZNRuntimePlatformInfo::overrideNumber("Session", "nRetryCount", 5);
  ZNRuntimePlatformInfo::overrideBoolean("Base", "bFlag", true);
  ZNRuntimePlatformInfo::overrideString("Base", "sName", "node 7");
  ZNRuntimePlatformInfo::dump();
  const std::string log = LogText();
  const std::size_t header = log.find("Dumping additional settings overridden from HS");
  ASSERT_NE(header, std::string::npos) << log;
  const std::size_t name = log.find("[Base/sName]=[node 7]");
  const std::size_t retry = log.find("[Session/nRetryCount]=[5]");
  const std::size_t flag = log.find("[Base/bFlag]=[1]");
  ASSERT_NE(name, std::string::npos);
  ASSERT_NE(retry, std::string::npos);
  ASSERT_NE(flag, std::string::npos);
  // The header first, then the strings, then the numbers; all under one context.
  EXPECT_LT(header, name);
  EXPECT_LT(name, retry);
  EXPECT_LT(name, flag);
  EXPECT_NE(log.find("ZNRuntimePlatformInfo::dump"), std::string::npos);
}

TEST_F(RuntimeOverrides, ThreadsOverrideAndReadAtOnce) {
  ASSERT_TRUE(ZNPlatformInfo(0, 0).setNumber("Shared", "nBase", 42));
  constexpr int kThreads = 8;
  constexpr int kRounds = 150;
  // Shared, not on this stack: a stuck thread may outlive a failed test.
  const auto failures = std::make_shared<std::atomic<int>>(0);
  std::vector<std::future<void>> done;
  for (int t = 0; t < kThreads; ++t) {
    std::packaged_task<void()> task([t, failures] {
      ZNRuntimePlatformInfo info(0, 0);
      const std::string section = "Thread" + std::to_string(t);
      for (int round = 0; round < kRounds; ++round) {
        ZNRuntimePlatformInfo::overrideNumber(section, "nRound", round);
        ZNRuntimePlatformInfo::overrideString(section, "sRound", std::to_string(round));
        int n = -1;
        std::string text;
        int base = 0;
        if (!info.getNumber(section, "nRound", n) || n != round) ++*failures;
        if (!info.getString(section, "sRound", text) || text != std::to_string(round)) ++*failures;
        // Misses read the store under the same lock, on this thread's connection.
        if (!info.getNumber("Shared", "nBase", base) || base != 42) ++*failures;
      }
    });
    done.push_back(task.get_future());
    std::thread(std::move(task)).detach();
  }
  for (auto& future : done) {
    ASSERT_EQ(future.wait_for(std::chrono::seconds(120)), std::future_status::ready) << "a thread is stuck";
  }
  EXPECT_EQ(failures->load(), 0);
  // Nothing was lost: every thread's last values are there.
  ZNRuntimePlatformInfo info(0, 0);
  for (int t = 0; t < kThreads; ++t) {
    int n = -1;
    std::string text;
    EXPECT_TRUE(info.getNumber("Thread" + std::to_string(t), "nRound", n) && n == kRounds - 1) << t;
    EXPECT_TRUE(info.getString("Thread" + std::to_string(t), "sRound", text) && text == std::to_string(kRounds - 1));
  }
}

}  // namespace
