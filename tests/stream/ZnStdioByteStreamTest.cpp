// ZnStdioByteStream against real files in a temporary folder: the open
// modes and their refusals, reading, writing, seeking and truncating, a
// file removed while open, handles, copies, a closed stream and a full disk.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "helpers/TempDir.h"
#include "stream/StreamTestUtil.h"
#include "sync/SyncTestUtil.h"
#include "zn/stream/ZnByteStream.h"
#include "zuzazer/FXFile.h"

namespace {

using zn::test::ExpectStreamError;
using zn::test::ReadFile;
using zn::test::StreamErrorText;
using zn::test::TempDir;

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

std::string ReadAllOf(ZnByteStream& stream) {
  std::string text;
  char piece[5];
  int got;
  while ((got = stream.read(piece, sizeof piece)) > 0) text.append(piece, static_cast<std::size_t>(got));
  return text;
}

TEST(ZnStdioByteStream, ModesDecideAccessAndWhatHappensToTheFile) {
  TempDir dir;
  const std::string path = dir.file("data.bin");

  // "r" needs an existing file.
  ExpectStreamError([&] { ZnStdioByteStream s(path.c_str(), "r"); }, "ZnStdioByteStream",
                    "Couldn't open " + path +
                        ": The system cannot find the file specified. (No such file or directory)");
  {
    ZnStdioByteStream created(path.c_str(), "w");
    EXPECT_EQ(created.writeAll("hello world", 11), 11);
    ExpectStreamError([&] { created.read8(); }, "ZnStdioByteStream::read", "The stream has not been open for reading.");
  }
  EXPECT_EQ(ReadFile(path), "hello world");
  {
    ZnStdioByteStream reader(path.c_str(), "R");  // any case
    EXPECT_EQ(ReadAllOf(reader), "hello world");
    ExpectStreamError([&] { reader.write8('x'); }, "ZnStdioByteStream::write",
                      "The stream has not been open for writing.");
  }
  {
    // "rw" (and a null mode) opens without emptying, creating when absent.
    ZnStdioByteStream both(path.c_str(), "Rw");
    EXPECT_EQ(ReadAllOf(both), "hello world");
    both.writeString("!");
    ZnStdioByteStream byDefault(dir.file("new.bin").c_str(), nullptr);
    byDefault.write8('n');
    byDefault.seek(0, 0);
    EXPECT_EQ(byDefault.read8(), 'n');
  }
  EXPECT_EQ(ReadFile(path), std::string("hello world!\0", 13));
  {
    // "w" replaces; "" empties the file and can do nothing else.
    ZnStdioByteStream replace(path.c_str(), "W");
    replace.write8('x');
  }
  EXPECT_EQ(ReadFile(path), "x");
  {
    ZnStdioByteStream none(path.c_str(), "");
    EXPECT_EQ(ReadFile(path), "");
    ExpectStreamError([&] { none.read8(); }, "ZnStdioByteStream::read", "The stream has not been open for reading.");
    ExpectStreamError([&] { none.write8('y'); }, "ZnStdioByteStream::write",
                      "The stream has not been open for writing.");
  }

  for (const char* mode : {"rx", "a", "r+", "wb", " r"}) {
    ExpectStreamError([&] { ZnStdioByteStream s(path.c_str(), mode); }, "ZnStdioByteStream",
                      std::string("Illegal mode '") + mode + "' passed as input.");
  }
  // A refused mode touches nothing.
  WriteFile(path, "kept");
  ExpectStreamError([&] { ZnStdioByteStream s(path.c_str(), "wx"); }, "ZnStdioByteStream",
                    "Illegal mode 'wx' passed as input.");
  EXPECT_EQ(ReadFile(path), "kept");

  ExpectStreamError([&] { ZnStdioByteStream s(dir.path().c_str(), "r"); }, "ZnStdioByteStream",
                    "Couldn't open " + dir.path() + ": Access is denied. (Is a directory)");
  ExpectStreamError([&] { ZnStdioByteStream s(dir.file("no/such/folder").c_str(), "w"); }, "ZnStdioByteStream",
                    "Couldn't open " + dir.file("no/such/folder") +
                        ": The system cannot find the file specified. (No such file or directory)");
}

TEST(ZnStdioByteStream, RefusesFilesItMayNotOpen) {
  // Root may open anything: then the attempt runs in a child that has
  // become an ordinary user, on a file in a folder that user can enter.
  char folder[] = "/tmp/zn_stream_perm.XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  ASSERT_EQ(::chmod(folder, 0755), 0);
  const std::string path = std::string(folder) + "/locked.bin";
  WriteFile(path, "secret");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  const bool root = ::geteuid() == 0;
  zn::test::ChildProcess child([&] {
    if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 2;
    const std::string text = StreamErrorText([&] { ZnStdioByteStream s(path.c_str(), "rw"); });
    return text == "Couldn't open " + path + ": Access is denied. (Permission denied)" ? 0 : 3;
  });
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(ReadFile(path), "secret");
  ::unlink(path.c_str());
  ::rmdir(folder);
}

TEST(ZnStdioByteStream, SeeksTellsAndTruncates) {
  TempDir dir;
  const std::string path = dir.file("seek.bin");
  ZnStdioByteStream stream(path.c_str(), "rw");
  EXPECT_EQ(stream.writeAll("0123456789", 10), 10);
  EXPECT_EQ(stream.tell(), 10);
  stream.seek(3, 0);
  EXPECT_EQ(stream.read8(), '3');
  stream.seek(2, 1);
  EXPECT_EQ(stream.tell(), 6);
  stream.seek(-2, 2);  // from the end: the offset is added to the size
  EXPECT_EQ(stream.read8(), '8');
  stream.seek(-1, 9);  // any other whence counts from the end too
  EXPECT_EQ(stream.read8(), '9');
  ExpectStreamError([&] { stream.read8(); }, "ZnByteStream::read8", "Unexpected end of stream encountered.");

  ExpectStreamError([&] { stream.seek(-1, 0); }, "ZnStdioByteStream::seek",
                    "The parameter is incorrect. (Invalid argument)");
  EXPECT_EQ(stream.tell(), 10);

  // Past the end is allowed; the hole reads as zeros.
  stream.seek(20, 0);
  stream.write8('Z');
  EXPECT_EQ(ReadFile(path), std::string("0123456789") + std::string(10, '\0') + "Z");

  stream.truncate(4);
  EXPECT_EQ(ReadFile(path), "0123");
  EXPECT_EQ(stream.tell(), 21);  // the file pointer stays where it was
  EXPECT_EQ(stream.read(nullptr, 0), 0);
  char byte;
  EXPECT_EQ(stream.read(&byte, 1), 0);
  stream.truncate(6);
  EXPECT_EQ(ReadFile(path), std::string("0123\0\0", 6));
  ExpectStreamError([&] { stream.truncate(-1); }, "ZnStdioByteStream::truncate",
                    "The parameter is incorrect. (Invalid argument)");
}

TEST(ZnStdioByteStream, AFileRemovedWhileOpenStaysUsable) {
  TempDir dir;
  const std::string path = dir.file("gone.bin");
  WriteFile(path, "still here");
  ZnStdioByteStream stream(path.c_str(), "rw");
  ASSERT_EQ(::unlink(path.c_str()), 0);
  // The open file lives on without its name, as on any POSIX system.
  EXPECT_EQ(ReadAllOf(stream), "still here");
  stream.writeString(" and more");
  stream.seek(0, 0);
  EXPECT_EQ(stream.readString(), "still here and more");
  // The name, though, is gone.
  ExpectStreamError([&] { ZnStdioByteStream again(path.c_str(), "r"); }, "ZnStdioByteStream",
                    "Couldn't open " + path +
                        ": The system cannot find the file specified. (No such file or directory)");
  EXPECT_FALSE(FXFile::Exists(path));
}

TEST(ZnStdioByteStream, HandlesAndCopiesShareTheOpenFile) {
  TempDir dir;
  const std::string path = dir.file("shared.bin");
  WriteFile(path, "abcdef");
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ZnStdioByteStream fromHandle(FXFile::HandleFromDescriptor(fd));
  ASSERT_EQ(::close(fd), 0);  // the stream owns a duplicate
  EXPECT_EQ(fromHandle.read8(), 'a');

  // A copy is a duplicate of the same open file: one file pointer.
  ZnStdioByteStream copy(fromHandle);
  EXPECT_EQ(copy.read8(), 'b');
  EXPECT_EQ(fromHandle.tell(), 2);
  fromHandle.close();
  EXPECT_EQ(copy.read8(), 'c');

  ZnStdioByteStream assigned(dir.file("other.bin").c_str(), "w");
  assigned = copy;
  EXPECT_EQ(assigned.read8(), 'd');  // readable now, as the copy is
  auto& self = assigned;
  assigned = self;
  EXPECT_EQ(assigned.read8(), 'e');

  for (void* bad : {static_cast<void*>(nullptr), reinterpret_cast<void*>(-1), FXFile::HandleFromDescriptor(100000)}) {
    ExpectStreamError([&] { ZnStdioByteStream s(bad); }, "ZnStdioByteStream", "Couldn't duplicate handle");
  }
}

TEST(ZnStdioByteStream, AClosedStreamFailsClearly) {
  TempDir dir;
  const std::string path = dir.file("closed.bin");
  ZnStdioByteStream stream(path.c_str(), "rw");
  stream.write8('q');
  stream.close();
  stream.close();  // twice is harmless
  const std::string invalid = "The handle is invalid. (Bad file descriptor)";
  ExpectStreamError([&] { stream.read8(); }, "ZnStdioByteStream::read", invalid);
  ExpectStreamError([&] { stream.write8('r'); }, "ZnStdioByteStream::write", invalid);
  ExpectStreamError([&] { stream.seek(0, 0); }, "ZnStdioByteStream::seek", invalid);
  ExpectStreamError([&] { stream.tell(); }, "ZnStdioByteStream::tell", invalid);
  ExpectStreamError([&] { stream.truncate(0); }, "ZnStdioByteStream::truncate", invalid);
  ZnStdioByteStream copyOfClosed(stream);
  ExpectStreamError([&] { copyOfClosed.tell(); }, "ZnStdioByteStream::tell", invalid);
  EXPECT_EQ(ReadFile(path), "q");
}

TEST(ZnStdioByteStream, AFullDiskIsAnErrorNotAShortCount) {
  if (::access("/dev/full", W_OK) == 0) {
    ZnStdioByteStream full("/dev/full", "w");
    ExpectStreamError([&] { full.writeAll("data", 4); }, "ZnStdioByteStream::write",
                      "There is not enough space on the disk. (No space left on device)");
  }

  // A file size limit stops a write half way, as a disk filling up does.
  TempDir dir;
  const std::string path = dir.file("limited.bin");
  zn::test::ChildProcess child([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limit = {100000, 100000};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
    ZnStdioByteStream stream(path.c_str(), "w");
    const std::vector<unsigned char> data(200000, 0x5A);
    const std::string text = StreamErrorText([&] { stream.writeAll(data.data(), 200000); });
    return text == "The file size exceeds the limit allowed and cannot be saved. (File too large)" ? 0 : 3;
  });
  EXPECT_EQ(child.wait(), 0);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 100000);  // what went in before the limit
}

TEST(ZnStdioByteStream, StreamsAreCountedObjects) {
  TempDir dir;
  const std::string path = dir.file("counted.bin");
  SPBase holder(new ZnStdioByteStream(path.c_str(), "w"));
  auto* stream = static_cast<ZnByteStream*>(holder.get());
  stream->writeString("via a holder");
  SPBase second(holder);
  EXPECT_EQ(stream->getCount(), 2);
  holder = nullptr;
  second = nullptr;  // destroyed: the file is closed and complete
  EXPECT_EQ(ReadFile(path), std::string("via a holder\0", 13));
}

}  // namespace
