// The archiver: what it writes is a standard zip (deflate) that unzip reads
// back to the same bytes; damaged archives fail with 13 and leave nothing
// behind; an archive is replaced all at once, even under a concurrent
// reader.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "helpers/TempDir.h"
#include "zuzazer/C7zip.h"
#include "zuzazer/FXErrorUtil.h"

namespace {

namespace fs = std::filesystem;
using zn::test::ReadFile;
using zn::test::TempDir;

constexpr const char* kUnzip = "/usr/bin/unzip";

void WriteFile(const std::string& path, const std::string& data, long long age = 0) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
  if (age != 0) {
    const struct timespec when = {static_cast<time_t>(::time(nullptr) - age), 0};
    const struct timespec times[2] = {when, when};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
  }
}

long long Mtime(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_mtime) : -1;
}

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) names.insert(entry.path().lexically_relative(folder));
  return names;
}

// Bytes that deflate cannot shrink much, then text that it can.
std::string MixedBytes(std::size_t size, unsigned seed) {
  std::string data;
  data.reserve(size);
  unsigned state = seed;
  while (data.size() < size / 2) {
    state = state * 1103515245u + 12345u;
    data.push_back(static_cast<char>(state >> 16));
  }
  for (int line = 0; data.size() < size; ++line) data += "4123 1a2f 2026-12-06 line " + std::to_string(line) + "\n";
  data.resize(size);
  return data;
}

// What a program prints on its standard output, as bytes.
std::string Output(const std::string& command, int* status = nullptr) {
  std::string text;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return text;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  const int result = ::pclose(pipe);
  if (status != nullptr) *status = result;
  return text;
}

C7zip Ready(const std::string& folder) {
  C7zip archiver(folder, e7zipFormatZip);
  EXPECT_TRUE(archiver.Initialize().IsSuccess());
  return archiver;
}

TEST(C7zip, RoundTripKeepsBytesAndTimesAndUnzipAgrees) {
  TempDir dir, out;
  const std::vector<std::pair<std::string, std::string>> files = {
      {"empty.log", ""},
      {"all bytes.log", [] {
         std::string s;
         for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
         return s;
       }()},
      {"big_20240101000000.log", MixedBytes(3 * 1024 * 1024 + 17, 7)},
  };
  std::vector<std::string> paths;
  long long age = 3 * 86400;
  for (const auto& [name, data] : files) {
    WriteFile(dir.file(name), data, age);
    age -= 86400;  // the last file is the newest
    paths.push_back(dir.file(name));
  }
  C7zip archiver = Ready(dir.path());
  ASSERT_TRUE(archiver.AddFilesToArchive("set.zip", paths).IsSuccess());
  // Only the archive was added; no temporary file is left.
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"empty.log", "all bytes.log", "big_20240101000000.log", "set.zip"}));
  // The archive carries the newest file's last write time.
  EXPECT_EQ(Mtime(dir.file("set.zip")), Mtime(paths.back()));

  std::vector<std::string> extracted;
  ASSERT_TRUE(archiver.ExtractFilesFromArchive("set.zip", out.path(), extracted).IsSuccess());
  ASSERT_EQ(extracted.size(), files.size());
  for (const auto& [name, data] : files) {
    EXPECT_EQ(ReadFile(out.file(name)), data) << name;
    EXPECT_EQ(Mtime(out.file(name)), Mtime(dir.file(name))) << name;
    bool same = false;
    ASSERT_TRUE(archiver.CompareWithFile("set.zip", dir.file(name), same).IsSuccess());
    EXPECT_TRUE(same) << name;
  }
  EXPECT_EQ(Names(out.path()), (std::set<std::string>{"empty.log", "all bytes.log", "big_20240101000000.log"}));

  // One byte changed, one more byte, or no such entry: not the same.
  std::string changed = files[2].second;
  changed[changed.size() / 3] ^= 1;
  WriteFile(out.file("big_20240101000000.log"), changed);
  WriteFile(out.file("all bytes.log"), files[1].second + "x");
  WriteFile(out.file("other.log"), "other");
  for (const char* name : {"big_20240101000000.log", "all bytes.log", "other.log"}) {
    bool same = true;
    ASSERT_TRUE(archiver.CompareWithFile(dir.file("set.zip"), out.file(name), same).IsSuccess());
    EXPECT_FALSE(same) << name;
  }

  if (::access(kUnzip, X_OK) != 0) GTEST_SKIP() << "no " << kUnzip << " to cross-check with";
  int status = -1;
  Output(std::string(kUnzip) + " -tq '" + dir.file("set.zip") + "'", &status);
  EXPECT_EQ(status, 0);
  for (const auto& [name, data] : files) {
    EXPECT_EQ(Output(std::string(kUnzip) + " -p '" + dir.file("set.zip") + "' '" + name + "'"), data) << name;
  }
  // Stored with deflate, as the suite's archives are.
  const std::string listing = Output(std::string(kUnzip) + " -v '" + dir.file("set.zip") + "'");
  EXPECT_NE(listing.find("Defl"), std::string::npos) << listing;
}

