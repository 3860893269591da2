// The version-name rule of the pruner: what is a version of which log, the
// exact failures, and the order of stamps of any length.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "zn/logupkeep/LogVersionName.h"

namespace {

using zn::CompareDigitStrings;
using zn::IsNewerVersionName;
using zn::LogVersionName;
using zn::ParseLogVersionName;
using zn::VersionBaseOf;

TEST(LogVersionName, AcceptsVersionsAndFlagsIrregularStamps) {
  struct Case {
    const char* name;
    const char* stamp;
    bool compressed;
    bool irregular;
  };
  for (const Case& c : std::vector<Case>{{"app_20240101120000.log", "20240101120000", false, false},
                                         {"app_20240101120000.log.zip", "20240101120000", true, false},
                                         {"app_2024_0101_120000.log", "2024_0101_120000", false, false},
                                         {"app_7.log", "7", false, true},
                                         {"app_123456789012345678901234.log", "123456789012345678901234", false, true},
                                         {"app__.log", "_", false, true}}) {
    LogVersionName version;
    const CYqError error = ParseLogVersionName(c.name, "app", version);
    ASSERT_TRUE(error.IsSuccess()) << c.name << ": " << error.AsString();
    EXPECT_EQ(version.stamp, c.stamp) << c.name;
    EXPECT_EQ(version.compressed, c.compressed) << c.name;
    EXPECT_EQ(version.irregular, c.irregular) << c.name;
  }
}

TEST(LogVersionName, RejectsWithTheExactCodesAndTexts) {
  struct Case {
    const char* name;
    const char* base;
    uint32_t code;
    const char* text;
  };
  for (const Case& c : std::vector<Case>{
           {"app_20240101120000.log", "", 4306, "No parent file is found"},
           {"other_20240101120000.log", "app", 4306, "No parent file is found"},
           {"app.log", "app", 774, "_ is not present in the timestamp"},
           {"app-x_20240101120000.log", "app", 774, "_ is not present in the timestamp"},
           {"app_.log", "app", 4306, "Timestamp is empty"},
           {"app_.log.zip", "app", 4306, "Timestamp is empty"},
           {"app_2024010112000x.log", "app", 774, "Non numeric character is present in the timestamp."},
           {"app_extra_20240101120000.log", "app", 774, "Non numeric character is present in the timestamp."},
           {"app_2024 0101.log", "app", 774, "Non numeric character is present in the timestamp."},
           {"app_20240101120000.log.gz", "app", 774, "The version does not end in .log or .log.zip"},
           {"app_20240101120000.txt", "app", 774, "The version does not end in .log or .log.zip"},
           {"app_20240101120000", "app", 774, "The version does not end in .log or .log.zip"},
       }) {
    LogVersionName version;
    version.stamp = "left over";
    const CYqError error = ParseLogVersionName(c.name, c.base, version);
    ASSERT_TRUE(error.IsError()) << c.name;
    EXPECT_EQ(error.GetErrorCode(), c.code) << c.name;
    EXPECT_EQ(error.AsString(eErrorOutputUser), c.text) << c.name;
    EXPECT_TRUE(version.stamp.empty()) << c.name;
  }
}

TEST(LogVersionName, BaseOfAVersionWithoutItsCurrentFile) {
  EXPECT_EQ(VersionBaseOf("app_20240101120000.log"), "app");
  EXPECT_EQ(VersionBaseOf("cl_host_1_znd_20240101120000.log.zip"), "cl_host_1_znd");
  EXPECT_EQ(VersionBaseOf("JobControl_extra.log"), "");
  EXPECT_EQ(VersionBaseOf("app.log"), "");
  EXPECT_EQ(VersionBaseOf("_20240101120000.log"), "");  // no base at all
  EXPECT_EQ(VersionBaseOf("app_20240101120000.log.1"), "");
}

TEST(LogVersionName, StampsCompareAsNumbersOfAnyLength) {
  EXPECT_EQ(CompareDigitStrings("20240101120000", "20240101120000"), 0);
  EXPECT_LT(CompareDigitStrings("20240101115959", "20240101120000"), 0);
  EXPECT_GT(CompareDigitStrings("100000000000000", "99999999999999"), 0);  // 15 digits beat 14
  EXPECT_EQ(CompareDigitStrings("0007", "7"), 0);
  EXPECT_LT(CompareDigitStrings("", "1"), 0);
  // Both beyond 32 and 64 bits, differing only in the last digit.
  EXPECT_LT(CompareDigitStrings("123456789012345678901234567890", "123456789012345678901234567891"), 0);

  // Newest first, by the number after the last "_": a 20-digit stamp is the
  // newest, however it would wrap in an integer; "_" inside stamps is fine.
  std::vector<std::string> names = {"app_20240101120000.log",     "app_99999999999999999999.log",
                                    "app_20231231235959.log.zip", "app_2024_20240102000000.log",
                                    "app_20240101120001.log",     "app_9.log"};
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return IsNewerVersionName(a, b);
  });
  EXPECT_EQ(names, (std::vector<std::string>{"app_99999999999999999999.log", "app_2024_20240102000000.log",
                                             "app_20240101120001.log", "app_20240101120000.log",
                                             "app_20231231235959.log.zip", "app_9.log"}));
  EXPECT_TRUE(IsNewerVersionName("b", "a"));  // without "_": as text
  EXPECT_FALSE(IsNewerVersionName("app_20240101120000.log", "app_20240101120000.log.zip"));
}

}  // namespace
