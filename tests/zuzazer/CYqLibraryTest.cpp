#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "zuzazer/CYqCRC32.h"
#include "zuzazer/CYqLibrary.h"

namespace {

TEST(CYqLibrary, LoadsByNameFindsExportsAndReportsFailures) {
  CYqLibrary library;
  EXPECT_FALSE(library.IsLoaded());
  void* address = reinterpret_cast<void*>(1);
  EXPECT_TRUE(library.GetAddress("getpid", address).Is(6));
  EXPECT_EQ(address, nullptr);

  ASSERT_TRUE(library.Load("libc.so.6").IsSuccess());
  EXPECT_TRUE(library.IsLoaded());
  ASSERT_TRUE(library.GetAddress("getpid", address).IsSuccess());
  ASSERT_NE(address, nullptr);
  EXPECT_EQ(reinterpret_cast<pid_t (*)()>(address)(), ::getpid());

  address = reinterpret_cast<void*>(1);
  const CYqError missing = library.GetAddress("zn_no_such_symbol_anywhere", address);
  EXPECT_TRUE(missing.Is(127)) << missing.AsString();
  EXPECT_EQ(address, nullptr);
  EXPECT_NE(missing.AsString().find("zn_no_such_symbol_anywhere"), std::string::npos);

  // Our own utility library, by the platform name of its short name.
  EXPECT_EQ(CYqLibrary::GetLibraryNameForName("ZuZazer"), "libZuZazer.so");
  ASSERT_TRUE(library.Load(CYqLibrary::GetLibraryNameForName("ZuZazer")).IsSuccess());
  EXPECT_TRUE(library.GetAddress("_ZN10CYqLibrary4FreeEv", address).IsSuccess());  // CYqLibrary::Free()

  library.Free();
  library.Free();  // twice is harmless
  EXPECT_TRUE(library.GetAddress("getpid", address).IsError());

  const CYqError absent = library.Load("libzn_definitely_missing.so");
  EXPECT_TRUE(absent.Is(126)) << absent.AsString();
  EXPECT_NE(absent.AsString().find("libzn_definitely_missing.so"), std::string::npos);
  EXPECT_TRUE(library.Load("").Is(87));
  // A failed load after a good one leaves nothing loaded.
  ASSERT_TRUE(library.Load("libc.so.6").IsSuccess());
  EXPECT_TRUE(library.Load("/nonexistent/libc.so.6").Is(126));
  EXPECT_FALSE(library.IsLoaded());
}

TEST(CYqCRC32, IsTheStandardCrcWhetherFedAtOnceOrInPieces) {
  EXPECT_EQ(CYqCRC32::Compute("ABC"), 2743272264u);
  EXPECT_EQ(CYqCRC32::Compute("123456789"), 0xCBF43926u);
  EXPECT_EQ(CYqCRC32::Compute(""), 0u);

  std::mt19937 random(12345);
  std::vector<unsigned char> data(100000);
  for (auto& byte : data) byte = static_cast<unsigned char>(random());
  const auto expected = static_cast<uint32_t>(::crc32(0L, data.data(), static_cast<uInt>(data.size())));
  EXPECT_EQ(CYqCRC32::Compute(std::string_view(reinterpret_cast<const char*>(data.data()), data.size())), expected);

  for (int round = 0; round < 20; ++round) {
    CYqCRC32 crc;
    std::size_t at = 0;
    while (at < data.size()) {
      const std::size_t piece = std::min<std::size_t>(data.size() - at, random() % 5000);
      crc.UpdateCRC32(data.data() + at, piece);  // empty pieces included
      at += piece;
    }
    ASSERT_EQ(crc.GetCRC32(), expected);
    crc.Reset();
    EXPECT_EQ(crc.GetCRC32(), 0u);
    crc.UpdateCRC32("ABC", 3);
    EXPECT_EQ(crc.GetCRC32(), 2743272264u);
  }
}

}  // namespace
