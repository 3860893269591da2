#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "znfocus/ZNPI_Focus.h"

namespace {

// Each test clears the variables it sets on exit.
class ZNPI_FocusTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* name : {"ZN_FOCUS", "ZN_PRODUCT", "ZN_PRODUCT_TYPE", "ZN_REMOTE_CELL", "ZN_CLIENT_NAME",
                             "ZN_PSEUDO_CLIENT_NAME", "ZN_SERVICE", "ZN_CRASH_ON_BAD_FOCUS"}) {
      ::unsetenv(name);
    }
    ZNPI_Focus::reload();
  }
};

TEST_F(ZNPI_FocusTest, ReadsTheEnvironmentAndTellsEmptyFromUnset) {
  ::unsetenv("ZN_FOCUS");
  ZNPI_Focus::reload();
  EXPECT_EQ(ZNPI_Focus::getFocus(), nullptr);
  EXPECT_EQ(ZNPI_Focus::getProductType(), TESSALY_PRODUCT_TYPE_DEFAULT);
  ASSERT_NE(ZNPI_Focus::getRemoteHubCellFocus(), nullptr);
  ::setenv("ZN_FOCUS", "", 1);
  ZNPI_Focus::reload();
  ASSERT_NE(ZNPI_Focus::getFocus(), nullptr);
  EXPECT_STREQ(ZNPI_Focus::getFocus(), "");

  ::setenv("ZN_FOCUS", "Instance001", 1);
  ::setenv("ZN_PRODUCT", "Other", 1);
  ::setenv("ZN_PRODUCT_TYPE", "3", 1);
  ::setenv("ZN_REMOTE_CELL", "cell7", 1);
  ::setenv("ZN_CLIENT_NAME", "client-a", 1);
  ::setenv("ZN_PSEUDO_CLIENT_NAME", "pseudo-b", 1);
  ::setenv("ZN_SERVICE", "1", 1);
  ZNPI_Focus::reload();
  EXPECT_STREQ(ZNPI_Focus::getFocus(), "Instance001");
  EXPECT_STREQ(ZNPI_Focus::getProductName(), "Other");
  EXPECT_EQ(ZNPI_Focus::getProductType(), TESSALY_PRODUCT_TYPE_NO_INSTANCE);
  EXPECT_STREQ(ZNPI_Focus::getRemoteHubCellFocus(), "cell7");
  EXPECT_STREQ(ZNPI_Focus::getFocusClientName(false), "client-a");
  EXPECT_STREQ(ZNPI_Focus::getFocusPseudoClientName(), "pseudo-b");
  EXPECT_NE(ZNPI_Focus::AmIAService(), 0);

  // The environment is read on reload, not on every call.
  ::setenv("ZN_FOCUS", "Instance002", 1);
  EXPECT_STREQ(ZNPI_Focus::getFocus(), "Instance001");

  // Numbers that are not whole numbers fall back to the defaults.
  for (const char* bad : {"abc", "2x", " 2", ""}) {
    ::setenv("ZN_PRODUCT_TYPE", bad, 1);
    ::setenv("ZN_SERVICE", bad, 1);
    ZNPI_Focus::reload();
    EXPECT_EQ(ZNPI_Focus::getProductType(), TESSALY_PRODUCT_TYPE_DEFAULT) << bad;
    EXPECT_EQ(ZNPI_Focus::AmIAService(), 0) << bad;
  }
}

TEST_F(ZNPI_FocusTest, SettersOverrideAndReloadForgetsThem) {
  ::setenv("ZN_FOCUS", "FromEnv", 1);
  ZNPI_Focus::reload();
  ZNPI_Focus::setFocus("Set");
  ZNPI_Focus::setProductName("P");
  ZNPI_Focus::setAmIAService(1);
  EXPECT_STREQ(ZNPI_Focus::getFocus(), "Set");
  EXPECT_STREQ(ZNPI_Focus::getProductName(), "P");
  EXPECT_EQ(ZNPI_Focus::AmIAService(), 1);

  // Null means no focus; null names fall back to their defaults.
  ZNPI_Focus::setFocus(nullptr);
  ZNPI_Focus::setProductName(nullptr);
  ZNPI_Focus::setFocusClientName(nullptr);
  EXPECT_EQ(ZNPI_Focus::getFocus(), nullptr);
  EXPECT_STREQ(ZNPI_Focus::getProductName(), "Orvane");
  EXPECT_STREQ(ZNPI_Focus::getFocusClientName(false), "");
  ZNPI_Focus::setFocus("");
  ASSERT_NE(ZNPI_Focus::getFocus(), nullptr);
  EXPECT_STREQ(ZNPI_Focus::getFocus(), "");

  ZNPI_Focus::reload();
  EXPECT_STREQ(ZNPI_Focus::getFocus(), "FromEnv");
  EXPECT_STREQ(ZNPI_Focus::getProductName(), "Orvane");
  EXPECT_EQ(ZNPI_Focus::AmIAService(), 0);
}

TEST_F(ZNPI_FocusTest, HandedOutTextsStayValidAfterLaterChanges) {
  char buffer[32];
  std::strcpy(buffer, "Instance001");
  ZNPI_Focus::setFocus(buffer);
  std::strcpy(buffer, "changed");  // the caller's buffer is copied, not kept
  const char* first = ZNPI_Focus::getFocus();
  EXPECT_STREQ(first, "Instance001");
  ZNPI_Focus::setFocus("Instance002");
  ZNPI_Focus::setFocus(nullptr);
  ZNPI_Focus::reload();
  EXPECT_STREQ(first, "Instance001");

  // Readers on other threads while the value keeps changing.
  ZNPI_Focus::setFocus("Inst-start");
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 4; ++r) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        const char* focus = ZNPI_Focus::getFocus();
        const char* client = ZNPI_Focus::getFocusClientName(false);
        if (focus == nullptr || std::strncmp(focus, "Inst", 4) != 0) ++bad;
        if (client == nullptr || (client[0] != '\0' && std::strncmp(client, "client", 6) != 0)) ++bad;
      }
    });
  }
  for (int i = 0; i < 5000; ++i) {
    const std::string value = "Inst" + std::to_string(i);
    ZNPI_Focus::setFocus(value.c_str());
    ZNPI_Focus::setFocusClientName(("client" + std::to_string(i)).c_str());
  }
  stop = true;
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_STREQ(ZNPI_Focus::getFocus(), "Inst4999");
}

TEST_F(ZNPI_FocusTest, CrashRequestReturnsUnlessAskedToAbort) {
  ::unsetenv("ZN_CRASH_ON_BAD_FOCUS");
  ZNPI_Focus::doCrashThisProcess(true, nullptr);
  ZNPI_Focus::doCrashThisProcess(false, "relative key without a focus");
  ::setenv("ZN_CRASH_ON_BAD_FOCUS", "1", 1);
  ZNPI_Focus::doCrashThisProcess(false, "no crash asked");
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(ZNPI_Focus::doCrashThisProcess(true, "bad focus"), "Focus problem: bad focus");
}

}  // namespace