TEST(C7zip, DamagedArchivesFailWith13AndLeaveNothingBehind) {
  TempDir dir;
  const std::string data = MixedBytes(512 * 1024, 3);
  WriteFile(dir.file("a_20240101000000.log"), data);
  C7zip archiver = Ready(dir.path());
  ASSERT_TRUE(archiver.AddFilesToArchive("good.zip", {dir.file("a_20240101000000.log")}).IsSuccess());
  const std::string good = ReadFile(dir.file("good.zip"));
  ASSERT_GT(good.size(), 1000u);

  std::vector<std::pair<std::string, std::string>> damaged = {
      {"empty", ""},
      {"text", "this is not an archive\n"},
      {"cut at 10", good.substr(0, 10)},
      {"cut at 40", good.substr(0, 40)},
      {"cut in half", good.substr(0, good.size() / 2)},
  };
  std::string flipped = good;
  flipped[good.size() / 3] ^= 0x55;  // inside the compressed data
  damaged.emplace_back("flipped byte", flipped);

  for (const auto& [label, bytes] : damaged) {
    SCOPED_TRACE(label);
    TempDir out;
    WriteFile(dir.file("bad.zip"), bytes);
    std::vector<std::string> extracted;
    const CYqError error = archiver.ExtractFilesFromArchive(dir.file("bad.zip"), out.path(), extracted);
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(error.GetErrorCode(), 13u) << error.AsString();
    EXPECT_NE(error.AsString().find("Cannot read archive ["), std::string::npos) << error.AsString();
    EXPECT_TRUE(extracted.empty());
    EXPECT_TRUE(Names(out.path()).empty());  // no partial file, no temporary
    bool same = true;
    EXPECT_TRUE(archiver.CompareWithFile(dir.file("bad.zip"), dir.file("a_20240101000000.log"), same).IsError());
  }

  std::vector<std::string> extracted;
  EXPECT_EQ(archiver.ExtractFilesFromArchive(dir.file("missing.zip"), dir.path(), extracted).GetErrorCode(), 2u);
  C7zip fresh(dir.path());
  EXPECT_EQ(fresh.ExtractFilesFromArchive("good.zip", extracted).GetErrorCode(), 5023u);
  EXPECT_EQ(fresh.AddFilesToArchive("new.zip", {dir.file("a_20240101000000.log")}).GetErrorCode(), 5023u);
  EXPECT_EQ(C7zip(dir.path(), static_cast<E7zipFormat>(7)).Initialize().GetErrorCode(), 50u);
}

TEST(C7zip, NamesThatLeaveTheDestinationAreRefused) {
  TempDir dir, out;
  // Same length as "../evil", so the archive stays consistent once patched.
  WriteFile(dir.file("XXXevil"), "payload");
  C7zip archiver = Ready(dir.path());
  ASSERT_TRUE(archiver.AddFilesToArchive("evil.zip", {dir.file("XXXevil")}).IsSuccess());
  std::string bytes = ReadFile(dir.file("evil.zip"));
  for (std::size_t at = bytes.find("XXXevil"); at != std::string::npos; at = bytes.find("XXXevil", at)) {
    bytes.replace(at, 7, "../evil");
  }
  WriteFile(dir.file("evil.zip"), bytes);
  const std::string inside = out.file("inside");
  fs::create_directories(inside);
  std::vector<std::string> extracted;
  const CYqError error = archiver.ExtractFilesFromArchive(dir.file("evil.zip"), inside, extracted);
  ASSERT_TRUE(error.IsError());
  EXPECT_EQ(error.GetErrorCode(), 123u) << error.AsString();
  EXPECT_FALSE(fs::exists(out.file("evil")));
  EXPECT_TRUE(Names(inside).empty());
}

