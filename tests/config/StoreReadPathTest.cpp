// The path every typed read takes before the cache answers it: the store
// file named by the environment, the instance key built from the section,
// and the section key itself.

#include <stdlib.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>

#include "config/ConfigTestUtil.h"
#include "zn/store/StoreKeys.h"
#include "znfocus/ZNPI_Focus.h"
#include "zuzazer/FXString.h"

namespace {

using zn::InstanceScope;
using zn::test::ConfigTest;
using zn::test::TempDir;

// The rule written the plain way, a character at a time, to hold the
// faster builder to.
std::string ModelKey(std::string_view key, const InstanceScope& scope) {
  std::string result;
  if (!scope.productHasInstances) {
    if (!key.empty() && key[0] == '~') {
      result.append(zn::kProductsRoot).append(scope.product).append("\\").append(key.substr(1));
    } else {
      result.assign(key);
    }
  } else if (key.empty() || key[0] != '~') {
    result.assign(key);
  } else {
    if (scope.focus.empty()) return std::string();
    const std::string_view relative = key.substr(1);
    result.append(zn::kProductsRoot).append(scope.product).append("\\").append(scope.focus).append("\\");
    if (!scope.remoteCell.empty() &&
        (FXString::EqualsNoCase(relative, "HubServe") || FXString::EqualsNoCase(relative, "__Cache"))) {
      result.append("RemoteHubServes\\").append(scope.remoteCell).append("\\");
    }
    for (char c : relative) {
      if (c == '/') c = '\\';
      if (c == '\\' && result.back() == '\\') continue;
      result.push_back(c);
    }
  }
  for (char& c : result) {
    if (c == '/') c = '\\';
  }
  return result;
}

TEST(StoreReadPathTest, InstanceKeysAreBuiltAsTheRuleSaysIntoAReusedBuffer) {
  std::mt19937 random(20261207);
  const std::string alphabet = "aB/\\~ _";
  const std::string fixed[] = {"~",         "~HubServe", "~hubserve", "~__Cache", "~HubServe\\x", "~//a//",
                               "SOFTWARE\\x", "~\\\\",   "plain/key", "",         "~a/",          "~/HubServe"};
  const InstanceScope scopes[] = {
      {"Orvane", "Instance001", "", true},     {"Orvane", "Instance001", "Cell7", true},
      {"Orv/ane", "Inst/002", "Ce/ll", true},  {"Orvane", "", "", true},
      {"Orvane", "Instance001", "", false},    {"Hub/Net", "", "Cell", false},
  };
  std::string reused = std::string(300, 'x');  // stale text and capacity from an earlier key
  for (const InstanceScope& scope : scopes) {
    for (const std::string& key : fixed) {
      zn::ExpandInstanceKey(key, scope, reused);
      ASSERT_EQ(reused, ModelKey(key, scope)) << key << " focus " << scope.focus;
      EXPECT_EQ(zn::ExpandInstanceKey(key, scope), reused);
    }
    for (int round = 0; round < 2000; ++round) {
      std::string key = round % 3 == 0 ? "" : "~";
      const std::size_t length = random() % 90;
      for (std::size_t i = 0; i < length; ++i) key.push_back(alphabet[random() % alphabet.size()]);
      zn::ExpandInstanceKey(key, scope, reused);
      ASSERT_EQ(reused, ModelKey(key, scope)) << key << " focus " << scope.focus;
    }
  }
}

class StoreReadPathStoreTest : public ConfigTest {};

// Each of two store files holds its own value under the same name.
void PutValue(const std::string& file, unsigned long value) {
  zn::test::ScopedEnv store("ZN_CONFIG_STORE", file);
  ASSERT_TRUE(ZNPlatformInfo().setNumber("Switch", "nWhich", value));
}

unsigned long ReadValue() {
  unsigned long value = 0;
  return ZNPlatformInfo().getNumber("Switch", "nWhich", &value) != 0 ? value : 0;
}

TEST_F(StoreReadPathStoreTest, AChangedStoreVariableIsSeenByTheNextReadOfEveryThread) {
  TempDir folder;
  const std::string first = folder.file("first.db");
  const std::string second = folder.file("second.db");
  PutValue(first, 1);
  PutValue(second, 2);

  zn::test::ScopedEnv chosen("ZN_CONFIG_STORE", first);
  EXPECT_EQ(ReadValue(), 1U);
  ::setenv("ZN_CONFIG_STORE", second.c_str(), 1);  // the value changes in its place
  EXPECT_EQ(ReadValue(), 2U);
  ::setenv("ZN_ANOTHER_VARIABLE", "1", 1);  // the environment grows; the store stays
  EXPECT_EQ(ReadValue(), 2U);
  ::unsetenv("ZN_ANOTHER_VARIABLE");
  EXPECT_EQ(ReadValue(), 2U);

  // Gone and back through putenv, with variables before it removed and added.
  ::unsetenv("ZN_CONFIG_STORE");
  ::setenv("ZN_A_VARIABLE", "a", 1);
  static std::string assignment;  // putenv keeps the string itself
  assignment = "ZN_CONFIG_STORE=" + first;
  ASSERT_EQ(::putenv(assignment.data()), 0);
  EXPECT_EQ(ReadValue(), 1U);
  ::unsetenv("ZN_A_VARIABLE");
  EXPECT_EQ(ReadValue(), 1U);

  // A thread that has read from one file reads from the other once the
  // variable changes, whichever thread changed it.
  std::atomic<int> step{0};
  std::atomic<unsigned long> before{0}, after{0};
  std::thread reader([&] {
    before = ReadValue();
    step = 1;
    while (step.load() != 2) std::this_thread::yield();
    after = ReadValue();
  });
  while (step.load() != 1) std::this_thread::yield();
  ::setenv("ZN_CONFIG_STORE", second.c_str(), 1);
  step = 2;
  reader.join();
  EXPECT_EQ(before.load(), 1U);
  EXPECT_EQ(after.load(), 2U);
  ::setenv("ZN_CONFIG_STORE", first.c_str(), 1);  // leave a value the scope restores over
}

TEST_F(StoreReadPathStoreTest, SectionNamesOfEveryLengthReachTheSameKey) {
  ZNPlatformInfo info;
  const std::string names[] = {"S", std::string(61, 's'), std::string(62, 't'), std::string(63, 'u'),
                               std::string(200, 'v')};  // a key name may have up to 255
  unsigned long number = 0;
  for (const std::string& name : names) {
    ASSERT_TRUE(info.setNumber(name.c_str(), "nLength", name.size())) << name.size();
    ASSERT_EQ(info.getNumber(("~" + name).c_str(), "nLength", &number), 1) << name.size();
    EXPECT_EQ(number, name.size());
    unsigned long type = 0;
    std::string bytes;
    ASSERT_TRUE(zn::test::ReadRaw((std::string(zn::test::kInstanceKey) + "\\" + name).c_str(), "nLength", type, bytes));
    EXPECT_EQ(type, kZnRegNumber);
  }
  // No section at all is the instance's own key.
  ASSERT_TRUE(info.setNumber(nullptr, "nTop", 5));
  ASSERT_EQ(info.getNumber("~", "nTop", &number), 1);
  EXPECT_EQ(number, 5U);
}

TEST_F(StoreReadPathStoreTest, AKeyIsExpandedAgainWhenWhatItDependsOnChanges) {
  ZNPlatformInfo info;
  ASSERT_TRUE(info.setNumber("Same", "nWhere", 1));
  info.setFocus("Instance002");
  ASSERT_TRUE(info.setNumber("Same", "nWhere", 2));
  const std::string root = std::string(zn::kProductsRoot) + "Orvane\\";
  EXPECT_EQ(info.expandKeyName("~Same"), root + "Instance002\\Same");
  unsigned long number = 0;
  ASSERT_EQ(info.getNumber("Same", "nWhere", &number), 1);
  EXPECT_EQ(number, 2U);
  info.setToDefaultFocus();
  ASSERT_EQ(info.getNumber("Same", "nWhere", &number), 1);
  EXPECT_EQ(number, 1U);

  // The process's remote cell and product type count too.
  EXPECT_EQ(info.expandKeyName("~HubServe"), root + "Instance001\\HubServe");
  ZNPI_Focus::setRemoteHubCellFocus("Cell9");
  EXPECT_EQ(info.expandKeyName("~HubServe"), root + "Instance001\\RemoteHubServes\\Cell9\\HubServe");
  ZNPI_Focus::setRemoteHubCellFocus("Cell10");
  EXPECT_EQ(info.expandKeyName("~HubServe"), root + "Instance001\\RemoteHubServes\\Cell10\\HubServe");
  ZNPI_Focus::setProductType(TESSALY_PRODUCT_TYPE_NO_INSTANCE);
  EXPECT_EQ(info.expandKeyName("~HubServe"), root + "HubServe");
  ZNPI_Focus::reload();  // back to the environment's
  EXPECT_EQ(info.expandKeyName("~HubServe"), root + "Instance001\\HubServe");
}

}  // namespace
