// The path every typed read takes before the cache answers it: the store
// file named by the environment, the instance key built from the section,
// and the section key itself.

#include <stdlib.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>

#include "config/ConfigTestUtil.h"
#include "zn/store/ConfigStore.h"
#include "zn/store/StoreKeys.h"
#include "znfocus/ZNPI_Focus.h"
#include "zuzazer/FXString.h"

namespace {

using zn::ConfigStore;
using zn::InstanceScope;
using zn::StoreStatus;
using zn::StoreValue;
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

// ---- The kept value key ----
// A ZNPlatformInfo keeps the store's key (and its hash) of the last value
// it read, and the store keeps that of its last read by path and name: a
// remembered key that outlived what it was made from would answer another
// value's read. Each case alternates reads that a stale key would mix up.

// The number read, or kNone with the registry error in `code`.
constexpr unsigned long kNone = ~0UL;
unsigned long NumberOf(ZNPlatformInfo& info, const char* section, const char* name, int* code = nullptr) {
  unsigned long number = 0;
  const int found = info.getNumber(section, name, &number);
  if (code != nullptr) *code = info.getRegError();
  return found != 0 ? number : kNone;
}

std::string StringOf(ZNPlatformInfo& info, const char* section, const char* name) {
  std::string text;
  return info.getString(section, name, &text) != 0 ? text : std::string("<none>");
}

TEST_F(StoreReadPathStoreTest, AlternatingKeysThatShareAPathOrANameReadTheirOwnValues) {
  ZNPlatformInfo writer;
  ASSERT_EQ(writer.setNumber("Left", "nValue", 1), 1);
  ASSERT_EQ(writer.setNumber("Right", "nValue", 2), 1);
  ASSERT_EQ(writer.setNumber("Left", "nOther", 3), 1);
  ASSERT_EQ(writer.setString("Left", "sText", "left"), 1);
  ASSERT_EQ(writer.setString("Right", "sText", "right"), 1);
  ZNPlatformInfo info;
  for (int round = 0; round < 50; ++round) {
    ASSERT_EQ(NumberOf(info, "Left", "nValue"), 1U) << round;
    ASSERT_EQ(NumberOf(info, "Right", "nValue"), 2U) << round;  // same name, another path
    ASSERT_EQ(NumberOf(info, "Right", "nValue"), 2U) << round;
    ASSERT_EQ(NumberOf(info, "Left", "nValue"), 1U) << round;
    ASSERT_EQ(NumberOf(info, "Left", "nOther"), 3U) << round;  // same path, another name
    ASSERT_EQ(NumberOf(info, "Left", "nValue"), 1U) << round;
    ASSERT_EQ(StringOf(info, "Left", "sText"), "left") << round;  // strings take the same key
    ASSERT_EQ(StringOf(info, "Right", "sText"), "right") << round;
    ASSERT_EQ(NumberOf(info, "Right", "nValue"), 2U) << round;
  }
  // A missing value after a present one of the same key, and back.
  int code = 0;
  EXPECT_EQ(NumberOf(info, "Left", "nMissing", &code), kNone);
  EXPECT_EQ(code, -3);
  EXPECT_EQ(NumberOf(info, "Nowhere", "nValue", &code), kNone);
  EXPECT_EQ(code, -2);
  EXPECT_EQ(NumberOf(info, "Left", "nValue"), 1U);
}

TEST_F(StoreReadPathStoreTest, NamesAndPathsThatArePrefixesOfEachOtherAreKeptApart) {
  ZNPlatformInfo writer;
  const char* names[] = {"n", "nV", "nVa", "nVal"};
  const char* sections[] = {"P", "Pr", "Pre", "Pre\\Fix", "Pre\\Fi"};
  unsigned long number = 1;
  for (const char* section : sections) {
    for (const char* name : names) ASSERT_EQ(writer.setNumber(section, name, number++), 1) << section << name;
  }
  ZNPlatformInfo info;
  // Forwards, backwards and each twice in a row: a key is followed by every
  // other one, longer and shorter.
  for (int pass = 0; pass < 4; ++pass) {
    for (int i = 0; i < 20; ++i) {
      const int at = pass % 2 == 0 ? i : 19 - i;
      const char* section = sections[at / 4];
      const char* name = names[at % 4];
      for (int again = 0; again < (pass < 2 ? 1 : 2); ++again) {
        ASSERT_EQ(NumberOf(info, section, name), static_cast<unsigned long>(at + 1)) << section << " " << name;
      }
    }
  }
}

// "~A\\B" with "Cx" and "~A\\BC" with "x" make the same text once joined,
// as do absolute paths split another way: the store's key tells the path
// from the name. Another spelling of one key ("/" for "\\") is its value.
TEST_F(StoreReadPathStoreTest, KeysEqualUpToTheSeparatorOfPathAndNameAreKeptApart) {
  ZNPlatformInfo writer;
  ASSERT_EQ(writer.setNumber("A\\B", "Cx", 1), 1);
  ASSERT_EQ(writer.setNumber("A\\BC", "x", 2), 1);
  ASSERT_EQ(writer.setNumber("A", "BCx", 3), 1);
  ZNPlatformInfo info;
  for (int round = 0; round < 20; ++round) {
    ASSERT_EQ(NumberOf(info, "A\\B", "Cx"), 1U);
    ASSERT_EQ(NumberOf(info, "A\\BC", "x"), 2U);
    ASSERT_EQ(NumberOf(info, "A", "BCx"), 3U);
    ASSERT_EQ(NumberOf(info, "A/B", "Cx"), 1U);
    ASSERT_EQ(NumberOf(info, "A\\BC", "x"), 2U);
  }
  // A write through one spelling is read through the other.
  ASSERT_EQ(writer.setNumber("A/B", "Cx", 11), 1);
  EXPECT_EQ(NumberOf(info, "A/B", "Cx"), 11U);
  EXPECT_EQ(NumberOf(info, "A\\B", "Cx"), 11U);

  // The same through the store's own reads by path and name, and by key.
  ConfigStore& store = ConfigStore::ForThisThread();
  const std::string root = std::string(zn::test::kInstanceKey) + "\\";
  StoreValue value;
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(store.readValue(root + "A\\B", "Cx", value), StoreStatus::kOk);
    EXPECT_EQ(value.data, std::string("\x0b\0\0\0", 4));
    ASSERT_EQ(store.readValue(root + "A\\BC", "x", value), StoreStatus::kOk);
    EXPECT_EQ(value.data, std::string("\x02\0\0\0", 4));
    EXPECT_EQ(store.readValue(root + "A\\", "BCx", value), StoreStatus::kOk);
    EXPECT_EQ(value.data, std::string("\x03\0\0\0", 4));
    EXPECT_EQ(store.readValue(root + "A\\BCx", "", value), StoreStatus::kKeyMissing);
    EXPECT_EQ(store.readValue(root + "A\\BC", "", value), StoreStatus::kValueMissing);
    ASSERT_EQ(store.readValue(root + "A/B", "Cx", value), StoreStatus::kOk);
    EXPECT_EQ(value.data, std::string("\x0b\0\0\0", 4));
  }
  const ConfigStore::ValueKey split(root + "A\\BC", "x");
  const ConfigStore::ValueKey joined(root + "A\\BCx", "");
  EXPECT_EQ(split.path(), root + "A\\BC");
  EXPECT_EQ(split.name(), "x");
  EXPECT_TRUE(split.is(root + "A\\BC", "x"));
  EXPECT_FALSE(split.is(root + "A\\B", "Cx"));
  EXPECT_FALSE(split.is(root + "A\\BCx", ""));
  EXPECT_FALSE(joined.is(root + "A\\BC", "x"));
  EXPECT_TRUE(ConfigStore::ValueKey().is("", ""));
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(store.readValue(split, value), StoreStatus::kOk);
    EXPECT_EQ(value.data, std::string("\x02\0\0\0", 4));
    EXPECT_EQ(store.readValue(joined, value), StoreStatus::kKeyMissing);
  }
}

