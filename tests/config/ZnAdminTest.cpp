// znadmin config: each command run as the built program against a store of
// the test's own, its output and exit codes, and export/import/backup
// keeping every byte.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "config/ZnAdminTestUtil.h"

namespace {

using zn::ConfigStore;
using zn::StoreEntry;
using zn::StoreStatus;
using zn::test::ReadFile;
using zn::test::TempDir;

using zn::test::Outcome;
using zn::test::ZnAdmin;
using zn::test::B;

Outcome Admin(const std::vector<std::string>& args, const std::string& input = std::string()) {
  return zn::test::RunAdmin(args, input);
}

TEST_F(ZnAdmin, HelpAndUsageErrors) {
  Outcome run = Admin({"--help"});
  EXPECT_EQ(run.code, 0);
  EXPECT_NE(run.out.find("config"), std::string::npos);
  EXPECT_EQ(Admin({"config", "--help"}).code, 0);
  EXPECT_EQ(Admin({}).code, 2);
  EXPECT_EQ(Admin({"--bogus", "config", "check"}).code, 2);
  EXPECT_EQ(Config({}).code, 2);
  EXPECT_EQ(Config({"frobnicate"}).code, 2);
  EXPECT_EQ(Config({"get", "~S"}).code, 2);
  EXPECT_EQ(Config({"set", "~S", "nCount", "twelve"}).code, 2);
  EXPECT_EQ(Config({"set", "~S", "nCount", "4294967296"}).code, 2);
  EXPECT_EQ(Config({"set", "~S", "sName", "a", "b"}).code, 2);
  EXPECT_EQ(Config({"set", "~S", "sName", "a", "--type", "weird"}).code, 2);
  EXPECT_EQ(Config({"set", "~S", "raw", "0g", "--type", "binary"}).code, 2);
  EXPECT_EQ(Config({"copy", "~S"}).code, 2);
  // Nothing was written by any of them.
  EXPECT_TRUE(zn::test::TreeBelow(zn::test::kInstanceKey).empty());
}

TEST_F(ZnAdmin, SetGetListAndDeleteWithTheirExitCodes) {
  EXPECT_EQ(Config({"set", "~S", "sName", "hello world"}).code, 0);
  EXPECT_EQ(Config({"set", "~S", "nCount", "42"}).code, 0);  // the letter gives the type
  EXPECT_EQ(Config({"set", "~S", "bFlag", "1"}).code, 0);
  EXPECT_EQ(Config({"set", "~S", "dHome", "/var/x"}).code, 0);
  EXPECT_EQ(Config({"set", "~S", "mList", "a", "", "b", "--type", "multi"}).code, 0);
  EXPECT_EQ(Config({"set", "~S", "sBig", "18446744073709551615", "--type", "longlong"}).code, 0);
  EXPECT_EQ(Config({"set", "~S", "raw", "00,ff 10", "--type", "binary"}).code, 0);
  EXPECT_EQ(Config({"set", "~S\\Sub", "sDeep", "deep"}).code, 0);
  EXPECT_EQ(Config({"set", "SOFTWARE/Other/Key", "sAbs", "abs"}).code, 0);
  EXPECT_EQ(Admin({"--store", m_store, "--instance", "Instance002", "config", "set", "~S", "sName", "two"}).code, 0);

  EXPECT_EQ(Raw("~S", "sName"), "1 68656c6c6f20776f726c6400\n");
  EXPECT_EQ(Raw("~s", "NCOUNT"), "4 2a000000\n");
  EXPECT_EQ(Raw("~S", "bFlag"), "4 01000000\n");
  EXPECT_EQ(Raw("~S", "dHome"), "2 2f7661722f7800\n");
  EXPECT_EQ(Raw("~S", "mList"), "7 610000620000\n");
  EXPECT_EQ(Raw("~S", "sBig"), "1 313834343637343430373337303935353136313500\n");
  EXPECT_EQ(Raw("~S", "raw"), "3 00ff10\n");
  EXPECT_EQ(Raw("SOFTWARE\\Other\\Key", "sAbs"), "1 61627300\n");
  EXPECT_EQ(Raw("SOFTWARE\\Tessaly Systems\\Orvane\\Instance002\\S", "sName"), "1 74776f00\n");
  Outcome run = Config({"get", "~S", "sName"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out, "hello world\n");
  EXPECT_EQ(Config({"get", "~S", "nCount"}).out, "42\n");
  EXPECT_EQ(Config({"get", "~S", "mList"}).out, "a\n\nb\n");
  EXPECT_EQ(Config({"get", "~S", "raw"}).out, "00,ff,10\n");

  // What znadmin wrote, the library reads.
  ZNPlatformInfo info;
  std::string text;
  unsigned long number = 0;
  ASSERT_EQ(info.getString("S", "sName", &text), 1);
  EXPECT_EQ(text, "hello world");
  ASSERT_EQ(info.getNumber("S", "nCount", &number), 1);
  EXPECT_EQ(number, 42u);
  unsigned long long big = 0;
  ASSERT_EQ(info.getLongLong("S", "sBig", &big), 1);

  // A value larger than the first read's buffer.
  const std::string large(5000, 'L');
  ASSERT_TRUE(info.setString("S", "sLarge", large));
  EXPECT_EQ(Config({"get", "~S", "sLarge"}).out, large + "\n");

  run = Config({"list", "~S"});
  EXPECT_EQ(run.code, 0);
  EXPECT_NE(run.out.find("[SOFTWARE\\Tessaly Systems\\Orvane\\Instance001\\S]\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\n\"sName\"=string:\"hello world\"\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\n\"nCount\"=number:42\n"), std::string::npos);
  EXPECT_NE(run.out.find("\n# Sub\\\n"), std::string::npos);
  EXPECT_EQ(run.out.find("sDeep"), std::string::npos);
  run = Config({"list", "-r", "~S"});
  EXPECT_EQ(run.code, 0);
  EXPECT_NE(run.out.find("[SOFTWARE\\Tessaly Systems\\Orvane\\Instance001\\S\\Sub]\n\"sDeep\"=string:\"deep\"\n"),
            std::string::npos)
      << run.out;

  // Missing keys give 3, missing values 4.
  run = Config({"get", "~Nope", "sName"});
  EXPECT_EQ(run.code, 3);
  EXPECT_NE(run.err.find("does not exist"), std::string::npos);
  EXPECT_EQ(Config({"get", "~S", "sNope"}).code, 4);
  EXPECT_EQ(Config({"list", "~Nope"}).code, 3);
  EXPECT_EQ(Config({"delete", "~S", "sName"}).code, 0);
  EXPECT_EQ(Config({"get", "~S", "sName"}).code, 4);
  EXPECT_EQ(Config({"delete", "~S", "sName"}).code, 4);
  EXPECT_EQ(Config({"delete", "~Nope", "sName"}).code, 3);
  EXPECT_EQ(Config({"delete", "~Nope"}).code, 3);
  EXPECT_EQ(Config({"delete", "~S\\Sub"}).code, 0);
  EXPECT_EQ(Config({"get", "~S\\Sub", "sDeep"}).code, 3);
  EXPECT_EQ(info.getString("S", "dHome", &text), 1);  // the rest is still there

  // A focus set but empty names no instance: a usage error, not a crash.
  run = Admin({"--store", m_store, "config", "get", "~S", "nCount"});
  EXPECT_EQ(run.code, 0);
  ::setenv("ZN_FOCUS", "", 1);
  run = Admin({"--store", m_store, "config", "get", "~S", "nCount"});
  ::setenv("ZN_FOCUS", "Instance001", 1);
  EXPECT_EQ(run.code, 2);
  EXPECT_EQ(run.err, "znadmin config get: $ZN_FOCUS is set but empty: name one with --instance NAME or $ZN_FOCUS\n");
}

TEST_F(ZnAdmin, CopyAndRename) {
  ZNPlatformInfo info;
  ASSERT_TRUE(info.setString("S", "sName", "x"));
  ASSERT_TRUE(info.setNumber("S\\Sub", "nCount", 7));
  const std::string instance = zn::test::kInstanceKey;
  const auto source = zn::test::TreeBelow(instance + "\\S");

  EXPECT_EQ(Config({"copy", "~S", "~T"}).code, 0);
  EXPECT_EQ(zn::test::TreeBelow(instance + "\\T"), source);
  Outcome run = Config({"copy", "~S", "~T"});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("Key already exists!"), std::string::npos) << run.err;
  EXPECT_EQ(Config({"copy", "~S", "~S\\Sub\\Inner"}).code, 1);
  EXPECT_EQ(Config({"copy", "~Nope", "~U"}).code, 3);

  EXPECT_EQ(Config({"rename", "~T", "~R"}).code, 0);
  EXPECT_EQ(zn::test::TreeBelow(instance + "\\R"), source);
  EXPECT_EQ(Config({"get", "~T", "sName"}).code, 3);
  EXPECT_EQ(Config({"rename", "~S", "~R"}).code, 1);  // the target exists: the source stays
  EXPECT_EQ(zn::test::TreeBelow(instance + "\\S"), source);
  EXPECT_EQ(Config({"rename", "~Nope", "~V"}).code, 3);
}

TEST_F(ZnAdmin, ExportThenImportReproducesEveryValueByteForByte) {
  const std::string instance = zn::test::kInstanceKey;
  const std::string src = instance + "\\Src";
  std::string binary(3000, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 31 + 7);
  const std::vector<std::tuple<std::string, std::string, uint32_t, std::string>> values = {
      {"", "sPlain", kZnRegString, B("plain\0")},
      {"", "sEmpty", kZnRegString, B("\0")},
      {"", "sEscapes", kZnRegString, B("q\"uote\\ back\nnl\r\t\x01\x7f\xc3\xa9 =]\0")},
      {"", "sNoTerminator", kZnRegString, "raw"},
      {"", "sInnerNul", kZnRegString, B("a\0b\0")},
      {"", "name \"with\" = and \\", kZnRegString, B("n\0")},
      {"", "dExpand", kZnRegExpandString, B("%HOME%\\x\0")},
      {"", "mEmbedded", kZnRegMultiString, B("a\0\0b\0\0")},
      {"", "mEmptyOnly", kZnRegMultiString, B("\0\0")},
      {"", "mOdd", kZnRegMultiString, B("a\0b")},
      {"", "nNumber", kZnRegNumber, B("\xff\xff\xff\xff")},
      {"", "nShort", kZnRegNumber, B("\x01\x02")},
      {"", "qWord", kZnRegNumber64, B("\xff\xff\xff\xff\xff\xff\xff\xff")},
      {"", "qShort", kZnRegNumber64, B("\x01")},
      {"", "binary", 3, binary},
      {"", "oddType", 0xFFFFFFFFu, B("\x00\x01")},
      {"\\Sub key", "sDeep", kZnRegString, B("deep\0")},
      {"\\Sub key\\Deeper\\Deepest", "nLevel", kZnRegNumber, B("\x03\0\0\0")},
      {"\\Ünïcode", "sText", kZnRegString, B("\xe2\x82\xac\0")},
  };
  for (const auto& [key, name, type, data] : values) {
    ASSERT_EQ(ConfigStore::ForThisThread().writeValue(src + key, name, type, data), StoreStatus::kOk) << name;
  }
  ASSERT_EQ(ConfigStore::ForThisThread().writeValue(src, "zEmptyBytes", 3, ""), StoreStatus::kOk);
  bool existed = false;
  ASSERT_EQ(ConfigStore::ForThisThread().createKey(src + "\\Empty key", existed), StoreStatus::kOk);
  const auto source = zn::test::TreeBelow(src);
  ASSERT_EQ(source.size(), values.size() + 1 + 6);  // the values, zEmptyBytes, and 6 keys

  const std::string file = m_dir.file("export.txt");
  Outcome run = Config({"export", "~Src", "-o", file});
  ASSERT_EQ(run.code, 0) << run.err;
  const std::string text = ReadFile(file);
  EXPECT_EQ(text.rfind("# ZaRorozIvi configuration export\n#root " + src + "\n", 0), 0u) << text;
  run = Config({"export", "~Src"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out, text);

  run = Config({"import", file, "--into", "~Dst"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(zn::test::TreeBelow(instance + "\\Dst"), source);
  for (const auto& [key, name, type, data] : values) {
    EXPECT_EQ(Raw("~Dst" + key, name), Raw("~Src" + key, name)) << name;
  }
  EXPECT_EQ(Raw("~Dst", "binary").size(), 2 + 6000 + 1u);

  // From stdin, and back where it came from.
  run = Config({"import", "-", "--into", "SOFTWARE\\Elsewhere"}, text);
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(zn::test::TreeBelow("SOFTWARE\\Elsewhere"), source);
  ASSERT_TRUE(ZNPlatformInfo().delRegKey("~Src"));
  ASSERT_EQ(Config({"import", file}).code, 0);
  EXPECT_EQ(zn::test::TreeBelow(src), source);

  // A broken file imports nothing at all, not even its first keys.
  std::ofstream(m_dir.file("broken.txt")) << "[SOFTWARE\\Broken\\A]\n\"ok\"=string:\"x\"\n[SOFTWARE\\Broken\\B]\n\"bad\"=number:x\n";
  run = Config({"import", m_dir.file("broken.txt")});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("line 4"), std::string::npos) << run.err;
  EXPECT_TRUE(zn::test::TreeBelow("SOFTWARE\\Broken").empty());
  EXPECT_EQ(Config({"import", m_dir.file("missing.txt")}).code, 3);
  EXPECT_EQ(Config({"export", "~Nope"}).code, 3);
}

TEST_F(ZnAdmin, BackupGivesAStoreThatChecksOk) {
  ZNPlatformInfo info;
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(info.setString(("S\\K" + std::to_string(i % 10)).c_str(), ("s" + std::to_string(i)).c_str(),
                               std::string(100, static_cast<char>('a' + i % 26))));
  }
  Outcome run = Config({"check"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out, "ok\n");

  // A backup taken while another process keeps writing.
  const std::string copy = m_dir.file("backup.db");
  std::string store = m_store;
  zn::test::Child writer([store]() -> std::string {
    ::setenv("ZN_CONFIG_STORE", store.c_str(), 1);
    ZNPlatformInfo other(0, 0);
    for (int i = 0; i < 300; ++i) {
      if (other.setNumber("Busy", ("n" + std::to_string(i)).c_str(), static_cast<unsigned long>(i)) == 0) {
        return "write failed: " + other.getLastErrorMsg();
      }
    }
    return "";
  });
  run = Config({"backup", copy});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(writer.finish(), "");

  run = Admin({"--store", copy, "config", "check"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "ok\n");
  run = Admin({"--store", copy, "config", "get", "~S\\K3", "s193"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out, std::string(100, static_cast<char>('a' + 193 % 26)) + "\n");
  EXPECT_EQ(Admin({"--store", copy, "config", "set", "~S", "sAfter", "writable"}).code, 0);

  // A file that is no store fails the check.
  std::ofstream(m_dir.file("junk.db"), std::ios::binary) << std::string(8192, '\x42');
  run = Admin({"--store", m_dir.file("junk.db"), "config", "check"});
  EXPECT_EQ(run.code, 1);
  EXPECT_FALSE(run.err.empty());
}

}  // namespace
