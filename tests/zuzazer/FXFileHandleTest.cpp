// The open-file calls of the utility library: handles, dispositions, short
// reads at the end, pointer moves and lengths, with their error codes.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "helpers/TempDir.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

using zn::test::ReadFile;
using zn::test::TempDir;

TEST(FXFileHandle, HandlesWrapDescriptorsWithNullForNone) {
  EXPECT_EQ(FXFile::HandleFromDescriptor(-1), nullptr);
  EXPECT_EQ(FXFile::DescriptorFromHandle(nullptr), -1);
  EXPECT_EQ(FXFile::DescriptorFromHandle(reinterpret_cast<void*>(-1)), -1);
  for (const int fd : {0, 1, 2, 1000}) {
    EXPECT_EQ(FXFile::HandleFromDescriptor(fd), reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1));
    EXPECT_EQ(FXFile::DescriptorFromHandle(FXFile::HandleFromDescriptor(fd)), fd);
  }
}

TEST(FXFileHandle, DispositionsAndTheirErrors) {
  TempDir dir;
  const std::string path = dir.file("f.bin");
  yq::UniqueFd fd;
  CYqError error = FXFile::Create(path, FXFile::kAccessRead, 0, FXFile::eFXOpenExisting, fd);
  EXPECT_TRUE(error.Is(yq::kErrorFileNotFound));
  EXPECT_FALSE(fd);

  ASSERT_FALSE(FXFile::Create(path, FXFile::kAccessWrite, 0, FXFile::eFXCreateAlways, fd).IsError());
  std::size_t done = 0;
  ASSERT_FALSE(FXFile::Write(fd.get(), "abcdef", 6, done).IsError());
  EXPECT_EQ(done, 6u);
  EXPECT_EQ(::fcntl(fd.get(), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);

  // Open-always keeps the contents; create-always empties them.
  ASSERT_FALSE(FXFile::Create(path, FXFile::kAccessRead | FXFile::kAccessWrite, 0, FXFile::eFXOpenAlways, fd).IsError());
  char buffer[16];
  ASSERT_FALSE(FXFile::Read(fd.get(), buffer, sizeof buffer, done).IsError());
  EXPECT_EQ(std::string(buffer, done), "abcdef");
  ASSERT_FALSE(FXFile::Read(fd.get(), buffer, sizeof buffer, done).IsError());
  EXPECT_EQ(done, 0u);  // the end

  long long position = -1;
  ASSERT_FALSE(FXFile::SetPointer(fd.get(), -2, 2, position).IsError());
  EXPECT_EQ(position, 4);
  EXPECT_TRUE(FXFile::SetPointer(fd.get(), -10, 1, position).Is(yq::kErrorInvalidParameter));
  ASSERT_FALSE(FXFile::SetLength(fd.get(), 3).IsError());
  EXPECT_EQ(ReadFile(path), "abc");
  ASSERT_FALSE(FXFile::SetPointer(fd.get(), 0, 1, position).IsError());
  EXPECT_EQ(position, 4);  // the length changed, the pointer did not

  yq::UniqueFd copy;
  ASSERT_FALSE(FXFile::Duplicate(fd.get(), copy).IsError());
  ASSERT_FALSE(FXFile::SetPointer(copy.get(), 1, 0, position).IsError());
  ASSERT_FALSE(FXFile::SetPointer(fd.get(), 0, 1, position).IsError());
  EXPECT_EQ(position, 1);  // one open file, one pointer
  EXPECT_TRUE(FXFile::Duplicate(-1, copy).Is(yq::kErrorInvalidHandle));

  ASSERT_FALSE(FXFile::Create(path, 0, 0, FXFile::eFXCreateAlways, fd).IsError());
  EXPECT_EQ(ReadFile(path), "");
  EXPECT_TRUE(FXFile::Write(fd.get(), "x", 1, done).Is(yq::kErrorInvalidHandle));  // no access asked for

  EXPECT_TRUE(FXFile::Create(dir.path(), FXFile::kAccessRead, 0, FXFile::eFXOpenExisting, fd).Is(yq::kErrorAccessDenied));
}

}  // namespace