// The store's reads by path and name, alternating keys of one length that
// differ in one byte of the path or of the name.
TEST_F(StoreReadPathStoreTest, ReadsByPathAndNameOfKeysOfOneLengthReadTheirOwnValues) {
  ConfigStore& store = ConfigStore::ForThisThread();
  const std::string root = std::string(zn::test::kInstanceKey) + "\\";
  const std::string paths[] = {root + "L1", root + "L2"};
  const std::string names[] = {"nA", "nB"};
  for (int p = 0; p < 2; ++p) {
    for (int n = 0; n < 2; ++n) {
      const char number[4] = {static_cast<char>(p * 2 + n + 1), 0, 0, 0};
      ASSERT_EQ(store.writeValue(paths[p], names[n], kZnRegNumber, std::string_view(number, 4)), StoreStatus::kOk);
    }
  }
  StoreValue value;
  for (int round = 0; round < 40; ++round) {
    const int p = (round / 2) % 2;  // 0 0 1 1 ...: the path changes every other read
    const int n = round % 2;        // and the name every read
    ASSERT_EQ(store.readValue(paths[p], names[n], value), StoreStatus::kOk) << round;
    ASSERT_EQ(value.data, std::string({static_cast<char>(p * 2 + n + 1), 0, 0, 0})) << round;
  }
  EXPECT_EQ(store.readValue(root + "L3", "nA", value), StoreStatus::kKeyMissing);
  EXPECT_EQ(store.readValue(root + "L1", "nC", value), StoreStatus::kValueMissing);
  ASSERT_EQ(store.readValue(root + "L1", "nA", value), StoreStatus::kOk);
  EXPECT_EQ(value.data, std::string("\x01\0\0\0", 4));
}

