// ZNFile: the open modes and their codes, the read and write buffers and
// where they leave the offset, lines, positions, mapping, adopted handles,
// and what a full disk, a folder, a FIFO or a closed pipe do to it.

#include "zn/file/ZNFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "file/FileTestUtil.h"
#include "helpers/TmpfsMount.h"
#include "zuzazer/FXFile.h"

namespace {

using zn::test::ReadFile;
using zn::test::TempDir;
using zn::test::files::WriteFile;

constexpr auto kRead = ZNFile::ZNFILE_READ;
constexpr auto kWrite = ZNFile::ZNFILE_WRITE;
constexpr auto kReadWrite = ZNFile::ZNFILE_READ_WRITE;
constexpr auto kOpenAlways = ZNFile::ZNFILE_OPEN_ALWAYS;
constexpr auto kCreateNew = ZNFile::ZNFILE_CREATE_NEW;

std::string Lines(ZNFile& file, unsigned long size, std::vector<int>* results = nullptr) {
  std::string all;
  std::vector<char> buffer(size + 1);
  while (true) {
    const int result = file.getLine(buffer.data(), size);
    if (results != nullptr) results->push_back(result);
    if (result == 0) break;
    if (result < 0 && file.getLastError() != -2) break;
    all += std::string(buffer.data()) + (result < 0 ? "|overflow\n" : "\n");
  }
  return all;
}

TEST(ZNFileTest, OpenModesGiveTheTableAccessAndDispositionWithTheirCodes) {
  TempDir dir;
  const std::string path = dir.file("f");
  {
    ZNFile file;
    EXPECT_EQ(file.open(path.c_str(), kRead), -1);
    EXPECT_EQ(file.getLastError(), 2);
    EXPECT_EQ(file.open(path.c_str(), kWrite), -1);
    EXPECT_EQ(file.open(path.c_str(), kReadWrite), -1);
    EXPECT_FALSE(zn::test::files::PathExists(path));
    // A missing parent is "path not found" on the platform, kept as 2.
    EXPECT_EQ(file.open(dir.file("no/such").c_str(), kRead), -1);
    EXPECT_EQ(file.getLastError(), 2);
  }
  {
    ZNFile file;
    ASSERT_EQ(file.open(path.c_str(), kCreateNew), 0);
    EXPECT_EQ(file.write("abc", 3), 3);
    EXPECT_EQ(file.open(path.c_str(), kRead), -1);  // already open
    EXPECT_EQ(file.getLastError(), -1);
  }
  {
    ZNFile file;
    EXPECT_EQ(file.open(path.c_str(), kCreateNew), -1);
    EXPECT_EQ(file.getLastError(), 80);
    ASSERT_EQ(file.open(path.c_str(), kOpenAlways), 0);  // existing: kept
    char buffer[8] = {};
    EXPECT_EQ(file.read(buffer, sizeof buffer), 3);
    EXPECT_STREQ(buffer, "abc");
  }
  {
    ZNFile reader;
    ASSERT_EQ(reader.open(path.c_str(), kRead), 0);
    EXPECT_EQ(reader.write("x", 1), -1);
    EXPECT_EQ(reader.getLastError(), -1);
    EXPECT_EQ(reader.bufWrite("x", 1), -1);
    ZNFile writer;
    ASSERT_EQ(writer.open(path.c_str(), kWrite), 0);
    char c;
    EXPECT_EQ(writer.read(&c, 1), -1);
    EXPECT_EQ(writer.getLastError(), -1);
    EXPECT_EQ(writer.write("XY", 2), 2);  // an existing file is not emptied
  }
  EXPECT_EQ(ReadFile(path), "XYc");
  {
    ZNFile file;
    EXPECT_EQ(file.open(path.c_str(), static_cast<ZNFile::OpenMode_t>(5)), -1);
    EXPECT_EQ(file.getLastError(), -1);
    EXPECT_EQ(file.open(nullptr, kRead), -1);
    // The Windows original's files are never folders.
    EXPECT_EQ(file.open(dir.path().c_str(), kRead), -1);
    EXPECT_EQ(file.getLastError(), 5);
    EXPECT_EQ(file.open(std::string(5000, 'a').c_str(), kOpenAlways), -1);
    EXPECT_EQ(file.getLastError(), 206);
  }
  ZNFile created;
  ASSERT_EQ(created.open(dir.file("new").c_str(), kOpenAlways), 0);
  EXPECT_TRUE(zn::test::files::PathExists(dir.file("new")));
}

TEST(ZNFileTest, RetriesWaitASecondEachAndFindAFileThatAppears) {
  TempDir dir;
  const std::string path = dir.file("late");
  ZNFile file;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(file.open(path.c_str(), kRead, 2), -1);
  EXPECT_EQ(file.getLastError(), 2);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));

  // Another thread makes the file while the retries go on.
  std::thread maker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    WriteFile(path, "here");
  });
  EXPECT_EQ(file.open(path.c_str(), kRead, 30), 0);
  maker.join();
}

