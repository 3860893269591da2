// PortableFile: binary reads, UTF-16LE text (with and without its mark,
// surrogate pairs, CRLF, an odd last byte, lone surrogates) read as UTF-8
// in pieces of every size, the sizes it reports, and misuse.
//
// Expected bytes are written out by hand from the Unicode encodings, as
// Python gives them: "😀".encode("utf-16-le") is 3d d8 00 de and
// .encode("utf-8") f0 9f 98 80; "é" is e9 00 / c3 a9; "€" ac 20 / e2 82 ac;
// U+FFFD in UTF-8 is ef bf bd.

#include "zn/file/PortableFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "file/FileTestUtil.h"
#include "zn/file/FileTesting.h"

namespace {

using zn::test::ReadFile;
using zn::test::TempDir;
using zn::test::files::WriteFile;

using namespace std::string_literals;

const std::string kMark = "\xff\xfe";

// Everything Read hands out, `piece` bytes at a time.
std::string ReadAll(PortableFile& file, unsigned long long piece) {
  std::string all;
  std::vector<char> buffer(piece);
  while (true) {
    unsigned long long got = 99;
    EXPECT_TRUE(file.Read(buffer.data(), piece, &got));
    if (got == 0) break;
    EXPECT_LE(got, piece);
    all.append(buffer.data(), got);
  }
  return all;
}

std::string Utf16(std::u16string_view text) {
  std::string bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xff));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

TEST(PortableFileTest, Utf16TextWithItsMarkComesOutAsUtf8InPiecesOfAnySize) {
  TempDir dir;
  const std::string path = dir.file("text");
  // "Aé€😀\r\nz": A, e-acute, euro, a surrogate pair, CR LF, z.
  const std::string bytes = kMark + "A\x00\xe9\x00\xac\x20\x3d\xd8\x00\xde\r\x00\n\x00z\x00"s;
  const std::string utf8 = "A\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\r\nz";
  WriteFile(path, bytes);
  for (unsigned long long piece : {1ULL, 2ULL, 3ULL, 5ULL, 64ULL, 100000ULL}) {
    SCOPED_TRACE(piece);
    PortableFile file;
    ASSERT_TRUE(file.Initialize(path.c_str(), "rt"));
    EXPECT_TRUE(file.isUtf16Text());
    EXPECT_EQ(file.getFileSize(), 8);  // UTF-16 units after the mark
    EXPECT_EQ(ReadAll(file, piece), utf8);
    bool eof = false;
    EXPECT_TRUE(file.isEOFReached(&eof));
    EXPECT_TRUE(eof);
    EXPECT_EQ(file.getTotalBytes(), static_cast<long long>(utf8.size()));
    EXPECT_TRUE(file.Close());
  }
  // Opened without "t" the same file is bytes, mark and all.
  PortableFile binary;
  ASSERT_TRUE(binary.Initialize(path.c_str(), "r"));
  EXPECT_FALSE(binary.isUtf16Text());
  EXPECT_EQ(binary.getFileSize(), static_cast<long long>(bytes.size()));
  EXPECT_EQ(ReadAll(binary, 7), bytes);
}

TEST(PortableFileTest, Utf16TextWithoutAMarkIsReadAsItsBytes) {
  TempDir dir;
  const std::string path = dir.file("nomark");
  const std::string bytes = "A\x00\r\x00\n\x00"s;
  WriteFile(path, bytes);
  PortableFile file;
  ASSERT_TRUE(file.Initialize(path.c_str(), "rt"));
  EXPECT_FALSE(file.isUtf16Text());
  EXPECT_EQ(file.getFileSize(), 6);
  EXPECT_EQ(ReadAll(file, 4), bytes);

  // Too short to hold a mark at all.
  WriteFile(path, "\xff");
  PortableFile one;
  ASSERT_TRUE(one.Initialize(path.c_str(), "rt"));
  EXPECT_FALSE(one.isUtf16Text());
  EXPECT_EQ(ReadAll(one, 4), "\xff");
}

TEST(PortableFileTest, BrokenUtf16BecomesReplacementCharactersNotLostText) {
  TempDir dir;
  const std::string path = dir.file("broken");
  struct Case {
    std::string bytes;  // after the mark
    std::string utf8;
  };
  const std::vector<Case> cases = {
      // An odd byte at the end: half a unit.
      {"A\x00" "B"s, "A\xef\xbf\xbd"},
      // A high surrogate at the end, and before a plain character.
      {"A\x00\x3d\xd8"s, "A\xef\xbf\xbd"},
      {"\x3d\xd8" "B\x00"s, "\xef\xbf\xbd" "B"},
      // A low surrogate alone; two highs in a row; a high then a pair.
      {"\x00\xde" "C\x00"s, "\xef\xbf\xbd" "C"},
      {"\x3d\xd8\x3d\xd8\x00\xde"s, "\xef\xbf\xbd\xf0\x9f\x98\x80"},
      // An embedded U+0000 is a character like any other.
      {"a\x00\x00\x00" "b\x00"s, "a\x00" "b"s},
      // Only the mark: no text.
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    WriteFile(path, kMark + c.bytes);
    for (unsigned long long piece : {1ULL, 3ULL, 4096ULL}) {
      PortableFile file;
      ASSERT_TRUE(file.Initialize(path.c_str(), "rt"));
      EXPECT_EQ(ReadAll(file, piece), c.utf8);
    }
  }
}