TEST_F(StoreReadPathStoreTest, AWriteOrDeleteBetweenTwoReadsOfTheKeptKeyIsRead) {
  ZNPlatformInfo info;
  ZNPlatformInfo other;
  ASSERT_EQ(info.setNumber("Kept", "nValue", 1), 1);
  ASSERT_EQ(NumberOf(info, "Kept", "nValue"), 1U);
  ASSERT_EQ(NumberOf(info, "Kept", "nValue"), 1U);
  ASSERT_EQ(info.setNumber("Kept", "nValue", 2), 1);  // by the reading object
  EXPECT_EQ(NumberOf(info, "Kept", "nValue"), 2U);
  ASSERT_EQ(other.setNumber("Kept", "nValue", 3), 1);  // by another object
  EXPECT_EQ(NumberOf(info, "Kept", "nValue"), 3U);
  std::thread([] { ASSERT_EQ(ZNPlatformInfo().setNumber("Kept", "nValue", 4), 1); }).join();  // another thread
  EXPECT_EQ(NumberOf(info, "Kept", "nValue"), 4U);

  ConfigStore& store = ConfigStore::ForThisThread();
  const std::string path = std::string(zn::test::kInstanceKey) + "\\Kept";
  ASSERT_EQ(store.deleteValue(path, "nValue"), StoreStatus::kOk);
  int code = 0;
  EXPECT_EQ(NumberOf(info, "Kept", "nValue", &code), kNone);
  EXPECT_EQ(code, -3);
  ASSERT_EQ(other.setNumber("Kept", "nValue", 5), 1);
  EXPECT_EQ(NumberOf(info, "Kept", "nValue"), 5U);
  ASSERT_EQ(store.deleteTree(path), StoreStatus::kOk);
  EXPECT_EQ(NumberOf(info, "Kept", "nValue", &code), kNone);
  EXPECT_EQ(code, -2);
  ASSERT_EQ(other.setString("Kept", "nValue", "text"), 1);  // now of another type
  EXPECT_EQ(NumberOf(info, "Kept", "nValue"), kNone);
  EXPECT_EQ(StringOf(info, "Kept", "sValue"), "<none>");
  EXPECT_EQ(StringOf(info, "Kept", "nValue"), "text");

  // With the cache off and on again, and inside a snapshot.
  ASSERT_EQ(other.setNumber("Kept", "nValue", 6), 1);
  ConfigStore::SetCacheCapacity(0);
  EXPECT_EQ(NumberOf(info, "Kept", "nValue"), 6U);
  ASSERT_EQ(other.setNumber("Kept", "nValue", 7), 1);
  EXPECT_EQ(NumberOf(info, "Kept", "nValue"), 7U);
  ConfigStore::SetCacheCapacity(4096);
  EXPECT_EQ(NumberOf(info, "Kept", "nValue"), 7U);
  {
    const ConfigStore::ReadSnapshot snapshot(store);
    EXPECT_EQ(NumberOf(info, "Kept", "nValue"), 7U);
    std::thread([] { ASSERT_EQ(ZNPlatformInfo().setNumber("Kept", "nValue", 8), 1); }).join();
    EXPECT_EQ(NumberOf(info, "Kept", "nValue"), 7U);  // the snapshot's moment
  }
  EXPECT_EQ(NumberOf(info, "Kept", "nValue"), 8U);
}

