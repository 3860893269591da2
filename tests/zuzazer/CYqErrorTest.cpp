#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <boost/make_shared.hpp>

#include "zuzazer/CYqError.h"
#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

FXCodeLocation Here(int line) { return FXCodeLocation("/src/deep/Where.cpp", "Cls::Fn", line); }

TEST(CYqError, SuccessIsNoErrorAndMatchesNothing) {
  const CYqError ok = CYqError::Success();
  EXPECT_FALSE(ok.IsError());
  EXPECT_EQ(ok.GetErrorCode(), 0u);
  EXPECT_FALSE(ok.Is(0));
  EXPECT_TRUE(ok.IsNot(0));
  for (auto format : {eErrorOutputFull, eErrorOutputShort, eErrorOutputUser}) EXPECT_EQ(ok.AsString(format), "Success");
  EXPECT_EQ(FXErrorUtil::GetWin32(ok), 0u);
  EXPECT_FALSE(FXErrorUtil::IsWin32(ok, 0));
}

TEST(CYqError, Win32CodeAndItsHResultMatchEachOther) {
  const CYqError win32 = FXErrorUtil::ErrorWin32(Here(1), 5);
  EXPECT_TRUE(win32.IsError());
  EXPECT_EQ(win32.GetErrorCode(), 5u);
  EXPECT_TRUE(win32.Is(5));
  EXPECT_TRUE(win32.Is(0x80070005u));
  EXPECT_TRUE(win32.IsNot(2));
  EXPECT_TRUE(win32.IsNot(0x80070002u));
  EXPECT_TRUE(FXErrorUtil::IsWin32(win32, 5));
  EXPECT_EQ(FXErrorUtil::GetWin32(win32), 5u);

  const CYqError hresult = FXErrorUtil::ErrorHResult(Here(2), 0x80070020u, "sharing [%d]", 1);
  EXPECT_EQ(hresult.GetErrorCode(), 0x80070020u);
  EXPECT_TRUE(hresult.Is(32));
  EXPECT_TRUE(hresult.Is(0x80070020u));
  EXPECT_EQ(FXErrorUtil::GetWin32(hresult), 32u);

  // An HRESULT of another facility carries no Win32 code.
  const CYqError other = FXErrorUtil::ErrorHResult(Here(3), 0x80004005u, "E_FAIL");
  EXPECT_TRUE(other.Is(0x80004005u));
  EXPECT_FALSE(other.Is(0x4005u));
  EXPECT_EQ(FXErrorUtil::GetWin32(other), 0u);

  // Code first, then its twin; success and other facilities have no twin.
  EXPECT_EQ(FXErrorUtil::GetMatches(183), (std::vector<uint32_t>{183u, 0x800700B7u}));
  EXPECT_EQ(FXErrorUtil::GetMatches(0x800700B7u), (std::vector<uint32_t>{0x800700B7u, 183u}));
  EXPECT_EQ(FXErrorUtil::GetMatches(0), (std::vector<uint32_t>{0u}));
  EXPECT_EQ(FXErrorUtil::GetMatches(0x80004005u), (std::vector<uint32_t>{0x80004005u}));
}

TEST(CYqError, TextsOfTheThreeFormatsAndThePushedChain) {
  CYqError error = FXErrorUtil::ErrorWin32(Here(10), 2, "File [%s] missing", "a.log");
  EXPECT_EQ(error.AsString(), "Cls::Fn(Where.cpp:10) [2] File [a.log] missing");
  EXPECT_EQ(error.AsString(eErrorOutputShort), "Error (2)");
  EXPECT_EQ(error.AsString(eErrorOutputUser), "File [a.log] missing");

  error.Push(Here(20));
  error.Push(Here(30), "while opening [%d]", 7);
  EXPECT_EQ(error.GetItems().size(), 3u);
  EXPECT_EQ(error.AsString(),
            "Cls::Fn(Where.cpp:10) [2] File [a.log] missing <- Cls::Fn(Where.cpp:20) <- "
            "Cls::Fn(Where.cpp:30) [2] while opening [7]");
  // Short and user texts still describe where the error was made.
  EXPECT_EQ(error.AsString(eErrorOutputShort), "Error (2)");
  EXPECT_EQ(error.AsString(eErrorOutputUser), "File [a.log] missing");
  // Unknown format values fall back to the full text.
  EXPECT_EQ(error.AsString(static_cast<EErrorOutputFormat>(7)), error.AsString());
  EXPECT_EQ(error.GetErrorCode(), 2u);

  // A bare code without items still prints.
  const CYqError bare(87, nullptr);
  EXPECT_TRUE(bare.IsError());
  EXPECT_EQ(bare.AsString(), "Error [87]");
  EXPECT_EQ(bare.AsString(eErrorOutputShort), "Error (87)");
}

