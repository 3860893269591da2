#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "helpers/TempDir.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/FXPath.h"

namespace {

using zn::test::ReadFile;
using zn::test::TempDir;

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

std::set<std::string> Names(const std::vector<FXFileInfo>& entries) {
  std::set<std::string> names;
  for (const auto& entry : entries) names.insert(entry.name);
  return names;
}

TEST(FXPath, AppendUsesExactlyOneSeparator) {
  // Folder, name, joined.
  for (const auto& [folder, name, joined] : std::vector<std::tuple<const char*, const char*, const char*>>{
           {"a", "b", "a/b"}, {"a/", "b", "a/b"}, {"a", "/b", "a/b"}, {"a///", "//b/c", "a/b/c"}, {"/", "b", "/b"},
           {"/", "/b", "/b"}, {"//", "b", "/b"}, {"", "b/", "b/"}, {"a/", "", "a/"}}) {
    EXPECT_EQ(FXPath::Append(folder, name), joined) << folder << " + " << name;
  }
}

TEST(FXPath, FileNameAndDirectoryEdges) {
  // Path, directory, file name.
  for (const auto& [path, directory, name] : std::vector<std::tuple<const char*, const char*, const char*>>{
           {"a/b/c.log", "a/b", "c.log"}, {"a/b/", "a", "b"}, {"c.log", "", "c.log"}, {"/c", "/", "c"},
           {"/a/b", "/a", "b"}, {"//c", "/", "c"}, {"", "", ""},
           // Doubled separators before the name are not part of the folder.
           {"a//b", "a", "b"}, {"/x///y", "/x", "y"}}) {
    EXPECT_EQ(FXPath::GetDirectory(path), directory) << path;
    EXPECT_EQ(FXPath::GetFileName(path), name) << path;
  }
  EXPECT_EQ(FXPath::WithTrailingSeparator("a"), "a/");
  EXPECT_EQ(FXPath::WithTrailingSeparator("a/"), "a/");
  EXPECT_EQ(FXPath::WithTrailingSeparator(""), "/");
}

TEST(FXFile, CreateDirectoriesNestedExistingAndBlocked) {
  TempDir dir;
  const std::string nested = dir.file("x/y/z");
  for (const std::string& path : {nested, nested, nested + "/", dir.file("trail/")}) {
    EXPECT_TRUE(FXFile::CreateDirectories(path).IsSuccess()) << path;
  }
  EXPECT_TRUE(FXFile::IsDirectory(nested) && FXFile::IsDirectory(dir.file("trail")));

  // A file where a folder should be: an error, and the file is left alone.
  WriteFile(dir.file("plain"), "keep");
  const CYqError blocked = FXFile::CreateDirectories(dir.file("plain"));
  EXPECT_TRUE(blocked.Is(183) || blocked.Is(80)) << blocked.AsString();
  EXPECT_TRUE(FXFile::CreateDirectories(dir.file("plain/sub/deeper")).IsError());
  EXPECT_EQ(ReadFile(dir.file("plain")), "keep");
  EXPECT_TRUE(FXFile::CreateDirectories("").IsError());

  // Threads racing to make the same tree all succeed.
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      if (FXFile::CreateDirectories(dir.file("race/a/b/c/d")).IsError()) ++failures;
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_TRUE(FXFile::IsDirectory(dir.file("race/a/b/c/d")));
}

TEST(FXFile, MoveWithoutReplaceKeepsBothFiles) {
  TempDir dir;
  const std::string from = dir.file("from.txt"), to = dir.file("to.txt");
  WriteFile(from, "new");
  WriteFile(to, "old");
  const CYqError refused = FXFile::Move(from, to, false);
  EXPECT_TRUE(refused.Is(80)) << refused.AsString();
  EXPECT_EQ(ReadFile(from), "new");
  EXPECT_EQ(ReadFile(to), "old");

  ASSERT_TRUE(FXFile::Move(from, to, true).IsSuccess());
  EXPECT_FALSE(FXFile::Exists(from));
  EXPECT_EQ(ReadFile(to), "new");

  EXPECT_TRUE(FXFile::Move(dir.file("missing"), to).Is(2));
  EXPECT_TRUE(FXFile::Remove(dir.file("missing")).Is(2));
  ASSERT_TRUE(FXFile::Remove(to).IsSuccess());
  EXPECT_FALSE(FXFile::Exists(to));
  // Remove is for files only.
  ASSERT_TRUE(FXFile::CreateDirectories(dir.file("folder")).IsSuccess());
  EXPECT_TRUE(FXFile::Remove(dir.file("folder")).IsError());
  EXPECT_TRUE(FXFile::IsDirectory(dir.file("folder")));
}

TEST(FXFile, FindFilesMatchesPatternsAndReportsAttributes) {
  TempDir dir;
  WriteFile(dir.file("a.log"), "12345");
  WriteFile(dir.file("b.log"), "");
  WriteFile(dir.file("b.log.zip"), "z");
  WriteFile(dir.file("noext"), "n");
  ASSERT_TRUE(FXFile::CreateDirectories(dir.file("sub.d")).IsSuccess());
  // Set a known modification time.
  const struct timespec times[2] = {{1600000000, 0}, {1600000000, 500}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.file("a.log").c_str(), times, 0), 0);

