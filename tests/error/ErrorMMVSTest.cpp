// MM and VS numbered errors inside CYqError values.

#include <gtest/gtest.h>

#include <string>
#include <typeinfo>

#include <boost/pointer_cast.hpp>

#include "zn/error/FXErrorItemMM.h"
#include "zuzazer/FXErrorUtil.h"

namespace {

const FXCodeLocation kWhere("/src/zn/store/Store.cpp", "Store::open", 42);
const FXCodeLocation kCaller("/src/zn/job/Job.cpp", "Job::run", 7);

constexpr uint32_t kCustomerBit = 1u << 29;

uint32_t Family(uint32_t code) { return (code >> 16) & 0xFFFu; }

TEST(ErrorMM, CodesCarryTheFamilyAndTheNumberSurvives) {
  const CYqError small = FXErrorUtil::ErrorMM(kWhere, 5);
  ASSERT_TRUE(small.IsError());
  EXPECT_EQ(small.GetErrorCode(), 0xEC020005u);
  EXPECT_NE(small.GetErrorCode() & kCustomerBit, 0u);
  EXPECT_EQ(Family(small.GetErrorCode()), 0xC02u);
  EXPECT_EQ(FXErrorUtil::GetMM(small), 5);
  EXPECT_TRUE(FXErrorUtil::IsMM(small, 5));
  EXPECT_FALSE(FXErrorUtil::IsNotMM(small, 5));
  EXPECT_FALSE(FXErrorUtil::IsMM(small, 6));
  EXPECT_TRUE(FXErrorUtil::IsNotMM(small, 6));

  const CYqError large = FXErrorUtil::ErrorMM(kWhere, 0x12345);
  EXPECT_EQ(large.GetErrorCode(), 0xEC032345u);
  EXPECT_EQ(Family(large.GetErrorCode()), 0xC03u);
  EXPECT_EQ(FXErrorUtil::GetMM(large), 0x12345);
  EXPECT_TRUE(FXErrorUtil::IsMM(large, 0x12345));
  EXPECT_FALSE(FXErrorUtil::IsMM(large, 0x2345));  // the low family is a different code

  // Either side of the family boundary.
  EXPECT_EQ(FXErrorUtil::ErrorMM(kWhere, 0xFFFE).GetErrorCode(), 0xEC02FFFEu);
  EXPECT_EQ(FXErrorUtil::GetMM(FXErrorUtil::ErrorMM(kWhere, 0xFFFE)), 0xFFFE);
  EXPECT_EQ(FXErrorUtil::ErrorMM(kWhere, 0x10000).GetErrorCode(), 0xEC030000u);
  EXPECT_EQ(FXErrorUtil::GetMM(FXErrorUtil::ErrorMM(kWhere, 0x10000)), 0x10000);
  EXPECT_EQ(FXErrorUtil::ErrorMM(kWhere, 0).GetErrorCode(), 0xEC020000u);
  EXPECT_EQ(FXErrorUtil::GetMM(FXErrorUtil::ErrorMM(kWhere, 0)), 0);
}

TEST(ErrorVS, CodesCarryTheFamilyAndSixteenBitsSurvive) {
  const CYqError error = FXErrorUtil::ErrorVS(kWhere, 7);
  EXPECT_EQ(error.GetErrorCode(), 0xEC010007u);
  EXPECT_NE(error.GetErrorCode() & kCustomerBit, 0u);
  EXPECT_EQ(Family(error.GetErrorCode()), 0xC01u);
  EXPECT_TRUE(FXErrorUtil::IsVS(error, 7));
  EXPECT_FALSE(FXErrorUtil::IsNotVS(error, 7));
  EXPECT_TRUE(FXErrorUtil::IsNotVS(error, 8));
  EXPECT_EQ(FXErrorUtil::GetVS(error), 7);

  // The families do not mix.
  EXPECT_FALSE(FXErrorUtil::IsMM(error, 7));
  EXPECT_EQ(FXErrorUtil::GetMM(error), 65535);
  EXPECT_EQ(FXErrorUtil::GetVS(FXErrorUtil::ErrorMM(kWhere, 7)), 65535);

  // A VS number wider than 16 bits is kept in the code but not read back.
  const CYqError wide = FXErrorUtil::ErrorVS(kWhere, 0x12345);
  EXPECT_EQ(wide.GetErrorCode(), 0xEC012345u);
  EXPECT_TRUE(FXErrorUtil::IsVS(wide, 0x12345));
  EXPECT_EQ(FXErrorUtil::GetVS(wide), 0x2345);
}

TEST(ErrorMM, GetOfSuccessIsZeroAndOfOtherErrors65535) {
  EXPECT_EQ(FXErrorUtil::GetMM(CYqError::Success()), 0);
  EXPECT_EQ(FXErrorUtil::GetVS(CYqError::Success()), 0);
  EXPECT_FALSE(FXErrorUtil::IsMM(CYqError::Success(), 0));
  EXPECT_TRUE(FXErrorUtil::IsNotMM(CYqError::Success(), 0));

  const CYqError win32 = FXErrorUtil::ErrorWin32(kWhere, 5, "denied");
  EXPECT_EQ(FXErrorUtil::GetMM(win32), 65535);
  EXPECT_EQ(FXErrorUtil::GetVS(win32), 65535);
  EXPECT_EQ(FXErrorUtil::GetMM(FXErrorUtil::ErrorWin32(kWhere, 0x80070005u)), 65535);
}

TEST(ErrorMM, ItemTextsForEachOutputFormat) {
  const std::string where = "Store::open(Store.cpp:42)";

  const CYqError plain = FXErrorUtil::ErrorMM(kWhere, 5);
  ASSERT_EQ(plain.GetItems().size(), 1u);
  const auto item = boost::dynamic_pointer_cast<FXErrorItemMM>(plain.GetItems().front());
  ASSERT_TRUE(item);
  EXPECT_FALSE(boost::dynamic_pointer_cast<FXErrorItemMMDescription>(plain.GetItems().front()));
  EXPECT_EQ(item->GetNumber(), 5);
  EXPECT_EQ(item->AsText(eErrorOutputShort), "Error (MM.5)");
  EXPECT_EQ(item->AsText(eErrorOutputUser), "Error (MM.5)");
  EXPECT_EQ(item->AsText(eErrorOutputFull), where + "/MM.5");
  EXPECT_EQ(item->AsText(static_cast<EErrorOutputFormat>(7)), where + "/MM.5");
  EXPECT_EQ(item->AsString(), where + "/MM.5");
  EXPECT_EQ(plain.AsString(), where + "/MM.5");
  EXPECT_EQ(plain.AsString(eErrorOutputUser), "Error (MM.5)");

  const CYqError described = FXErrorUtil::ErrorMM(kWhere, 0x12345, "disk %s at %d%%", "full", 99);
  EXPECT_EQ(described.GetErrorCode(), 0xEC032345u);
  const auto withText = boost::dynamic_pointer_cast<FXErrorItemMMDescription>(described.GetItems().front());
  ASSERT_TRUE(withText);
  EXPECT_EQ(withText->GetDescription(), "disk full at 99%");
  EXPECT_EQ(withText->AsText(eErrorOutputShort), "Error (MM.74565)");
  EXPECT_EQ(withText->AsText(eErrorOutputUser), "disk full at 99% (MM.74565)");
  EXPECT_EQ(withText->AsText(eErrorOutputFull), where + "/MM.74565-disk full at 99%");
  EXPECT_EQ(withText->AsText(static_cast<EErrorOutputFormat>(3)), where + "/MM.74565-disk full at 99%");
  EXPECT_EQ(described.AsString(), where + "/MM.74565-disk full at 99%");

  // An empty or null format makes the plain item.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-zero-length"
  const CYqError empty = FXErrorUtil::ErrorMM(kWhere, 6, "");
  const CYqError null = FXErrorUtil::ErrorMM(kWhere, 6, nullptr);
  CYqError pushed = FXErrorUtil::ErrorVS(kWhere, 1);
  FXErrorUtil::PushVS(pushed, kCaller, 2, nullptr);
#pragma GCC diagnostic pop
  for (const CYqError* e : {&empty, &null}) {
    EXPECT_EQ(e->GetErrorCode(), 0xEC020006u);
    EXPECT_FALSE(boost::dynamic_pointer_cast<FXErrorItemMMDescription>(e->GetItems().front()));
    EXPECT_EQ(e->AsString(eErrorOutputUser), "Error (MM.6)");
  }
  ASSERT_EQ(pushed.GetItems().size(), 2u);
  EXPECT_FALSE(boost::dynamic_pointer_cast<FXErrorItemVSDescription>(pushed.GetItems().back()));
  EXPECT_EQ(pushed.GetItems().back()->AsString(), "Job::run(Job.cpp:7)/VS.2");
}

TEST(ErrorVS, ItemTextsForEachOutputFormat) {
  const std::string where = "Store::open(Store.cpp:42)";
  const CYqError plain = FXErrorUtil::ErrorVS(kWhere, 12);
  const auto item = boost::dynamic_pointer_cast<FXErrorItemVS>(plain.GetItems().front());
  ASSERT_TRUE(item);
  EXPECT_EQ(item->AsText(eErrorOutputShort), "Error (VS.12)");
  EXPECT_EQ(item->AsText(eErrorOutputUser), "Error (VS.12)");
  EXPECT_EQ(item->AsText(eErrorOutputFull), where + "/VS.12");
  EXPECT_EQ(item->AsString(), where + "/VS.12");

  const CYqError described = FXErrorUtil::ErrorVS(kWhere, 12, "no %s", "volume");
  EXPECT_EQ(described.GetErrorCode(), 0xEC01000Cu);
  const auto withText = boost::dynamic_pointer_cast<FXErrorItemVSDescription>(described.GetItems().front());
  ASSERT_TRUE(withText);
  EXPECT_EQ(withText->AsText(eErrorOutputShort), "Error (VS.12)");
  EXPECT_EQ(withText->AsText(eErrorOutputUser), "no volume (VS.12)");
  EXPECT_EQ(withText->AsText(eErrorOutputFull), where + "/VS.12-no volume");
  EXPECT_EQ(withText->AsString(), where + "/VS.12-no volume");
}

TEST(ErrorMM, CloneKeepsTypeLocationNumberAndDescription) {
  const boost::shared_ptr<FXErrorItem> items[] = {
      FXErrorUtil::ErrorMM(kWhere, 3).GetItems().front(),
      FXErrorUtil::ErrorMM(kWhere, 4, "described %d", 4).GetItems().front(),
      FXErrorUtil::ErrorVS(kWhere, 5).GetItems().front(),
      FXErrorUtil::ErrorVS(kWhere, 6, "described %d", 6).GetItems().front(),
  };
  for (const auto& original : items) {
    const boost::shared_ptr<FXErrorItem> clone = original->Clone();
    ASSERT_TRUE(clone);
    EXPECT_NE(clone.get(), original.get());
    EXPECT_EQ(typeid(*clone), typeid(*original));
    EXPECT_EQ(clone->GetLocation().GetFile(), "/src/zn/store/Store.cpp");
    EXPECT_EQ(clone->GetLocation().GetFunction(), "Store::open");
    EXPECT_EQ(clone->GetLocation().GetLine(), 42);
    for (const auto format : {eErrorOutputFull, eErrorOutputShort, eErrorOutputUser}) {
      EXPECT_EQ(clone->AsText(format), original->AsText(format));
    }
    EXPECT_EQ(clone->AsString(), original->AsString());
  }
}

TEST(ErrorMM, PushAddsItemsToAnExistingError) {
  CYqError error = FXErrorUtil::ErrorMM(kWhere, 9);
  CYqError& same = FXErrorUtil::PushMM(error, kCaller, 10, "while %s", "saving");
  EXPECT_EQ(&same, &error);
  FXErrorUtil::PushMM(error, kCaller, 11);
  FXErrorUtil::PushVS(error, kCaller, 12);
  FXErrorUtil::PushVS(error, kCaller, 13, "vs %s", "context");
  ASSERT_EQ(error.GetItems().size(), 5u);
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
  const std::string& description = item->GetDescription();
  const std::string marker = "[BUFFEROVERFLOW] ";
  ASSERT_EQ(description.compare(0, marker.size(), marker), 0);
  const std::string rest = description.substr(marker.size());
  EXPECT_FALSE(rest.empty());
  EXPECT_LT(rest.size(), huge.size());
  EXPECT_EQ(rest, huge.substr(0, rest.size()));
  EXPECT_EQ(error.GetErrorCode(), 0xEC020001u);

  // A description that fits carries no marker.
  const CYqError fits = FXErrorUtil::ErrorVS(kWhere, 1, "%s", std::string(2000, 'e').c_str());
  const auto fitting = boost::dynamic_pointer_cast<FXErrorItemVSDescription>(fits.GetItems().front());
  ASSERT_TRUE(fitting);
  EXPECT_EQ(fitting->GetDescription(), std::string(2000, 'e'));
}

}  // namespace