TEST(ZNFileTest, AFifoWhereAFileIsExpectedDoesNotHangTheOpen) {
  TempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto opened = std::async(std::launch::async, [&] {
    ZNFile file;
    const int result = file.open(fifo.c_str(), kRead);
    char c;
    // No writer has ever opened it: the read ends at once.
    const long got = result == 0 ? file.read(&c, 1) : -5;
    file.close();
    ZNFile writer;
    const int writeResult = writer.open(fifo.c_str(), kWrite);
    return std::vector<long>{result, got, writeResult};
  });
  ASSERT_EQ(opened.wait_for(zn::test::files::kFileWaitLimit), std::future_status::ready);
  const std::vector<long> results = opened.get();
  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(results[1], 0);
  EXPECT_EQ(results[2], -1);  // no reader: refused rather than waited for
}

TEST(ZNFileTest, GetLineDropsTheCarriageReturnBeforeALineFeedOnly) {
  TempDir dir;
  const std::string path = dir.file("lines");
  // The bytes a, b, CR, LF, c, d.
  WriteFile(path, "ab\r\ncd");
  ZNFile file;
  ASSERT_EQ(file.open(path.c_str(), kRead), 0);
  char line[16];
  EXPECT_EQ(file.getLine(line, sizeof line), 1);
  EXPECT_STREQ(line, "ab");
  EXPECT_EQ(file.getLine(line, sizeof line), 1);
  EXPECT_STREQ(line, "cd");
  EXPECT_EQ(file.getLine(line, sizeof line), 0);
  EXPECT_STREQ(line, "");
  EXPECT_EQ(file.getLine(line, 0), -1);
  EXPECT_EQ(file.getLastError(), -1);

  // A carriage return elsewhere stays, at the end of the file too; empty
  // lines are lines. Every buffer size, so the CR and LF fall on every
  // side of a refill.
  WriteFile(path, "a\rb\r\n\r\n\n\r\rx\r\nend\r");
  for (unsigned long bufSize = 1; bufSize <= 20; ++bufSize) {
    SCOPED_TRACE(bufSize);
    ZNFile lines;
    ASSERT_EQ(lines.setBufSize(bufSize), 0);
    ASSERT_EQ(lines.open(path.c_str(), kRead), 0);
    EXPECT_EQ(Lines(lines, 64), "a\rb\n\n\n\r\rx\nend\r\n");
  }
}

TEST(ZNFileTest, ALineTooLongForTheBufferFailsAndTheNextCallStartsAfterIt) {
  TempDir dir;
  const std::string path = dir.file("long");
  WriteFile(path, "abcd\nxy\nabc\r\n");
  for (unsigned long bufSize : {1UL, 2UL, 3UL, 1024UL}) {
    SCOPED_TRACE(bufSize);
    ZNFile file;
    ASSERT_EQ(file.setBufSize(bufSize), 0);
    ASSERT_EQ(file.open(path.c_str(), kRead), 0);
    char line[3];
    EXPECT_EQ(file.getLine(line, 3), -1);
    EXPECT_EQ(file.getLastError(), -2);
    EXPECT_STREQ(line, "ab");
    EXPECT_EQ(file.getLine(line, 3), 1);
    EXPECT_STREQ(line, "xy");
    // Three letters do not fit in three bytes; the CR before the LF does
    // not count.
    char four[4];
    EXPECT_EQ(file.getLine(four, 4), 1);
    EXPECT_STREQ(four, "abc");
    EXPECT_EQ(file.getLine(four, 4), 0);
  }
}

