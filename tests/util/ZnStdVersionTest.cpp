// Version strings: every parsing rule in its order, number prefixes and
// limits, the four-part service-pack scaling, the display text, the log
// header's version and `znadmin version`.

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>

#include "config/ConfigTestUtil.h"
#include "helpers/AdminRunner.h"
#include "zn/util/ZnStdVersion.h"
#include "zn/log/LogSettings.h"

namespace {

struct VersionCase {
  const char* text;
  bool parses;
  int release, servicePack, letter, update;
};

constexpr VersionCase kCases[] = {
    {"", false, 0, 0, 0, 0},
    // 1. Leading "SP": only the service pack, whatever follows.
    {"SP24", true, 0, 24, 0, 0}, {"SP0x1F", true, 0, 31, 0, 0}, {"SP010", true, 0, 8, 0, 0},
    {"SPx", true, 0, 0, 0, 0}, {"SP24 HPK3", true, 0, 24, 0, 0}, {"SP1.2", true, 0, 1, 0, 0},
    // 2. " SP": release before it; a final letter or sign of the rest first,
    // then " HPK" before ".".
    {"7 SP24b", true, 7, 24, 2, 0}, {"7 SP24B", true, 7, 24, 2, 0}, {"7 SP24z", true, 7, 24, 26, 0},
    {"7 SP24", true, 7, 24, 0, 0}, {"7 SP24+", true, 7, 24, 0, 0}, {"7 SP24-", true, 7, 24, 0, 0},
    {"7 SP24 HPK12", true, 7, 24, 0, 12}, {"7 SP24 HPK12c", true, 7, 24, 3, 12},
    {"7 SP24.7", true, 7, 24, 0, 7}, {"7 SP24.7.9", true, 7, 24, 0, 7}, {"7 SP24.3 HPK5", true, 7, 24, 0, 5},
    {"7 SP0x1A", true, 7, 1, 1, 0},  // the final "A" is a letter, stripped before the number
    {"7 SP", true, 7, 0, 0, 0}, {"0x10 SP010", true, 16, 8, 0, 0},
    {"7.1 SP3", true, 7, 3, 0, 0},  // " SP" wins over the dotted form
    // 3. No ".": the whole text is the service pack ("08": octal stops at 8).
    {"24", true, 0, 24, 0, 0}, {"0x18", true, 0, 24, 0, 0}, {"030", true, 0, 24, 0, 0},
    {"08", true, 0, 0, 0, 0}, {"abc", true, 0, 0, 0, 0}, {"7 sp24", true, 0, 7, 0, 0},
    // 4. Three dot-parts as they are; of four the first, third (tenths below
    // 2001) and fourth; any other count fails.
    {"7.0.0", true, 7, 0, 0, 0}, {"11.32.5", true, 11, 32, 0, 5}, {"7.240.4", true, 7, 240, 0, 4},
    {"0x7.010.0x5", true, 7, 8, 0, 5}, {"7..3", true, 7, 0, 0, 3}, {"...", true, 0, 0, 0, 0},
    {"7.0.240.4", true, 7, 24, 0, 4}, {"7.9.240.4", true, 7, 24, 0, 4}, {"7.0.2000.4", true, 7, 200, 0, 4},
    {"7.0.2001.4", true, 7, 2001, 0, 4}, {"7.0.2500.4", true, 7, 2500, 0, 4}, {"7.0.0x64.1", true, 7, 10, 0, 1},
    {"1.2", false, 0, 0, 0, 0}, {".", false, 0, 0, 0, 0}, {"1.2.3.4.5", false, 0, 0, 0, 0},
    // Numbers saturate at the 32-bit range, as strtol of a 32-bit long.
    {"99999999999.1.2", true, INT_MAX, 1, 0, 2}, {"-99999999999.-1.2", true, INT_MIN, -1, 0, 2},
    {"SP0xFFFFFFFFF", true, 0, INT_MAX, 0, 0},
};

TEST(ZnStdVersion, EveryRuleThroughBothParsers) {
  for (const VersionCase& c : kCases) {
    SCOPED_TRACE(std::string("[") + c.text + "]");
    ZnStdVersion version{-5, -5, -5, -5};
    ASSERT_EQ(GetAllInfoFromVersionStr(c.text, version), c.parses);
    // A failed parse leaves the record alone and every field query gives -1.
    using Fields = std::array<int, 4>;
    const Fields want = c.parses ? Fields{c.release, c.servicePack, c.letter, c.update} : Fields{-1, -1, -1, -1};
    EXPECT_EQ((Fields{version.release, version.servicePack, version.servicePackLetter, version.updateNumber}),
              (c.parses ? want : Fields{-5, -5, -5, -5}));
    EXPECT_EQ((Fields{GetInfoFromVersionStr(c.text, VersionRelease), GetInfoFromVersionStr(c.text, VersionServicePack),
                      GetInfoFromVersionStr(c.text, VersionServicePackLetter),
                      GetInfoFromVersionStr(c.text, VersionUpdateNumber)}),
              want);
    for (const int other : {1, 4, 7, 9, -1}) {  // selectors that name no field
      EXPECT_EQ(GetInfoFromVersionStr(c.text, static_cast<VersionFields>(other)), -1) << other;
    }
  }
}

TEST(ZnStdVersion, DisplayTextAndItsReadingBack) {
  EXPECT_EQ(FormatZnStdVersionString({11, 32, 0, 5}), "11.32.5");
  EXPECT_EQ(FormatZnStdVersionString({7, 24, 2, 0}), "7.24b.0");
  EXPECT_EQ(FormatZnStdVersionString({7, 24, 26, 3}), "7.24z.3");
  EXPECT_EQ(FormatZnStdVersionString({7, 24, 27, 3}), "7.24.3");  // no such letter
  EXPECT_EQ(FormatZnStdVersionString({}), "0.0.0");
  EXPECT_EQ(FormatZnStdVersionString({-1, 2, 0, INT_MAX}), "-1.2.2147483647");
  // Without a letter the text reads back into the same record.
  for (const ZnStdVersion& record : {ZnStdVersion{11, 32, 0, 5}, ZnStdVersion{7, 2500, 0, 0},
                                     ZnStdVersion{0, 0, 0, 0}}) {
    ZnStdVersion back{9, 9, 9, 9};
    ASSERT_TRUE(GetAllInfoFromVersionStr(FormatZnStdVersionString(record), back));
    EXPECT_EQ(std::tie(back.release, back.servicePack, back.servicePackLetter, back.updateNumber),
              std::tie(record.release, record.servicePack, record.servicePackLetter, record.updateNumber))
        << FormatZnStdVersionString(record);
  }
}

// The log header shows the parsed product version; a zero update number is
// taken from the last update transaction. Computed once per process, so one
// case only.
using VersionInLogHeader = zn::test::ConfigTest;

TEST_F(VersionInLogHeader, TakesTheUpdateFromTheLastTransaction) {
  using zn::LogSettings;
  ASSERT_TRUE(LogSettings::Set(LogSettings::kInstanceRoot, "sProductVersion", "7 SP24b"));
  ASSERT_TRUE(LogSettings::Set("UpdateBinTran", "UP_Transaction", "12_20240131_1"));
  EXPECT_EQ(EvDebug::GetProductVersion(), "7.24b.12");
  ASSERT_TRUE(LogSettings::Set(LogSettings::kInstanceRoot, "sProductVersion", "11.32.5"));
  EXPECT_EQ(EvDebug::GetProductVersion(), "7.24b.12");  // kept for the life of the process
}

TEST(ZnAdminVersion, PrintsTheFieldsOrFails) {
  const auto version = [](const char* text) { return zn::test::RunAdmin({"version", text}); };
  zn::test::AdminOutcome run = version("7 SP24b");
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out, "release: 7\nservicePack: 24\nservicePackLetter: 2\nupdateNumber: 0\ntext: 7.24b.0\n");
  run = version("11.32.5");
  EXPECT_EQ(run.code, 0);
  EXPECT_NE(run.out.find("updateNumber: 5\ntext: 11.32.5\n"), std::string::npos) << run.out;
  run = version("SP24");
  EXPECT_EQ(run.code, 0);
  EXPECT_NE(run.out.find("release: 0\nservicePack: 24\n"), std::string::npos) << run.out;
  run = version("1.2");
  EXPECT_EQ(run.code, 2);  // a bad value on the command line
  EXPECT_EQ(run.err, "znadmin version: [1.2] is not a version string\n");
}

}  // namespace