TEST(CYqError, PushOntoSuccessStaysSuccess) {
  CYqError ok;
  ok.Push(Here(1)).Push(Here(2), "context %d", 1).Push(boost::make_shared<FXErrorItem>(Here(3)));
  EXPECT_TRUE(!ok.IsError() && ok.GetItems().empty());

  // A null item is ignored on an error too.
  CYqError error = FXErrorUtil::ErrorInt(Here(4), -7, "negative");
  error.Push(boost::shared_ptr<FXErrorItem>());
  EXPECT_EQ(error.GetItems().size(), 1u);
  EXPECT_EQ(error.GetErrorCode(), static_cast<uint32_t>(-7));
  EXPECT_TRUE(error.Is(static_cast<uint32_t>(-7)));
}

TEST(CYqError, PushedTextLongerThanTheFormatLimitKeepsWhatFitted) {
  const std::string big(100000, 'q');
  CYqError error = FXErrorUtil::ErrorWin32(Here(1), 5);
  error.Push(Here(2), "%s", big.c_str());
  ASSERT_EQ(error.GetItems().size(), 2u);
  const auto* item = dynamic_cast<const FXErrorItemText*>(error.GetItems().back().get());
  ASSERT_NE(item, nullptr);
  EXPECT_GT(item->GetText().size(), 1000u);
  EXPECT_LT(item->GetText().size(), big.size());
  EXPECT_EQ(item->GetText().find_first_not_of('q'), std::string::npos);
}

TEST(FXErrorUtil, ErrnoMapsToWin32AndCarriesTheSystemText) {
  struct Case {
    int errnum;
    uint32_t code;
  };
  for (const Case c : {Case{ENOENT, 2}, Case{EACCES, 5}, Case{EPERM, 5}, Case{EEXIST, 183}, Case{ENOSPC, 112},
                       Case{EAGAIN, 33}, Case{ENOTDIR, 3}, Case{EINVAL, 87}}) {
    SCOPED_TRACE(c.errnum);
    const CYqError error = FXErrorUtil::ErrorErrno(Here(5), c.errnum, "Cannot open [%s]", "x");
    EXPECT_EQ(error.GetErrorCode(), c.code);
    EXPECT_EQ(error.AsString(eErrorOutputUser), std::string("Cannot open [x] (") + std::strerror(c.errnum) + ")");
  }
  EXPECT_EQ(yq::Win32FromErrno(ENOENT, true), 3u);
  EXPECT_EQ(yq::Win32FromErrno(0), 0u);

  // Without a format the Win32 text is the code's own.
  EXPECT_EQ(FXErrorUtil::ErrorWin32(Here(6), 5).AsString(eErrorOutputUser), "Access is denied.");
  EXPECT_EQ(FXErrorUtil::ErrorInt(Here(7), 3).AsString(), "Cls::Fn(Where.cpp:7) [3]");
}

TEST(FXCodeLocation, KeepsTheBaseNameOfEitherSeparator) {
  EXPECT_EQ(FXCodeLocation("a/b/c.cpp", "f", 1).AsString(), "f(c.cpp:1)");
  EXPECT_EQ(FXCodeLocation("a\\b\\c.cpp", "f", 2).AsString(), "f(c.cpp:2)");
  EXPECT_EQ(FXCodeLocation(nullptr, nullptr, 3).AsString(), "(:3)");
  const FXCodeLocation here = FX_CODE_LOCATION;
  EXPECT_EQ(here.GetFunction(), "TestBody");
  EXPECT_NE(here.AsString().find("CYqErrorTest.cpp:"), std::string::npos);
}

}  // namespace