TEST(PortableFileTest, ALargeUtf16TextIsHandedOutWholeAndBoundedPerRead) {
  TempDir dir;
  const std::string path = dir.file("large");
  std::u16string text;
  std::string utf8;
  for (int i = 0; i < 60000; ++i) {
    switch (i % 4) {
      case 0: text += u'x'; utf8 += "x"; break;
      case 1: text += u'\u00e9'; utf8 += "\xc3\xa9"; break;
      case 2: text += u'\u20ac'; utf8 += "\xe2\x82\xac"; break;
      default: text += u"\U0001F600"; utf8 += "\xf0\x9f\x98\x80"; break;
    }
    if (i % 80 == 79) {
      text += u"\r\n";
      utf8 += "\r\n";
    }
  }
  WriteFile(path, kMark + Utf16(text));
  PortableFile file;
  ASSERT_TRUE(file.Initialize(path.c_str(), "rt"));
  EXPECT_EQ(file.getFileSize(), static_cast<long long>(text.size()));
  std::string all;
  std::vector<char> buffer(1 << 20);
  while (true) {
    unsigned long long got = 0;
    ASSERT_TRUE(file.Read(buffer.data(), buffer.size(), &got));
    if (got == 0) break;
    EXPECT_LE(got, PortableFile::kOutputBufferBytes);
    all.append(buffer.data(), got);
  }
  EXPECT_EQ(all, utf8);
}

TEST(PortableFileTest, TheDecoderJoinsUnitsAndPairsSplitAnywhere) {
  const std::string bytes = "\x3d\xd8\x00\xde" "A\x00\x00\xde\x3d\xd8"s + "z";
  const std::wstring expected = {0x1F600, L'A', 0xFFFD, 0xFFFD, 0xFFFD};
  for (std::size_t a = 0; a <= bytes.size(); ++a) {
    for (std::size_t b = a; b <= bytes.size(); ++b) {
      EXPECT_EQ(zn::testing::DecodeUtf16LeForTest(bytes, {a, b}), expected) << a << " " << b;
    }
  }
}

TEST(PortableFileTest, OpeningAndClosingTwiceAndBadArgumentsAreMisuse) {
  TempDir dir;
  const std::string path = dir.file("f");
  WriteFile(path, "abc");
  PortableFile file;
  bool flag = false;
  EXPECT_FALSE(file.isDirectory(&flag));
  EXPECT_EQ(file.getLastError(), -1);
  unsigned long long got = 5;
  char buffer[4];
  EXPECT_FALSE(file.Read(buffer, 4, &got));
  EXPECT_EQ(got, 0U);
  EXPECT_FALSE(file.Close());
  EXPECT_EQ(file.getLastError(), -1);
  ASSERT_TRUE(file.Initialize(path.c_str(), "r"));
  EXPECT_FALSE(file.Initialize(path.c_str(), "r"));
  EXPECT_EQ(file.getLastError(), -1);
  EXPECT_TRUE(file.isDirectory(&flag));
  EXPECT_FALSE(flag);
  EXPECT_TRUE(file.Close());
  EXPECT_FALSE(file.Close());

  PortableFile other;
  EXPECT_FALSE(other.Initialize(dir.file("missing").c_str(), "r"));
  EXPECT_EQ(other.getLastError(), ENOENT);
  EXPECT_FALSE(other.Initialize(path.c_str(), "q"));
  EXPECT_EQ(other.getLastError(), EINVAL);
  EXPECT_FALSE(other.Initialize(path.c_str(), "r,ccs=UTF-8"));
  EXPECT_EQ(other.getLastError(), EINVAL);
  EXPECT_FALSE(other.Initialize(path.c_str(), "rx"));
  EXPECT_FALSE(other.Initialize(std::string(1025, 'p').c_str(), "r"));
  EXPECT_EQ(other.getLastError(), ENAMETOOLONG);
  EXPECT_FALSE(other.Initialize(nullptr, "r"));
  EXPECT_EQ(other.getFileSize(), 3);  // the path it was last given
  ASSERT_TRUE(other.Initialize(dir.path().c_str(), "r"));
  EXPECT_TRUE(other.isDirectory(&flag));
  EXPECT_TRUE(flag);
  // A FIFO does not hold the open up waiting for a writer.
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  PortableFile fifo;
  ASSERT_TRUE(fifo.Initialize(dir.file("fifo").c_str(), "rt"));
  EXPECT_EQ(ReadAll(fifo, 16), "");
}

TEST(PortableFileTest, TheWriteSideAcceptsAndLeavesTheFileAlone) {
  TempDir dir;
  const std::string path = dir.file("f");
  WriteFile(path, "abc");
  PortableFile file;
  ASSERT_TRUE(file.Initialize(path.c_str(), "r"));
  unsigned long long written = 7;
  EXPECT_TRUE(file.Write("xyz", 3, &written));
  EXPECT_EQ(written, 0U);
  EXPECT_TRUE(file.SpecialWrite("xyz", 3, &written));
  EXPECT_TRUE(file.SetAttributes(0x80));
  EXPECT_TRUE(file.SetCreationTime(1));
  EXPECT_TRUE(file.SetLastWriteTime(1));
  EXPECT_TRUE(file.SetCompression(true));
  EXPECT_TRUE(file.Rename("other"));
  EXPECT_TRUE(file.Rename(L"other"));
  EXPECT_TRUE(file.CopyFrom(path.c_str()));
  EXPECT_TRUE(file.InitializePhase2());
  EXPECT_TRUE(file.Close());
  PortableFile wide;
  EXPECT_TRUE(wide.Initialize(L"nowhere", L"r"));
  EXPECT_FALSE(wide.isOpen());
  EXPECT_EQ(ReadFile(path), "abc");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644U);
  EXPECT_FALSE(zn::test::files::PathExists(dir.file("other")));
}

}  // namespace