TEST(ZNFileTest, BufferedWritesCountInTheOffsetBeforeTheyReachTheFile) {
  TempDir dir;
  const std::string path = dir.file("w");
  ZNFile file;
  ASSERT_EQ(file.open(path.c_str(), kCreateNew), 0);
  EXPECT_EQ(file.bufWrite("0123456789", 10), 10);
  EXPECT_EQ(file.getCurOffset(), 10);
  EXPECT_EQ(ReadFile(path), "");
  EXPECT_EQ(file.bufWriteFlush(), 0);
  EXPECT_EQ(ReadFile(path), "0123456789");
  EXPECT_EQ(file.getCurOffset(), 10);

  // A request of at least the buffer size goes straight through; one that
  // fills the buffer writes it out.
  ASSERT_EQ(file.setBufSize(4), 0);
  EXPECT_EQ(file.bufWrite("ab", 2), 2);
  EXPECT_EQ(file.bufWrite("cdefgh", 6), 6);  // "abcd" out, "efgh" out
  EXPECT_EQ(ReadFile(path), "0123456789abcdefgh");
  EXPECT_EQ(file.bufWrite("ij", 2), 2);
  EXPECT_EQ(file.putLine("kl", false), 0);
  EXPECT_EQ(file.getCurOffset(), 24);
  EXPECT_EQ(file.putLine("m", true), 0);
  EXPECT_EQ(ReadFile(path), "0123456789abcdefghijkl\r\nm\r\n");
  // Growing the buffers keeps what waits in them.
  EXPECT_EQ(file.bufWrite("no", 2), 2);
  EXPECT_EQ(file.setBufSize(64), 0);
  EXPECT_EQ(file.setBufSize(0), -1);
  EXPECT_EQ(file.getLastError(), -1);
  EXPECT_EQ(file.close(), 0);
  EXPECT_EQ(ReadFile(path), "0123456789abcdefghijkl\r\nm\r\nno");
  EXPECT_EQ(file.close(), 0);  // closing a closed file is no error
}