  std::vector<FXFileInfo> entries;
  ASSERT_TRUE(FXFile::FindFiles(dir.path(), "*.log", entries).IsSuccess());
  EXPECT_EQ(Names(entries), (std::set<std::string>{"a.log", "b.log"}));
  for (const auto& entry : entries) {
    EXPECT_TRUE(entry.name != "a.log" || entry.lastWriteTime.AsUnixNanoseconds() == 1600000000000000500LL);
  }

  const std::set<std::string> all{"a.log", "b.log", "b.log.zip", "noext", "sub.d"};
  for (const char* pattern : {"*", "*.*", ""}) {
    ASSERT_TRUE(FXFile::FindFiles(dir.path(), pattern, entries).IsSuccess());
    EXPECT_EQ(Names(entries), all) << pattern;
  }
  ASSERT_TRUE(FXFile::FindFiles(dir.path(), "sub*", entries).IsSuccess());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries[0].isDirectory);
  ASSERT_TRUE(FXFile::FindFiles(dir.path(), "?.log*", entries).IsSuccess());
  EXPECT_EQ(Names(entries), (std::set<std::string>{"a.log", "b.log", "b.log.zip"}));
  ASSERT_TRUE(FXFile::FindFiles(dir.path(), "nothing*", entries).IsSuccess());
  EXPECT_TRUE(entries.empty());

  EXPECT_TRUE(FXFile::FindFiles(dir.file("missing"), "*", entries).IsError());

  FXFileInfo info;
  ASSERT_TRUE(FXFile::GetInfo(dir.file("a.log"), info).IsSuccess());
  EXPECT_EQ(info.name, "a.log");
  EXPECT_EQ(info.size, 5u);
  EXPECT_FALSE(info.isDirectory);
  ASSERT_TRUE(FXFile::GetInfo(dir.file("sub.d"), info).IsSuccess());
  EXPECT_TRUE(info.isDirectory);
  EXPECT_TRUE(FXFile::GetInfo(dir.file("missing"), info).Is(2));
}

TEST(FXFile, FindFilesIsNotFailedByAnEntryThatCannotBeRead) {
  TempDir dir;
  WriteFile(dir.file("real.log"), "x");
  // A dangling link: its target cannot be examined.
  ASSERT_EQ(::symlink(dir.file("gone").c_str(), dir.file("dangling.log").c_str()), 0);
  std::vector<FXFileInfo> entries;
  const CYqError error = FXFile::FindFiles(dir.path(), "*", entries);
  EXPECT_TRUE(error.IsSuccess()) << error.AsString();
  EXPECT_TRUE(Names(entries).count("real.log"));
}

TEST(FXFile, WriteAtomicallyAndReadAll) {
  TempDir dir;
  const std::string path = dir.file("settings.bin");
  std::string binary;
  for (int i = 0; i < 200000; ++i) binary.push_back(static_cast<char>(i * 7));
  ASSERT_TRUE(FXFile::WriteAtomically(path, binary, 0600).IsSuccess());
  std::string read;
  ASSERT_TRUE(FXFile::ReadAll(path, read).IsSuccess());
  EXPECT_EQ(read, binary);  // more than one read(2) and NUL bytes inside
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0077, 0u);

  for (const std::string data : {"short", ""}) {  // a shorter file replaces a longer one whole
    ASSERT_TRUE(FXFile::WriteAtomically(path, data).IsSuccess());
    ASSERT_TRUE(FXFile::ReadAll(path, read).IsSuccess());
    EXPECT_EQ(read, data);
  }

  std::vector<FXFileInfo> entries;
  ASSERT_TRUE(FXFile::FindFiles(dir.path(), "*", entries).IsSuccess());
  EXPECT_EQ(Names(entries), (std::set<std::string>{"settings.bin"}));  // no temporaries left

  EXPECT_TRUE(FXFile::WriteAtomically(dir.file("no/such/folder/f"), "x").IsError());
  EXPECT_FALSE(FXFile::Exists(dir.file("no")));
  read = "stale";
  EXPECT_TRUE(FXFile::ReadAll(dir.file("missing"), read).Is(2));
  EXPECT_EQ(read, "");
}

TEST(FXFile, ConcurrentAtomicWritersNeverExposeAMixedFile) {
  TempDir dir;
  const std::string path = dir.file("shared.cfg");
  constexpr int kWriters = 4;
  std::vector<std::string> contents;
  for (int w = 0; w < kWriters; ++w) contents.emplace_back(static_cast<std::size_t>(20000 * (w + 1)), char('a' + w));
  ASSERT_TRUE(FXFile::WriteAtomically(path, contents[0]).IsSuccess());

  std::atomic<bool> done{false};
  std::atomic<int> badReads{0}, failedWrites{0};
  std::thread reader([&] {
    std::string data;
    while (!done.load()) {
      if (FXFile::ReadAll(path, data).IsError()) continue;
      if (std::find(contents.begin(), contents.end(), data) == contents.end()) ++badReads;
    }
  });
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int i = 0; i < 100; ++i) {
        if (FXFile::WriteAtomically(path, contents[static_cast<std::size_t>(w)]).IsError()) ++failedWrites;
      }
    });
  }
  for (auto& writer : writers) writer.join();
  done = true;
  reader.join();
  EXPECT_EQ(failedWrites.load(), 0);
  EXPECT_EQ(badReads.load(), 0);
  std::vector<FXFileInfo> entries;
  ASSERT_TRUE(FXFile::FindFiles(dir.path(), "*", entries).IsSuccess());
  EXPECT_EQ(Names(entries), (std::set<std::string>{"shared.cfg"}));
}

}  // namespace