TEST_F(StoreReadPathStoreTest, ObjectsOnOneThreadKeepTheirOwnKeys) {
  ZNPlatformInfo writer;
  ASSERT_EQ(writer.setNumber("Mine", "nValue", 1), 1);
  ASSERT_EQ(writer.setNumber("Yours", "nValue", 2), 1);
  writer.setFocus("Instance002");
  ASSERT_EQ(writer.setNumber("Mine", "nValue", 3), 1);

  ZNPlatformInfo first;
  ZNPlatformInfo second;
  ZNPlatformInfo elsewhere("Instance002");
  for (int round = 0; round < 20; ++round) {
    ASSERT_EQ(NumberOf(first, "Mine", "nValue"), 1U);
    ASSERT_EQ(NumberOf(second, "Yours", "nValue"), 2U);
    ASSERT_EQ(NumberOf(elsewhere, "Mine", "nValue"), 3U);  // same section and name, another instance
    ASSERT_EQ(NumberOf(first, "Mine", "nValue"), 1U);
  }
  // A copy keeps its own from then on.
  ZNPlatformInfo copy(first);
  EXPECT_EQ(NumberOf(copy, "Mine", "nValue"), 1U);
  copy.setFocus("Instance002");
  EXPECT_EQ(NumberOf(copy, "Mine", "nValue"), 3U);
  EXPECT_EQ(NumberOf(first, "Mine", "nValue"), 1U);
  copy = elsewhere;
  EXPECT_EQ(NumberOf(copy, "Mine", "nValue"), 3U);
  copy = first;
  EXPECT_EQ(NumberOf(copy, "Mine", "nValue"), 1U);
}

// The kept key is the section's and name's alone: the object handed to
// another thread (one at a time) reads there what that thread's store
// holds, and the first thread's cache is not consulted.
TEST_F(StoreReadPathStoreTest, AnObjectHandedToAnotherThreadReadsThatThreadsStore) {
  TempDir folder;
  const std::string other = folder.file("other.db");
  PutValue(other, 9);
  ZNPlatformInfo writer;
  ASSERT_EQ(writer.setNumber("Switch", "nWhich", 1), 1);
  ZNPlatformInfo info;
  ASSERT_EQ(NumberOf(info, "Switch", "nWhich"), 1U);
  ASSERT_EQ(NumberOf(info, "Switch", "nWhich"), 1U);
  unsigned long there = 0;
  std::thread([&] { there = NumberOf(info, "Switch", "nWhich"); }).join();
  EXPECT_EQ(there, 1U);
  ASSERT_EQ(writer.setNumber("Switch", "nWhich", 2), 1);
  std::thread([&] { there = NumberOf(info, "Switch", "nWhich"); }).join();
  EXPECT_EQ(there, 2U);
  EXPECT_EQ(NumberOf(info, "Switch", "nWhich"), 2U);
  {
    zn::test::ScopedEnv chosen("ZN_CONFIG_STORE", other);
    EXPECT_EQ(NumberOf(info, "Switch", "nWhich"), 9U);
    std::thread([&] { there = NumberOf(info, "Switch", "nWhich"); }).join();
    EXPECT_EQ(there, 9U);
  }
  EXPECT_EQ(NumberOf(info, "Switch", "nWhich"), 2U);
}

// What the expansion depends on, changed between two reads of one section
// and name: the remote cell and the product type.
TEST_F(StoreReadPathStoreTest, TheKeptKeyFollowsTheRemoteCellAndProductType) {
  const std::string root = std::string(zn::kProductsRoot) + "Orvane\\";
  ASSERT_TRUE(zn::test::WriteRaw((root + "Instance001\\HubServe").c_str(), "nCell", kZnRegNumber,
                                 std::string("\x01\0\0\0", 4)));
  ASSERT_TRUE(zn::test::WriteRaw((root + "Instance001\\RemoteHubServes\\Cell9\\HubServe").c_str(), "nCell",
                                 kZnRegNumber, std::string("\x09\0\0\0", 4)));
  ASSERT_TRUE(zn::test::WriteRaw((root + "HubServe").c_str(), "nCell", kZnRegNumber, std::string("\x05\0\0\0", 4)));
  ZNPlatformInfo info;
  for (int round = 0; round < 3; ++round) {
    ZNPI_Focus::reload();
    ASSERT_EQ(NumberOf(info, "HubServe", "nCell"), 1U);
    ASSERT_EQ(NumberOf(info, "HubServe", "nCell"), 1U);
    ZNPI_Focus::setRemoteHubCellFocus("Cell9");
    ASSERT_EQ(NumberOf(info, "HubServe", "nCell"), 9U);
    ZNPI_Focus::setProductType(TESSALY_PRODUCT_TYPE_NO_INSTANCE);
    ASSERT_EQ(NumberOf(info, "HubServe", "nCell"), 5U);
  }
  ZNPI_Focus::reload();
  EXPECT_EQ(NumberOf(info, "HubServe", "nCell"), 1U);
}

}  // namespace
