// znadmin config against hostile names and input, damaged stores, and the
// files it writes: exports that read back exactly or not at all, backups
// that keep the store's protection, and never the store itself as output.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config/ZnAdminTestUtil.h"

namespace {

using zn::ConfigStore;
using zn::StoreStatus;
using zn::test::Outcome;
using zn::test::ReadFile;
using zn::test::TempDir;
using zn::test::ZnAdmin;
namespace fs = std::filesystem;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  mode_t mode = 0;
  gid_t group = 0;
  bool operator==(const FileId& other) const { return device == other.device && inode == other.inode; }
};

FileId IdOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return {st.st_dev, st.st_ino, static_cast<mode_t>(st.st_mode & 07777), st.st_gid};
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

TEST_F(ZnAdmin, ExportEscapesEveryNameAndImportReadsThemBackExactly) {
  const std::string src = std::string(zn::test::kInstanceKey) + "\\Src";
  ConfigStore& store = ConfigStore::ForThisThread();
  // Key names holding everything that means something in the export: line
  // ends, brackets, the escape character, comment and root markers, and a
  // name crafted to inject a key and a value of its own.
  const std::vector<std::string> keyNames = {
      "line\nbreak", "cr\rhere", "]", "[x]", "100%", "%41", "#root Evil", "#end 1 keys 1 values",
      "tab\there", std::string("nul\0in", 6), " spaced ", "=\"", "\x01\x7f\xc3\xa9",
      "x]\n\"sInjected\"=string:\"evil\"\n[SOFTWARE"};
  for (std::size_t i = 0; i < keyNames.size(); ++i) {
    ASSERT_EQ(store.writeValue(src + "\\" + keyNames[i], "v\n\"]" + std::to_string(i), 1, zn::test::B("x\0")),
              StoreStatus::kOk)
        << i;
  }
  ASSERT_EQ(store.writeValue(src + "\\line\nbreak\\inner]\n[", "\"=\n", 4, zn::test::B("\x01\0\0\0")),
            StoreStatus::kOk);
  const auto source = zn::test::TreeBelow(src);

  const std::string file = m_dir.file("export.txt");
  Outcome run = Config({"export", "~Src", "-o", file});
  ASSERT_EQ(run.code, 0) << run.err;
  const std::string text = ReadFile(file);
  // One line per key, value, header, root and end: no name breaks a line.
  const std::size_t keys = keyNames.size() + 2, values = keyNames.size() + 1;
  std::size_t lines = 0, keyLines = 0;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    ++lines;
    keyLines += line[0] == '[' ? 1 : 0;
  }
  EXPECT_EQ(keyLines, keys) << text;
  EXPECT_EQ(lines, 3 + keys + values) << text;
  EXPECT_TRUE(text.ends_with("#end " + std::to_string(keys) + " keys " + std::to_string(values) + " values\n"))
      << text;

  run = Config({"import", file, "--into", "~Dst"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(zn::test::TreeBelow(std::string(zn::test::kInstanceKey) + "\\Dst"), source);
  // And back where it came from.
  ASSERT_EQ(store.deleteTree(src), StoreStatus::kOk);
  ASSERT_EQ(Config({"import", file}).code, 0);
  EXPECT_EQ(zn::test::TreeBelow(src), source);

  // A root name with a line end of its own.
  const std::string odd = "SOFTWARE\\Odd\nRoot";
  ASSERT_EQ(store.writeValue(odd, "sName", 1, zn::test::B("o\0")), StoreStatus::kOk);
  const auto oddTree = zn::test::TreeBelow(odd);
  run = Config({"export", odd});
  ASSERT_EQ(run.code, 0) << run.err;
  ASSERT_EQ(store.deleteTree(odd), StoreStatus::kOk);
  ASSERT_EQ(Config({"import", "-"}, run.out).code, 0);
  EXPECT_EQ(zn::test::TreeBelow(odd), oddTree);
  EXPECT_EQ(store.keyExists("SOFTWARE\\Odd"), StoreStatus::kKeyMissing);
}

TEST_F(ZnAdmin, ImportRefusesCutBadAndEndlessInputWhole) {
  ZNPlatformInfo info;
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(info.setNumber(("S\\K" + std::to_string(i)).c_str(), "nValue", i));
  const Outcome exported = Config({"export", "~S"});
  ASSERT_EQ(exported.code, 0) << exported.err;
  const std::string text = exported.out;
  ASSERT_TRUE(info.delRegKey("~S"));
  const std::string instance = zn::test::kInstanceKey;

  // Cut at a line boundary (the end line and the last key gone), the end
  // line's counts changed, something after it, or no end at all.
  const std::string cut = text.substr(0, text.rfind("\n[") + 1);
  std::string miscounted = text;
  miscounted.replace(miscounted.rfind("#end "), std::string::npos, "#end 6 keys 4 values\n");
  const std::vector<std::pair<std::string, std::string>> bad = {
      {"cut at a line", cut},
      {"cut inside the end line", text.substr(0, text.size() - 4)},
      {"wrong counts", miscounted},
      {"text after the end", text + "[SOFTWARE\\After]\n"},
      {"empty", ""},
  };
  for (const auto& [what, content] : bad) {
    const std::string file = m_dir.file("bad.txt");
    WriteText(file, content);
    const Outcome run = Config({"import", file});
    EXPECT_EQ(run.code, 1) << what << ": " << run.err;
    EXPECT_FALSE(run.err.empty()) << what;
    EXPECT_TRUE(zn::test::TreeBelow(instance + "\\S").empty()) << what;
  }

  // Endless or unreadable input ends in a clear failure, not an abort.
  Outcome run = Config({"import", "/dev/zero"});
  EXPECT_EQ(run.code, 1) << run.err;
  EXPECT_TRUE(Has(run.err, "longer than")) << run.err;
  run = Config({"import", m_dir.path()});
  EXPECT_EQ(run.code, 1) << run.err;
  EXPECT_TRUE(Has(run.err, "is a folder")) << run.err;
  // More input than any export: refused before anything is parsed.
  {
    std::ofstream big(m_dir.file("big.txt"), std::ios::binary);
    const std::string comment = "# " + std::string(1000, 'c') + "\n";
    for (int i = 0; i < 68 * 1024; ++i) big << comment;  // 68 MiB and more
  }
  run = Config({"import", m_dir.file("big.txt")});
  fs::remove(m_dir.file("big.txt"));
  EXPECT_EQ(run.code, 1) << run.err;
  EXPECT_TRUE(Has(run.err, "larger than")) << run.err;
  EXPECT_TRUE(zn::test::TreeBelow(instance + "\\S").empty());

  // The whole export still imports.
  ASSERT_EQ(Config({"import", "-"}, text).code, 0);
  EXPECT_EQ(zn::test::TreeBelow(instance + "\\S").size(), 11u);  // 6 keys, 5 values
}

TEST_F(ZnAdmin, ExportRefusesAValueTooLargeToImportAndLeavesNoFile) {
  ZNPlatformInfo info;
  ASSERT_TRUE(info.setString("S", "sSmall", "fine"));
  const std::string huge(3 * 1024 * 1024, '\x01');  // 3 MiB in hex is more than a line may hold
  ASSERT_TRUE(info.setRegValue("~S", "binary", 3, huge.data(), static_cast<int>(huge.size())));
  const std::string file = m_dir.file("export.txt");
  const Outcome run = Config({"export", "~S", "-o", file});
  EXPECT_EQ(run.code, 1);
  EXPECT_TRUE(Has(run.err, "binary")) << run.err;
  EXPECT_FALSE(fs::exists(file));
}

TEST_F(ZnAdmin, ExportAndBackupNeverWriteOverTheStoreOrItsCompanions) {
  ZNPlatformInfo info;
  ASSERT_TRUE(info.setString("S", "sName", "precious"));
  // This process holds the store open, so its WAL files exist too.
  ASSERT_TRUE(fs::exists(m_store + "-wal"));
  ASSERT_TRUE(fs::exists(m_store + "-shm"));
  fs::create_symlink(m_store, m_dir.file("link.db"));
  ASSERT_EQ(::link(m_store.c_str(), m_dir.file("hard.db").c_str()), 0);
  const FileId before = IdOf(m_store);
  for (const std::string& target : {m_store, m_store + "-wal", m_store + "-shm", m_dir.file("link.db"),
                                    m_dir.file("hard.db")}) {
    SCOPED_TRACE(target);
    Outcome run = Config({"export", "~S", "-o", target});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(Has(run.err, "is the configuration store")) << run.err;
    run = Config({"backup", "--force", target});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(Has(run.err, "is the configuration store")) << run.err;
  }
  EXPECT_TRUE(IdOf(m_store) == before);
  EXPECT_EQ(Config({"check"}).out, "ok\n");
  std::string text;
  EXPECT_EQ(info.getString("S", "sName", &text), 1);
  EXPECT_EQ(text, "precious");
}

TEST_F(ZnAdmin, BackupKeepsTheStoresModeAndGroupAndReplacesOnlyWithForce) {
  ZNPlatformInfo info;
  ASSERT_TRUE(info.setString("S", "sPassword", "secret"));
  ASSERT_EQ(::chmod(m_store.c_str(), 0640), 0);
  const bool root = ::geteuid() == 0;
  constexpr gid_t kGroup = 4242;  // any group: root may give files to it
  if (root) {
    ASSERT_EQ(::chown(m_store.c_str(), static_cast<uid_t>(-1), kGroup), 0);
  }
  const mode_t oldMask = ::umask(022);

  const std::string copy = m_dir.file("backup.db");
  Outcome run = Config({"backup", copy});
  EXPECT_EQ(run.code, 0) << run.err;
  FileId made = IdOf(copy);
  EXPECT_EQ(made.mode, 0640u);
  if (root) {
    EXPECT_EQ(made.group, kGroup);
  }

  // An existing file stays as it is without --force.
  ASSERT_TRUE(info.setString("S", "sAfter", "later"));
  run = Config({"backup", copy});
  EXPECT_EQ(run.code, 5);  // refused
  EXPECT_TRUE(Has(run.err, "--force")) << run.err;
  EXPECT_TRUE(IdOf(copy) == made);
  EXPECT_EQ(zn::test::RunAdmin({"--store", copy, "config", "get", "~S", "sAfter"}).code, 4);
  run = Config({"backup", "--force", copy});
  EXPECT_EQ(run.code, 0) << run.err;
  made = IdOf(copy);
  EXPECT_EQ(made.mode, 0640u);
  EXPECT_EQ(zn::test::RunAdmin({"--store", copy, "config", "get", "~S", "sAfter"}).out, "later\n");
  ::umask(oldMask);

  // An export takes the store's protection as well.
  run = Config({"export", "~S", "-o", m_dir.file("export.txt")});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(IdOf(m_dir.file("export.txt")).mode, 0640u);
}

// The record of value "v3" of a key written by the test: its data is 300
// bytes of 'z'. Its first byte, the key's id, is set to another key's, so
// the record sorts out of its place and a scan of the key's values stops
// there without SQLite noticing anything.
bool MisplaceRecord(const std::string& file) {
  std::string bytes = ReadFile(file);
  const std::string record = "v3" + std::string(1, '\x03') + std::string(32, 'z');
  const auto at = bytes.find(record);
  if (at == std::string::npos || at == 0 || bytes.find(record, at + 1) != std::string::npos) return false;
  bytes[at - 1] = '\x7f';
  WriteText(file, bytes);
  return true;
}

TEST_F(ZnAdmin, ListAndExportOfADamagedStoreFailInsteadOfAnsweringShort) {
  TempDir dir;
  const std::string damaged = dir.file("damaged.db");
  zn::test::OnFreshThread([&] {
    zn::test::ScopedEnv env("ZN_CONFIG_STORE", damaged);
    for (int i = 0; i < 10; ++i) {
      ASSERT_TRUE(zn::test::WriteRaw("SOFTWARE\\T\\K", ("v" + std::to_string(i)).c_str(), 3, std::string(300, 'z')));
    }
    ASSERT_TRUE(zn::test::WriteRaw("SOFTWARE\\T\\L", "other", 3, std::string(300, 'y')));
  });
  // The last connection has folded the WAL into the file.
  ASSERT_FALSE(fs::exists(damaged + "-wal"));
  ASSERT_TRUE(MisplaceRecord(damaged));

  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"list", "SOFTWARE\\T\\K"}, {"list", "-r", "SOFTWARE\\T"}, {"export", "SOFTWARE\\T"}}) {
    std::vector<std::string> args = {"--store", damaged, "config"};
    args.insert(args.end(), command.begin(), command.end());
    const Outcome run = zn::test::RunAdmin(args);
    EXPECT_EQ(run.code, 1) << command.back() << ": " << run.out;
    EXPECT_EQ(run.out, "") << command.back();
    EXPECT_TRUE(Has(run.err, "damaged")) << run.err;
  }
  EXPECT_EQ(zn::test::RunAdmin({"--store", damaged, "config", "check"}).code, 1);
}

}  // namespace
