// Key-level operations: deep copy, rename, recursive delete, and how the
// store behaves when its file is corrupt or read-only.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <list>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "config/ConfigTestUtil.h"

namespace {

using zn::ConfigStore;
using zn::StoreEntry;
using zn::StoreStatus;
using zn::test::ConfigTest;
using zn::test::kInstanceKey;
using zn::test::ReadRaw;
using zn::test::WriteRaw;

using Tree = zn::test::StoreTree;

// The tree below a relative or absolute key; empty when it does not exist.
Tree Snapshot(const std::string& key) { return zn::test::TreeBelow(ZNPlatformInfo(0, 0).expandKeyName(key.c_str())); }

bool KeyExists(const std::string& key) {
  return ConfigStore::ForThisThread().keyExists(ZNPlatformInfo(0, 0).expandKeyName(key.c_str())) == StoreStatus::kOk;
}

// A source tree with every kind of value, nested keys and an empty key.
void BuildSource(const char* key) {
  const std::string root = key;
  ASSERT_TRUE(WriteRaw(key, "sName", kZnRegString, std::string("source\0", 7)));
  ASSERT_TRUE(WriteRaw(key, "nCount", kZnRegNumber, std::string("\x2a\0\0\0", 4)));
  ASSERT_TRUE(WriteRaw(key, "qBig", kZnRegNumber64, std::string("\x01\0\0\0\0\0\0\x80", 8)));
  ASSERT_TRUE(WriteRaw(key, "bin1024", 3, std::string(1024, '\xAB')));  // the largest value a copy takes
  ASSERT_TRUE(WriteRaw((root + "\\Sub1").c_str(), "mList", kZnRegMultiString, std::string("a\0\0b\0\0", 6)));
  ASSERT_TRUE(WriteRaw((root + "\\Sub1\\Deep").c_str(), "dDir", kZnRegExpandString, std::string("%X%\0", 4)));
  ASSERT_TRUE(ZNPlatformInfo(0, 0).createRegKey((root + "\\Sub2").c_str()));
}

using zn::test::ScopedEnv;

using StoreKeys = ConfigTest;

TEST_F(StoreKeys, CopyIsDeepAndNeverMergesOrNestsIntoItself) {
  BuildSource("~Src");
  const Tree source = Snapshot("~Src");
  ASSERT_EQ(source.size(), 10u);  // 4 keys, 6 values

  ZNPlatformInfo info;
  ASSERT_TRUE(info.copyRegKey("~Src", "~Dst"));
  EXPECT_EQ(Snapshot("~Dst"), source);
  EXPECT_EQ(Snapshot("~Src"), source);
  // A copy, not a link.
  ASSERT_TRUE(info.setString("Dst\\Sub1", "sNew", "only in the copy"));
  ASSERT_TRUE(info.delRegField("~Dst", "sName"));
  EXPECT_EQ(Snapshot("~Src"), source);

  // The other forms: absolute keys, std::string keys, root + sub.
  std::string from = std::string(kInstanceKey) + "\\Src", to = "~Dst2";
  ASSERT_TRUE(info.copyRegKey(from, to));
  EXPECT_EQ(Snapshot("~Dst2"), source);
  ASSERT_TRUE(info.copyRegKey("Sub1", "Moved", "~Src\\", "~Dst3\\"));
  Tree sub1;
  for (const auto& [name, value] : source) {
    if (name.rfind("\\Sub1", 0) == 0) sub1[name.substr(5)] = value;
  }
  EXPECT_EQ(Snapshot("~Dst3\\Moved"), sub1);
  ASSERT_TRUE(info.copyRegKey("~Src", "~SrcX"));  // a sibling whose name begins the same is no subtree

  // Never into an existing key, whatever its spelling: nothing changes.
  ASSERT_TRUE(info.setString("Other", "sKeep", "x"));
  const Tree other = Snapshot("~Other");
  for (const char* existing : {"~Other", "~OTHER", "~dst"}) {
    ZNPlatformInfo copier;
    const Tree before = Snapshot(existing);
    EXPECT_FALSE(copier.copyRegKey("~Src", existing)) << existing;
    EXPECT_EQ(copier.getRegError(), -1);
    EXPECT_EQ(copier.getLastErrorMsg(), std::string("Failed to create key [") + existing + "]: Key already exists!");
    EXPECT_EQ(Snapshot(existing), before);
  }
  EXPECT_EQ(Snapshot("~Other"), other);
  EXPECT_TRUE(Logged("Failed to create key [~Other]: Key already exists!"));

  // Never into its own subtree (nor onto itself).
  for (const char* inside : {"~Src\\Sub1\\Inner", "~src/New", "~SRC"}) {
    ZNPlatformInfo copier;
    EXPECT_FALSE(copier.copyRegKey("~Src", inside)) << inside;
    EXPECT_EQ(copier.getRegError(), -1);
    EXPECT_FALSE(copier.getLastErrorMsg().empty());
  }
  EXPECT_EQ(Snapshot("~Src"), source);

  // A missing source: -2, silently, nothing made.
  ZNPlatformInfo quiet;
  EXPECT_FALSE(quiet.copyRegKey("~Nope", "~Made"));
  EXPECT_EQ(quiet.getRegError(), -2);
  EXPECT_EQ(quiet.getLastErrorMsg(), "");
  EXPECT_FALSE(KeyExists("~Made"));

  // Values only, between two open keys: merges into the existing target.
  ASSERT_TRUE(info.setString("Merge", "sKeep", "kept"));
  const ZnRegKey fromKey{info.expandKeyName("~Src")}, toKey{info.expandKeyName("~Merge")};
  ASSERT_TRUE(info.copyRegKeyValues(&fromKey, &toKey));
  Tree merged = Snapshot("~Merge");
  EXPECT_EQ(merged.size(), 6u);  // the key, its own value and the 4 copied ones; no subkeys
  EXPECT_EQ(merged["|bin1024"], source.at("|bin1024"));
  EXPECT_EQ(merged["|sKeep"], std::string("1:kept\0", 7));
}

TEST_F(StoreKeys, ALargeValueFailsTheCopyWhichKeepsWhatItMade) {
  ZNPlatformInfo info;
  ASSERT_TRUE(WriteRaw("~Src", "a", kZnRegString, std::string("top\0", 4)));
  ASSERT_TRUE(WriteRaw("~Src\\Sub", "a1", kZnRegString, std::string("small\0", 6)));
  ASSERT_TRUE(WriteRaw("~Src\\Sub", "z", 3, std::string(1025, 'x')));
  ASSERT_TRUE(WriteRaw("~Src\\Zed", "later", kZnRegString, std::string("z\0", 2)));
  const Tree source = Snapshot("~Src");

  EXPECT_FALSE(info.copyRegKey("~Src", "~Dst"));
  EXPECT_EQ(info.getRegError(), -1);
  EXPECT_TRUE(Logged("Failed to copy subkey [Sub] of key [~Src]"));
  // The copy stopped at the large value: everything before it is in place.
  const Tree copied = Snapshot("~Dst");
  const Tree expected = {{"|", ""},
                         {"|a", std::string("1:top\0", 6)},
                         {"\\Sub|", ""},
                         {"\\Sub|a1", std::string("1:small\0", 8)}};
  EXPECT_EQ(copied, expected);

  // A rename whose copy fails leaves the source alone.
  ZNPlatformInfo renamer;
  EXPECT_FALSE(renamer.renameRegKey("~Src", "~Moved"));
  EXPECT_EQ(renamer.getRegError(), -1);
  EXPECT_EQ(renamer.getLastErrorMsg(), "Failed to copy key ~Src");
  EXPECT_EQ(Snapshot("~Src"), source);

  // Without the large value both go through.
  ASSERT_TRUE(info.delRegField("~Src\\Sub", "z"));
  ASSERT_TRUE(info.delRegKey("~Dst"));
  ASSERT_TRUE(info.delRegKey("~Moved") || info.getRegError() == -2);
  const Tree smaller = Snapshot("~Src");
  ASSERT_TRUE(info.copyRegKey("~Src", "~Dst"));
  EXPECT_EQ(Snapshot("~Dst"), smaller);
}

TEST_F(StoreKeys, RenameMovesAndDeleteIsRecursive) {
  BuildSource("~Src");
  const Tree source = Snapshot("~Src");
  ZNPlatformInfo info;
  ASSERT_TRUE(info.renameRegKey("~Src", "~Renamed"));
  EXPECT_EQ(Snapshot("~Renamed"), source);
  EXPECT_FALSE(KeyExists("~Src"));
  EXPECT_FALSE(KeyExists("~Src\\Sub1\\Deep"));

  // Onto an existing key: fails, and neither key changes.
  ASSERT_TRUE(info.setString("Taken", "sKeep", "x"));
  const Tree taken = Snapshot("~Taken");
  ZNPlatformInfo renamer;
  EXPECT_FALSE(renamer.renameRegKey("~Renamed", "~Taken"));
  EXPECT_EQ(renamer.getRegError(), -1);
  EXPECT_EQ(renamer.getLastErrorMsg(), "Failed to copy key ~Renamed");
  EXPECT_TRUE(Logged("Failed to create key [~Taken]: Key already exists!"));
  EXPECT_EQ(Snapshot("~Renamed"), source);
  EXPECT_EQ(Snapshot("~Taken"), taken);
  EXPECT_FALSE(renamer.renameRegKey("~Renamed", "~Renamed\\Inside"));
  EXPECT_EQ(Snapshot("~Renamed"), source);
  EXPECT_FALSE(renamer.renameRegKey("~Nope", "~Else"));
  EXPECT_EQ(renamer.getRegError(), -2);
  EXPECT_FALSE(renamer.renameRegKey(nullptr, "~Else"));
  EXPECT_EQ(renamer.getLastErrorMsg(), "Invalid arguments.");
  std::string from = "~Renamed", to = "~Again";
  ASSERT_TRUE(renamer.renameRegKey(from, to));
  EXPECT_EQ(Snapshot("~Again"), source);

  // createRegKey makes missing parents and accepts an existing key.
  ASSERT_TRUE(info.createRegKey("~A\\B\\C"));
  ASSERT_TRUE(info.createRegKey("~a\\b"));
  std::list<std::string> subkeys;
  ASSERT_TRUE(info.getSubKeys("A", &subkeys));
  EXPECT_EQ(subkeys, std::list<std::string>{"B"});

  // A leaf goes alone; a key goes with everything below it.
  ASSERT_TRUE(info.delRegKey("~Again\\Sub1\\Deep"));
  EXPECT_TRUE(KeyExists("~Again\\Sub1"));
  EXPECT_FALSE(KeyExists("~Again\\Sub1\\Deep"));
  ASSERT_TRUE(info.delRegKey("~AGAIN\\"));
  EXPECT_FALSE(KeyExists("~Again"));
  std::string text;
  EXPECT_EQ(info.getString("Again\\Sub1", "mList", &text), 0);
  EXPECT_EQ(info.getRegError(), -2);
  EXPECT_TRUE(KeyExists("~Taken"));
  EXPECT_TRUE(KeyExists("~A\\B\\C"));
  ASSERT_TRUE(info.deleteSection("A"));
  EXPECT_FALSE(KeyExists("~A\\B"));
  ASSERT_TRUE(info.setString("Taken", "sOther", "y"));
  ASSERT_TRUE(info.deleteField("Taken", "sKeep"));
  EXPECT_EQ(Snapshot("~Taken").size(), 2u);  // the key and sOther
  EXPECT_FALSE(info.delRegKey("~A"));
  EXPECT_EQ(info.getRegError(), -2);
  EXPECT_EQ(ConfigStore::ForThisThread().deleteTree(""), StoreStatus::kFailed);  // never the root
}

TEST_F(StoreKeys, NameLengthAndDepthLimitsHoldForNewAndExistingKeys) {
  ZNPlatformInfo info;
  const std::string longest(255, 'k');
  ASSERT_TRUE(info.createRegKey(("~" + longest).c_str()));
  EXPECT_FALSE(info.createRegKey(("~" + longest + "x\\Below").c_str()));
  EXPECT_EQ(info.getRegError(), -1);
  EXPECT_NE(info.getLastErrorMsg().find("is longer than 255 characters"), std::string::npos) << info.getLastErrorMsg();

  // Value names of up to 16,383 characters, whether the key exists or not.
  const std::string name(16383, 'n');
  ASSERT_EQ(info.setString("Limits", name.c_str(), "new key"), 1);
  ASSERT_EQ(info.setString("Limits", name.c_str(), "existing key"), 1);
  for (const char* section : {"Limits", "LimitsNew"}) {
    ZNPlatformInfo writer;
    EXPECT_EQ(writer.setString(section, (name + "x").c_str(), "too long"), 0) << section;
    EXPECT_EQ(writer.getRegError(), -1) << section;
    EXPECT_FALSE(writer.getLastErrorMsg().empty());
  }
  EXPECT_EQ(Snapshot("~Limits").size(), 2u);  // the key and its one value
  EXPECT_FALSE(KeyExists("~LimitsNew"));

  // At most 512 levels: the instance key has 4, 508 more reach the limit;
  // a tree that deep is deleted whole.
  std::string deep = "~d";
  for (int level = 1; level < 508; ++level) deep += "\\d";
  ASSERT_TRUE(info.setString(deep.c_str(), "sBottom", "x"));
  EXPECT_FALSE(info.createRegKey((deep + "\\d").c_str()));
  EXPECT_EQ(info.getRegError(), -1);
  ASSERT_TRUE(info.delRegKey("~d"));
  EXPECT_FALSE(KeyExists("~d"));
}

TEST_F(StoreKeys, ACorruptStoreFailsEveryCallWithMinusOneAndAMessage) {
  zn::test::TempDir dir;
  const std::string garbage = dir.file("garbage.db");
  {
    std::mt19937 random(12345);
    std::string bytes(64 * 1024, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    bytes[0] = 'X';  // never the database header
    std::ofstream(garbage, std::ios::binary) << bytes;
  }

  // A real store whose pages after the first are overwritten.
  const std::string damaged = dir.file("damaged.db");
  zn::test::OnFreshThread([&] {
    ScopedEnv env("ZN_CONFIG_STORE", damaged);
    for (int i = 0; i < 400; ++i) {
      ASSERT_TRUE(WriteRaw(("~S\\K" + std::to_string(i % 20)).c_str(), ("v" + std::to_string(i)).c_str(), 3,
                           std::string(300, static_cast<char>(i))));
    }
  });
  {
    const int fd = ::open(damaged.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    struct stat info {};
    ASSERT_EQ(::fstat(fd, &info), 0);
    ASSERT_GT(info.st_size, 8192);
    const std::string junk(static_cast<std::size_t>(info.st_size) - 4096, '\x5A');
    ASSERT_EQ(::pwrite(fd, junk.data(), junk.size(), 4096), static_cast<ssize_t>(junk.size()));
    ::close(fd);
  }

  for (const std::string& file : {garbage, damaged}) {
    SCOPED_TRACE(file);
    ScopedEnv env("ZN_CONFIG_STORE", file);
    // Each call fails with -1 and a message; in the damaged store, whose
    // first page is intact, a call may also succeed.
    std::string text;
    unsigned long number = 0, type = 0;
    char buf[64];
    int size = sizeof buf;
    std::list<std::string> subkeys;
    std::map<std::string, std::string> values;
    std::vector<std::string> texts;
    const std::vector<std::pair<const char*, std::function<bool(ZNPlatformInfo&)>>> calls = {
        {"getString", [&](ZNPlatformInfo& i) { return i.getString("S\\K1", "v1", &text) != 0; }},
        {"getNumber", [&](ZNPlatformInfo& i) { return i.getNumber("S", "n", &number) != 0; }},
        {"getRegValue", [&](ZNPlatformInfo& i) { return i.getRegValue("~S\\K2", "v2", &type, buf, size); }},
        {"setString", [&](ZNPlatformInfo& i) { return i.setString("S", "sNew", "x") != 0; }},
        {"setRegValue", [&](ZNPlatformInfo& i) { return i.setRegValue("SOFTWARE\\T", "b", 3, "\x01", 1); }},
        {"getSubKeys", [&](ZNPlatformInfo& i) { return i.getSubKeys("S", &subkeys); }},
        {"getRegValues", [&](ZNPlatformInfo& i) { return i.getRegValues("~S\\K3", &values); }},
        {"getValue(list)", [&](ZNPlatformInfo& i) { return i.getValue(std::string("S\\K4"), texts) != 0; }},
        {"getValue(default)",
         [&](ZNPlatformInfo& i) { return i.getValue(std::string("S"), std::string("sMissing"), text, "7") != 0; }},
        {"createRegKey", [&](ZNPlatformInfo& i) { return i.createRegKey("~New\\Key"); }},
        {"delRegField", [&](ZNPlatformInfo& i) { return i.delRegField("~S\\K5", "v5"); }},
        {"copyRegKey", [&](ZNPlatformInfo& i) { return i.copyRegKey("~S", "~Copy"); }},
        {"renameRegKey", [&](ZNPlatformInfo& i) { return i.renameRegKey("~S\\K6", "~Moved"); }},
        {"delRegKey", [&](ZNPlatformInfo& i) { return i.delRegKey("~S"); }},
    };
    for (const auto& [what, call] : calls) {
      ZNPlatformInfo info;
      const bool ok = call(info);
      if (ok && file == damaged) continue;
      EXPECT_FALSE(ok) << what;
      EXPECT_EQ(info.getRegError(), -1) << what;
      EXPECT_FALSE(info.getLastErrorMsg().empty()) << what;
    }
    std::string report;
    const StoreStatus status = ConfigStore::ForThisThread().integrityCheck(report);
    EXPECT_TRUE(status == StoreStatus::kFailed || report != "ok") << report;
    if (file == garbage) {
      EXPECT_FALSE(ConfigStore::ForThisThread().lastError().empty());
    }
  }
  EXPECT_TRUE(Logged("Failed to set field [sNew] to x under registry key ["));

  // The store of the test is usable again.
  ZNPlatformInfo info;
  ASSERT_TRUE(info.setString("S", "sAfter", "fine"));
}

TEST_F(StoreKeys, AReadOnlyStoreIsReadAndRefusesWrites) {
  // A store file nobody may write, in a folder where others may create files
  // and in one they may not. Root ignores permission bits, so the checks run
  // in a child that drops to "nobody" when the test runs as root.
  for (const mode_t folderMode : {mode_t{01777}, mode_t{0555}}) {
    SCOPED_TRACE("folder mode " + std::to_string(folderMode));
    std::string folder = "/tmp/zn_readonly.XXXXXX";
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    const std::string file = folder + "/config.db";
    zn::test::OnFreshThread([&] {
      ScopedEnv env("ZN_CONFIG_STORE", file);
      ZNPlatformInfo info;
      ASSERT_TRUE(info.setString("S", "sName", "kept"));
      ASSERT_TRUE(info.setNumber("S\\Sub", "nCount", 3));
    });
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(folder.c_str(), folderMode), 0);

    zn::test::Child child([&]() -> std::string {
      if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return "SKIP";
      if (::access(file.c_str(), W_OK) == 0) return "the store is still writable";
      ::setenv("ZN_CONFIG_STORE", file.c_str(), 1);
      std::string failures;
      ZNPlatformInfo info(0, 0);
      auto readsBack = [&](const char* when) {
        std::string text;
        unsigned long number = 0;
        std::list<std::string> subkeys;
        if (info.getString("S", "sName", &text) != 1 || text != "kept") {
          failures += std::string(when) + ": string read gave " + std::to_string(info.getRegError()) + " " +
                      info.getLastErrorMsg() + "\n";
        }
        if (info.getNumber("S\\Sub", "nCount", &number) != 1 || number != 3) failures += std::string(when) + ": number\n";
        if (!info.getSubKeys("S", &subkeys) || subkeys != std::list<std::string>{"Sub"}) {
          failures += std::string(when) + ": subkeys\n";
        }
      };
      readsBack("before writing");
      if (!ConfigStore::ForThisThread().readOnly()) failures += "not opened read-only\n";
      auto refused = [&](const char* what, bool ok) {
        if (ok || info.getRegError() != -1 || info.getLastErrorMsg().empty()) {
          failures += std::string(what) + " was not refused with -1: " + std::to_string(info.getRegError()) + "\n";
        }
      };
      refused("setString", info.setString("S", "sName", "changed") != 0);
      refused("setNumber", info.setNumber("New", "n", 1) != 0);
      refused("createRegKey", info.createRegKey("~Made"));
      refused("delRegField", info.delRegField("~S", "sName"));
      refused("delRegKey", info.delRegKey("~S"));
      refused("copyRegKey", info.copyRegKey("~S", "~Copy"));
      refused("renameRegKey", info.renameRegKey("~S", "~Moved"));
      readsBack("after the refused writes");
      return failures;
    });
    const std::string result = child.finish();
    ::chmod(folder.c_str(), 0755);
    std::filesystem::remove_all(folder);
    if (result.find(": SKIP") != std::string::npos) GTEST_SKIP() << "running as root and cannot become nobody";
    EXPECT_EQ(result, "");
  }
}

}  // namespace
