// MM and VS numbered errors inside CYqError values.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <typeinfo>
#include <vector>

#include <boost/pointer_cast.hpp>

#include "zn/error/FXErrorItemMM.h"
#include "zuzazer/FXErrorUtil.h"

namespace {

const FXCodeLocation kWhere("/src/zn/store/Store.cpp", "Store::open", 42);
const FXCodeLocation kCaller("/src/zn/job/Job.cpp", "Job::run", 7);

constexpr uint32_t kCustomerBit = 1u << 29;

TEST(ErrorMMVS, CodesCarryTheFamilyAndTheNumberSurvives) {
  struct Case {
    bool mm;
    int number;
    uint32_t code;
    int mmBack, vsBack;  // read back by GetMM and GetVS; 65535: another family
  };
  for (const Case& c : {Case{true, 0, 0xEC020000u, 0, 65535}, Case{true, 5, 0xEC020005u, 5, 65535},
                        Case{true, 0xFFFE, 0xEC02FFFEu, 0xFFFE, 65535}, Case{true, 0x10000, 0xEC030000u, 0x10000, 65535},
                        Case{true, 0x12345, 0xEC032345u, 0x12345, 65535}, Case{false, 7, 0xEC010007u, 65535, 7},
                        // A VS number wider than 16 bits is kept in the code but not read back.
                        Case{false, 0x12345, 0xEC012345u, 65535, 0x2345}}) {
    SCOPED_TRACE(c.number);
    const CYqError e = c.mm ? FXErrorUtil::ErrorMM(kWhere, c.number) : FXErrorUtil::ErrorVS(kWhere, c.number);
    ASSERT_TRUE(e.IsError());
    EXPECT_EQ(e.GetErrorCode(), c.code);
    EXPECT_NE(e.GetErrorCode() & kCustomerBit, 0u);
    EXPECT_EQ(FXErrorUtil::GetMM(e), c.mmBack);
    EXPECT_EQ(FXErrorUtil::GetVS(e), c.vsBack);
    EXPECT_EQ(FXErrorUtil::IsMM(e, c.number), c.mm);
    EXPECT_EQ(FXErrorUtil::IsNotMM(e, c.number), !c.mm);
    EXPECT_EQ(FXErrorUtil::IsVS(e, c.number), !c.mm);
    EXPECT_EQ(FXErrorUtil::IsNotVS(e, c.number), c.mm);
    EXPECT_FALSE(FXErrorUtil::IsMM(e, c.number + 1) || FXErrorUtil::IsVS(e, c.number + 1));
  }
  EXPECT_FALSE(FXErrorUtil::IsMM(FXErrorUtil::ErrorMM(kWhere, 0x12345), 0x2345));  // the low family differs

  // Success reads 0 and matches nothing; other errors read 65535.
  EXPECT_EQ(FXErrorUtil::GetMM(CYqError::Success()) + FXErrorUtil::GetVS(CYqError::Success()), 0);
  EXPECT_FALSE(FXErrorUtil::IsMM(CYqError::Success(), 0));
  EXPECT_TRUE(FXErrorUtil::IsNotMM(CYqError::Success(), 0));
  for (const CYqError& other :
       {FXErrorUtil::ErrorWin32(kWhere, 5, "denied"), FXErrorUtil::ErrorWin32(kWhere, 0x80070005u)}) {
    EXPECT_EQ(FXErrorUtil::GetMM(other), 65535);
    EXPECT_EQ(FXErrorUtil::GetVS(other), 65535);
  }
}

TEST(ErrorMMVS, ItemTextsForEachOutputFormatAndClones) {
  const std::string where = "Store::open(Store.cpp:42)";
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-zero-length"
  // Error, its short, user and full texts; an empty or null format makes the plain item.
  const std::vector<std::tuple<CYqError, std::string, std::string, std::string>> cases = {
      {FXErrorUtil::ErrorMM(kWhere, 5), "Error (MM.5)", "Error (MM.5)", where + "/MM.5"},
      {FXErrorUtil::ErrorMM(kWhere, 6, ""), "Error (MM.6)", "Error (MM.6)", where + "/MM.6"},
      {FXErrorUtil::ErrorMM(kWhere, 6, nullptr), "Error (MM.6)", "Error (MM.6)", where + "/MM.6"},
      {FXErrorUtil::ErrorMM(kWhere, 0x12345, "disk %s at %d%%", "full", 99), "Error (MM.74565)",
       "disk full at 99% (MM.74565)", where + "/MM.74565-disk full at 99%"},
      {FXErrorUtil::ErrorVS(kWhere, 12), "Error (VS.12)", "Error (VS.12)", where + "/VS.12"},
      {FXErrorUtil::ErrorVS(kWhere, 12, "no %s", "volume"), "Error (VS.12)", "no volume (VS.12)",
       where + "/VS.12-no volume"}};
  CYqError pushed = FXErrorUtil::ErrorVS(kWhere, 1);
  FXErrorUtil::PushVS(pushed, kCaller, 2, nullptr);
#pragma GCC diagnostic pop
  for (const auto& [error, shortText, userText, fullText] : cases) {
    SCOPED_TRACE(fullText);
    ASSERT_EQ(error.GetItems().size(), 1u);
    const auto& item = error.GetItems().front();
    EXPECT_EQ(item->AsText(eErrorOutputShort), shortText);
    EXPECT_EQ(item->AsText(eErrorOutputUser), userText);
    EXPECT_EQ(item->AsText(eErrorOutputFull), fullText);
    EXPECT_EQ(item->AsText(static_cast<EErrorOutputFormat>(7)), fullText);
    EXPECT_EQ(item->AsString(), fullText);
    EXPECT_EQ(error.AsString(), fullText);
    EXPECT_EQ(error.AsString(eErrorOutputUser), userText);
    // Only items with a description are of the described types.
    const bool described = !userText.starts_with("Error (");
    EXPECT_EQ(bool(boost::dynamic_pointer_cast<FXErrorItemMMDescription>(item)) ||
                  bool(boost::dynamic_pointer_cast<FXErrorItemVSDescription>(item)),
              described);
    // A clone keeps the type, the location and every text.
    const boost::shared_ptr<FXErrorItem> clone = item->Clone();
    ASSERT_TRUE(clone && clone.get() != item.get());
    EXPECT_EQ(typeid(*clone), typeid(*item));
    EXPECT_EQ(clone->GetLocation().GetFile(), "/src/zn/store/Store.cpp");
    EXPECT_EQ(clone->AsText(eErrorOutputUser), userText);
    EXPECT_EQ(clone->AsText(eErrorOutputFull), fullText);
  }
  const auto item = boost::dynamic_pointer_cast<FXErrorItemMM>(std::get<0>(cases[0]).GetItems().front());
  ASSERT_TRUE(item);
  EXPECT_EQ(item->GetNumber(), 5);
  const auto withText =
      boost::dynamic_pointer_cast<FXErrorItemMMDescription>(std::get<0>(cases[3]).GetItems().front());
  ASSERT_TRUE(withText);
  EXPECT_EQ(withText->GetDescription(), "disk full at 99%");
  ASSERT_EQ(pushed.GetItems().size(), 2u);
  EXPECT_FALSE(boost::dynamic_pointer_cast<FXErrorItemVSDescription>(pushed.GetItems().back()));
  EXPECT_EQ(pushed.GetItems().back()->AsString(), "Job::run(Job.cpp:7)/VS.2");
}

TEST(ErrorMM, PushAddsItemsToAnExistingError) {
  CYqError error = FXErrorUtil::ErrorMM(kWhere, 9);
  EXPECT_EQ(&FXErrorUtil::PushMM(error, kCaller, 10, "while %s", "saving"), &error);
  FXErrorUtil::PushMM(error, kCaller, 11);
  FXErrorUtil::PushVS(error, kCaller, 12);
  FXErrorUtil::PushVS(error, kCaller, 13, "vs %s", "context");
  // The code stays the one the error was made with.
  EXPECT_EQ(error.GetErrorCode(), 0xEC020009u);
  EXPECT_EQ(FXErrorUtil::GetMM(error), 9);
  EXPECT_EQ(error.AsString(), "Store::open(Store.cpp:42)/MM.9 <- Job::run(Job.cpp:7)/MM.10-while saving <- "
                              "Job::run(Job.cpp:7)/MM.11 <- Job::run(Job.cpp:7)/VS.12 <- "
                              "Job::run(Job.cpp:7)/VS.13-vs context");
  EXPECT_EQ(error.AsString(eErrorOutputUser), "Error (MM.9)");

  // Pushing onto a Win32 error adds context but no MM code.
  CYqError win32 = FXErrorUtil::ErrorWin32(kWhere, 2, "missing");
  FXErrorUtil::PushMM(win32, kCaller, 14);
  EXPECT_EQ(win32.GetItems().size(), 2u);
  EXPECT_EQ(FXErrorUtil::GetMM(win32), 65535);
  EXPECT_FALSE(FXErrorUtil::IsMM(win32, 14));

  // Success stays success.
  CYqError success;
  FXErrorUtil::PushMM(success, kCaller, 15, "ignored");
  FXErrorUtil::PushVS(success, kCaller, 16);
  EXPECT_TRUE(success.IsSuccess());
  EXPECT_EQ(FXErrorUtil::GetMM(success), 0);
}

TEST(ErrorMM, OverlongDescriptionIsMarked) {
  const std::string huge(70 * 1024, 'd');
  const CYqError error = FXErrorUtil::ErrorMM(kWhere, 1, "%s", huge.c_str());
  const auto item = boost::dynamic_pointer_cast<FXErrorItemMMDescription>(error.GetItems().front());
  ASSERT_TRUE(item);
  const std::string marker = "[BUFFEROVERFLOW] ";
  ASSERT_TRUE(item->GetDescription().starts_with(marker));
  const std::string rest = item->GetDescription().substr(marker.size());
  EXPECT_TRUE(!rest.empty() && rest.size() < huge.size() && rest == huge.substr(0, rest.size()));
  EXPECT_EQ(error.GetErrorCode(), 0xEC020001u);

  // A description that fits carries no marker.
  const CYqError fits = FXErrorUtil::ErrorVS(kWhere, 1, "%s", std::string(2000, 'e').c_str());
  const auto fitting = boost::dynamic_pointer_cast<FXErrorItemVSDescription>(fits.GetItems().front());
  ASSERT_TRUE(fitting);
  EXPECT_EQ(fitting->GetDescription(), std::string(2000, 'e'));
}

}  // namespace