// An archive of `file` whose entry name has `from` replaced by `to` (of the
// same length, so the archive stays consistent).
std::string PatchedArchive(C7zip& archiver, const TempDir& dir, const std::string& file, const std::string& from,
                           const std::string& to) {
  EXPECT_TRUE(archiver.AddFilesToArchive("patched.zip", {dir.file(file)}).IsSuccess());
  std::string bytes = ReadFile(dir.file("patched.zip"));
  for (std::size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at)) bytes.replace(at, from.size(), to);
  WriteFile(dir.file("patched.zip"), bytes);
  return dir.file("patched.zip");
}

TEST(C7zip, ExtractionNeverFollowsALinkOutOfTheDestination) {
  TempDir dir, out, outside;
  const std::string inside = out.file("inside");
  fs::create_directories(inside);
  // A folder of the destination that is a link to somewhere else.
  fs::create_directory_symlink(outside.path(), inside + "/lnk");
  WriteFile(dir.file("lnkXpayload"), "payload");
  C7zip archiver = Ready(dir.path());
  const std::string archive = PatchedArchive(archiver, dir, "lnkXpayload", "lnkXpayload", "lnk/payload");
  std::vector<std::string> extracted;
  CYqError error = archiver.ExtractFilesFromArchive(archive, inside, extracted);
  ASSERT_TRUE(error.IsError());
  EXPECT_EQ(error.GetErrorCode(), 123u) << error.AsString();
  EXPECT_TRUE(Names(outside.path()).empty());
  EXPECT_TRUE(extracted.empty());

  // Deeper: a link below a real folder, and a link to a folder outside
  // given as a relative path.
  fs::create_directories(inside + "/real");
  fs::create_directory_symlink("../../../" + fs::path(outside.path()).filename().string(), inside + "/real/up");
  WriteFile(dir.file("realXupXpayload"), "payload");
  const std::string deeper = PatchedArchive(archiver, dir, "realXupXpayload", "realXupXpayload", "real/up/payload");
  error = archiver.ExtractFilesFromArchive(deeper, inside, extracted);
  ASSERT_TRUE(error.IsError());
  EXPECT_EQ(error.GetErrorCode(), 123u) << error.AsString();
  EXPECT_TRUE(Names(outside.path()).empty());

  // A file of the archive named like a link in the destination replaces the
  // link; what the link pointed at stays as it was.
  WriteFile(outside.file("target"), "kept");
  fs::create_symlink(outside.file("target"), inside + "/payload");
  WriteFile(dir.file("payload"), "from the archive");
  ASSERT_TRUE(archiver.AddFilesToArchive("plain.zip", {dir.file("payload")}).IsSuccess());
  error = archiver.ExtractFilesFromArchive(dir.file("plain.zip"), inside, extracted);
  ASSERT_TRUE(error.IsSuccess()) << error.AsString();
  EXPECT_EQ(ReadFile(outside.file("target")), "kept");
  EXPECT_FALSE(fs::is_symlink(inside + "/payload"));
  EXPECT_EQ(ReadFile(inside + "/payload"), "from the archive");
}