TEST(ZNFileTest, BufferedReadsHandOutTheBufferFirstAndReadLargeRequestsDirectly) {
  TempDir dir;
  const std::string path = dir.file("r");
  std::string content;
  for (int i = 0; i < 5000; ++i) content.push_back(static_cast<char>('a' + i % 26));
  WriteFile(path, content);
  ZNFile file;
  ASSERT_EQ(file.setBufSize(100), 0);
  ASSERT_EQ(file.open(path.c_str(), kRead), 0);
  std::string got;
  char buffer[1000];
  for (unsigned long size : {1UL, 7UL, 99UL, 100UL, 250UL, 3UL, 1000UL, 64UL}) {
    const long n = file.bufRead(buffer, size);
    ASSERT_EQ(n, static_cast<long>(size));
    got.append(buffer, static_cast<std::size_t>(n));
    EXPECT_EQ(file.getCurOffset(), static_cast<long long>(got.size()));
  }
  while (true) {
    const long n = file.bufRead(buffer, 333);
    ASSERT_GE(n, 0);
    if (n == 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  EXPECT_EQ(got, content);
  EXPECT_EQ(file.bufRead(buffer, 10), 0);
}

TEST(ZNFileTest, ReadsAndWritesThroughTheBuffersLandWhereTheCallerStands) {
  TempDir dir;
  const std::string path = dir.file("rw");
  WriteFile(path, "0123456789");
  ZNFile file;
  ASSERT_EQ(file.open(path.c_str(), kReadWrite), 0);
  char buffer[4] = {};
  EXPECT_EQ(file.bufRead(buffer, 3), 3);  // the buffer read all ten bytes
  EXPECT_EQ(file.getCurOffset(), 3);
  EXPECT_EQ(file.bufWrite("ab", 2), 2);
  EXPECT_EQ(file.getCurOffset(), 5);
  EXPECT_EQ(file.bufRead(buffer, 2), 2);
  EXPECT_EQ(std::string(buffer, 2), "56");
  EXPECT_EQ(file.close(), 0);
  EXPECT_EQ(ReadFile(path), "012ab56789");
}

TEST(ZNFileTest, SeekMovesFromEachOriginAndTruncateEmptiesTheFile) {
  TempDir dir;
  const std::string path = dir.file("s");
  WriteFile(path, "0123456789");
  ZNFile file;
  ASSERT_EQ(file.open(path.c_str(), kReadWrite), 0);
  char c;
  ASSERT_EQ(file.bufRead(&c, 1), 1);
  // From the current position as the caller sees it, not from where the
  // read-ahead left the descriptor.
  EXPECT_EQ(file.seek(2, ZNFile::ZNFILE_SEEK_CURRENT), 0);
  EXPECT_EQ(file.getCurOffset(), 3);
  ASSERT_EQ(file.bufRead(&c, 1), 1);
  EXPECT_EQ(c, '3');
  EXPECT_EQ(file.seek(-2, ZNFile::ZNFILE_SEEK_END), 0);
  EXPECT_EQ(file.getCurOffset(), 8);
  ASSERT_EQ(file.bufRead(&c, 1), 1);
  EXPECT_EQ(c, '8');
  EXPECT_EQ(file.bufWrite("Z", 1), 1);
  EXPECT_EQ(file.seek(1, ZNFile::ZNFILE_SEEK_BEGIN), 0);  // flushes "Z" first
  EXPECT_EQ(ReadFile(path), "012345678Z");
  EXPECT_EQ(file.seek(0, static_cast<ZNFile::SeekMode_t>(3)), -1);
  EXPECT_EQ(file.getLastError(), -1);
  EXPECT_EQ(file.seek(-100, ZNFile::ZNFILE_SEEK_CURRENT), -1);
  EXPECT_EQ(file.getLastError(), 87);
  EXPECT_EQ(file.truncate(), 0);
  EXPECT_EQ(file.getCurOffset(), 0);
  EXPECT_EQ(ReadFile(path), "");

  ZNFile reader;
  WriteFile(path, "abc");
  ASSERT_EQ(reader.open(path.c_str(), kRead), 0);
  EXPECT_EQ(reader.truncate(), -1);
  EXPECT_EQ(reader.getLastError(), 5);
  EXPECT_EQ(ReadFile(path), "abc");
}

TEST(ZNFileTest, AFullDiskFailsTheWriteWithItsCodeAndTheOffsetCountsWhatWentIn) {
  zn::test::TmpfsMount disk(64 * 1024);
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  const std::string path = disk.file("full");
  const std::string data(1 << 20, 'x');
  {
    ZNFile file;
    ASSERT_EQ(file.open(path.c_str(), kCreateNew), 0);
    EXPECT_EQ(file.write(data.data(), data.size()), -1);
    EXPECT_EQ(file.getLastError(), 112);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(file.getCurOffset(), st.st_size);
    EXPECT_GT(st.st_size, 0);
    EXPECT_LT(st.st_size, static_cast<off_t>(data.size()));
  }
  ::unlink(path.c_str());
  {
    // Through the buffer: the flush fails, and what the disk did take is a
    // true prefix of what was written.
    ZNFile file;
    ASSERT_EQ(file.setBufSize(4096), 0);
    ASSERT_EQ(file.open(path.c_str(), kCreateNew), 0);
    std::string written;
    long result = 0;
    for (int i = 0; i < 256 && result >= 0; ++i) {
      const std::string piece(1000, static_cast<char>('a' + i % 26));
      written += piece;
      result = file.bufWrite(piece.data(), piece.size());
    }
    if (result >= 0) result = file.bufWriteFlush();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(file.getLastError(), 112);
    EXPECT_EQ(file.close(), -1);
    const std::string onDisk = ReadFile(path);
    EXPECT_GT(onDisk.size(), 0U);
    EXPECT_EQ(written.compare(0, onDisk.size(), onDisk), 0);
  }
}

TEST(ZNFileTest, TheMappedViewShowsTheWholeFileReadOnly) {
  TempDir dir;
  const std::string path = dir.file("m");
  std::string content(100000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  WriteFile(path, content);
  ZNFile file;
  EXPECT_EQ(file.mapViewOfFile(), nullptr);
  ASSERT_EQ(file.open(path.c_str(), kReadWrite), 0);
  const void* view = file.mapViewOfFile();
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(file.getMappedSize(), content.size());
  EXPECT_EQ(std::memcmp(view, content.data(), content.size()), 0);
  // A new view after the file grew shows the growth.
  EXPECT_EQ(file.seek(0, ZNFile::ZNFILE_SEEK_END), 0);
  EXPECT_EQ(file.write("tail", 4), 4);
  view = file.mapViewOfFile();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(std::memcmp(static_cast<const char*>(view) + content.size(), "tail", 4), 0);
  EXPECT_EQ(file.close(), 0);
  EXPECT_EQ(file.getMappedSize(), 0U);

  WriteFile(path, "");
  ZNFile empty;
  ASSERT_EQ(empty.open(path.c_str(), kRead), 0);
  EXPECT_EQ(empty.mapViewOfFile(), nullptr);
  EXPECT_EQ(empty.getLastError(), 1006);
  ZNFile writeOnly;
  ASSERT_EQ(writeOnly.open(path.c_str(), kWrite), 0);
  EXPECT_EQ(writeOnly.mapViewOfFile(), nullptr);
  EXPECT_EQ(writeOnly.getLastError(), 5);
}

TEST(ZNFileTest, AdoptedHandlesAreUsedAndLeftOpen) {
  int toChild[2];
  int fromChild[2];
  ASSERT_EQ(::pipe2(toChild, O_CLOEXEC), 0);
  ASSERT_EQ(::pipe2(fromChild, O_CLOEXEC), 0);
  {
    // As a child process's streams: read what it writes, write its input.
    ZNFile stream;
    ASSERT_EQ(stream.setHandles(FXFile::HandleFromDescriptor(fromChild[0]), FXFile::HandleFromDescriptor(toChild[1]),
                                kReadWrite),
              0);
    EXPECT_EQ(stream.setHandles(nullptr, nullptr, kReadWrite), -1);  // already set
    ASSERT_EQ(::write(fromChild[1], "one\r\ntwo\n", 9), 9);
    char line[16];
    EXPECT_EQ(stream.getLine(line, sizeof line), 1);
    EXPECT_STREQ(line, "one");
    // A short pipe read is all there is for now: the call returns it
    // rather than wait for more.
    char buffer[64];
    EXPECT_EQ(stream.bufRead(buffer, sizeof buffer), 4);
    EXPECT_EQ(stream.putLine("input", true), 0);
    char echoed[8] = {};
    EXPECT_EQ(::read(toChild[0], echoed, 7), 7);
    EXPECT_STREQ(echoed, "input\r\n");
    EXPECT_EQ(stream.close(), 0);
  }
  // The object did not close them.
  EXPECT_EQ(::write(toChild[1], "x", 1), 1);
  EXPECT_EQ(::write(fromChild[1], "y", 1), 1);

  // A reader that went away: the write fails with "broken pipe" and the
  // process lives on (no SIGPIPE).
  ::close(toChild[0]);
  ZNFile orphan;
  ASSERT_EQ(orphan.setHandles(nullptr, FXFile::HandleFromDescriptor(toChild[1]), kWrite), 0);
  EXPECT_EQ(orphan.write("lost", 4), -1);
  EXPECT_EQ(orphan.getLastError(), 109);
  EXPECT_EQ(orphan.seek(0, ZNFile::ZNFILE_SEEK_BEGIN), -1);  // a pipe has no position
  EXPECT_EQ(orphan.getLastError(), 132);
  ZNFile missing;
  EXPECT_EQ(missing.setHandles(nullptr, nullptr, kRead), -1);
  EXPECT_EQ(missing.getLastError(), 6);
  for (const int fd : {toChild[1], fromChild[0], fromChild[1]}) ::close(fd);
}

TEST(ZNFileTest, TheDestructorFlushesWhatWaits) {
  TempDir dir;
  const std::string path = dir.file("d");
  {
    ZNFile file;
    ASSERT_EQ(file.open(path.c_str(), kCreateNew), 0);
    EXPECT_EQ(file.putLine("kept", false), 0);
  }
  EXPECT_EQ(ReadFile(path), "kept\r\n");
}

TEST(ZNFileTest, SizeAndTypeOfAPath) {
  TempDir dir;
  WriteFile(dir.file("f"), "12345");
  ASSERT_EQ(::symlink("f", dir.file("link").c_str()), 0);
  ASSERT_EQ(::symlink("missing", dir.file("dangling").c_str()), 0);
  long long size = -1;
  EXPECT_EQ(ZNFile::getFileSize(dir.file("f").c_str(), &size), 0);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(ZNFile::getFileSize(dir.file("link").c_str(), &size), 0);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(ZNFile::getFileSize(dir.file("none").c_str(), &size), 2);
  EXPECT_EQ(ZNFile::getFileSize(dir.path().c_str(), &size), 0);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(ZNFile::isFile(dir.file("f").c_str()), 1);
  EXPECT_EQ(ZNFile::isFile(dir.file("link").c_str()), 1);
  EXPECT_EQ(ZNFile::isFile(dir.path().c_str()), 0);
  EXPECT_EQ(ZNFile::isFile(dir.file("dangling").c_str()), -1);
  EXPECT_EQ(ZNFile::isFile(dir.file("none").c_str()), -1);
}

}  // namespace