TEST(C7zip, ExtractionStopsAtItsSizeLimitAndLeavesNoPart) {
  TempDir dir, out;
  // 3 MiB that deflate shrinks to a few kilobytes.
  WriteFile(dir.file("bomb.log"), std::string(3 * 1024 * 1024, '\0'));
  WriteFile(dir.file("small.log"), std::string(600 * 1024, 'a'));
  WriteFile(dir.file("other.log"), std::string(600 * 1024, 'b'));
  C7zip archiver = Ready(dir.path());
  ASSERT_TRUE(archiver.AddFilesToArchive("bomb.zip", {dir.file("bomb.log")}).IsSuccess());
  ASSERT_TRUE(archiver.AddFilesToArchive("two.zip", {dir.file("small.log"), dir.file("other.log")}).IsSuccess());
  ASSERT_LT(fs::file_size(dir.file("bomb.zip")), 64u * 1024);
  EXPECT_EQ(archiver.GetExtractLimit(), C7zip::kDefaultExtractLimitBytes);

  archiver.SetExtractLimit(1024 * 1024);
  std::vector<std::string> extracted;
  CYqError error = archiver.ExtractFilesFromArchive(dir.file("bomb.zip"), out.path(), extracted);
  ASSERT_TRUE(error.IsError());
  EXPECT_EQ(error.GetErrorCode(), 223u) << error.AsString();
  EXPECT_NE(error.AsString().find("1048576"), std::string::npos) << error.AsString();
  EXPECT_TRUE(Names(out.path()).empty());  // not even a temporary file
  // The limit counts everything the archive expands to.
  error = archiver.ExtractFilesFromArchive(dir.file("two.zip"), out.path(), extracted);
  ASSERT_TRUE(error.IsError());
  EXPECT_EQ(error.GetErrorCode(), 223u) << error.AsString();
  EXPECT_EQ(Names(out.path()), std::set<std::string>{"small.log"});  // what came before stays, whole
  EXPECT_EQ(ReadFile(out.file("small.log")), std::string(600 * 1024, 'a'));

  archiver.SetExtractLimit(4 * 1024 * 1024);
  error = archiver.ExtractFilesFromArchive(dir.file("bomb.zip"), out.path(), extracted);
  ASSERT_TRUE(error.IsSuccess()) << error.AsString();
  EXPECT_EQ(fs::file_size(out.file("bomb.log")), 3u * 1024 * 1024);
}

TEST(C7zip, AnArchiveIsReplacedWholeOrNotAtAll) {
  TempDir dir;
  WriteFile(dir.file("x.log"), "x content\n");
  WriteFile(dir.file("y.log"), "y content\n");
  C7zip archiver = Ready(dir.path());
  ASSERT_TRUE(archiver.AddFilesToArchive("set.zip", {"x.log"}).IsSuccess());
  const std::string before = ReadFile(dir.file("set.zip"));

  // A failure part-way keeps the old archive and leaves no temporary file.
  const CYqError missing = archiver.AddFilesToArchive("set.zip", {"y.log", "missing.log"});
  EXPECT_EQ(missing.GetErrorCode(), 2u) << missing.AsString();
  EXPECT_EQ(ReadFile(dir.file("set.zip")), before);
  EXPECT_EQ(archiver.AddFilesToArchive("set.zip", {"x.log", dir.file("x.log")}).GetErrorCode(), 87u);
  EXPECT_EQ(archiver.AddFilesToArchive("set.zip", {}).GetErrorCode(), 87u);
  EXPECT_EQ(archiver.AddFilesToArchive("set.zip", {dir.path()}).GetErrorCode(), 87u);  // a folder
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"set.zip", "x.log", "y.log"}));

  // Replaced again and again while another thread extracts it: every
  // extraction sees one whole archive, the old one or the new one.
  const std::string big = MixedBytes(256 * 1024, 11);
  WriteFile(dir.file("x.log"), big);
  std::atomic<bool> done{false};
  std::thread replacer([&] {
    C7zip own = Ready(dir.path());
    for (int i = 0; i < 40; ++i) {
      ASSERT_TRUE(own.AddFilesToArchive("set.zip", {i % 2 == 0 ? "x.log" : "y.log"}).IsSuccess());
    }
    done = true;
  });
  int reads = 0;
  while (!done.load() || reads < 5) {
    TempDir out;
    std::vector<std::string> extracted;
    const CYqError error = archiver.ExtractFilesFromArchive(dir.file("set.zip"), out.path(), extracted);
    ASSERT_TRUE(error.IsSuccess()) << error.AsString();
    ASSERT_EQ(extracted.size(), 1u);
    const std::string name = fs::path(extracted[0]).filename();
    if (name == "x.log") {
      const std::string got = ReadFile(extracted[0]);
      EXPECT_TRUE(got == big || got == "x content\n");
    } else {
      EXPECT_EQ(name, "y.log");
      EXPECT_EQ(ReadFile(extracted[0]), "y content\n");
    }
    ++reads;
  }
  replacer.join();
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"set.zip", "x.log", "y.log"}));
}

}  // namespace
