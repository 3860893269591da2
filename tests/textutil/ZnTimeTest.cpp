// ZnTime: the fixed layout of locale 0, the locale table's orders and
// separators, and the blank text for times and locales it cannot render,
// with the log's messages. Expected texts come from date(1), e.g.
// `TZ=UTC date -d @1700000000 '+%Y/%m/%d %H:%M:%S'` gives 2023/11/14 22:13:20.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <cstring>
#include <string>

#include "log/LogTestUtil.h"
#include "zn/textutil/ZnTime.h"

namespace {

constexpr long long kSample = 1700000000;  // 2023-11-14 22:13:20 UTC
const std::string kBlank(20, ' ');

class ZnTimeTest : public zn::test::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    const char* tz = ::getenv("TZ");
    m_savedTz = tz != nullptr ? tz : "";
    m_hadTz = tz != nullptr;
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
  void TearDown() override {
    if (m_hadTz) {
      ::setenv("TZ", m_savedTz.c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
    LogTest::TearDown();
  }
  static std::string Text(long long t, unsigned long lcid, bool localeDefault = false) {
    char buffer[21];
    std::memset(buffer, 'x', sizeof(buffer));
    const char* result = ZnTime(t, buffer, lcid, localeDefault);
    EXPECT_EQ(result, buffer);
    return buffer;
  }

  std::string m_savedTz;
  bool m_hadTz = false;
};

TEST_F(ZnTimeTest, LocaleZeroIsTheFixedLayoutInLocalTime) {
  EXPECT_EQ(Text(kSample, 0), "2023/11/14 22:13:20 ");
  EXPECT_EQ(Text(1, 0), "1970/01/01 00:00:01 ");
  // `TZ=UTC date -d @253402300799` gives Fri Dec 31 23:59:59 UTC 9999.
  EXPECT_EQ(Text(253402300799LL, 0), "9999/12/31 23:59:59 ");
  // `TZ=America/New_York date -d @1700000000 '+%Y/%m/%d %H:%M:%S'`.
  ::setenv("TZ", "America/New_York", 1);
  ::tzset();
  EXPECT_EQ(Text(kSample, 0), "2023/11/14 17:13:20 ");
  char buffer[21];
  EXPECT_EQ(ZnTimeBig(kSample, buffer, 0, false), buffer);
  EXPECT_STREQ(buffer, "2023/11/14 17:13:20 ");
}

TEST_F(ZnTimeTest, LocalesPickOrderSeparatorsAndKeepTheWidth) {
  // Without the default flag: the locale's order with '/'.
  EXPECT_EQ(Text(kSample, 1033), "11/14/2023 22:13:20 ");
  EXPECT_EQ(Text(kSample, 2057), "14/11/2023 22:13:20 ");
  EXPECT_EQ(Text(kSample, 1031), "14/11/2023 22:13:20 ");
  EXPECT_EQ(Text(kSample, 1041), "2023/11/14 22:13:20 ");
  EXPECT_EQ(Text(kSample, 2052), "2023/11/14 22:13:20 ");
  // With it: the locale's own short date.
  EXPECT_EQ(Text(kSample, 1031, true), "14.11.2023 22:13:20 ");
  EXPECT_EQ(Text(kSample, 1036, true), "14/11/2023 22:13:20 ");
  EXPECT_EQ(Text(kSample, 1040, true), "14/11/2023 22:13:20 ");
  EXPECT_EQ(Text(kSample, 1034, true), "14/11/2023 22:13:20 ");
  EXPECT_EQ(Text(kSample, 1041, true), "2023/11/14 22:13:20 ");
  EXPECT_EQ(Text(kSample, 2052, true), "2023/11/14 22:13:20 ");
  EXPECT_EQ(Text(kSample, 1033, true), "11/14/2023 22:13:20 ");
  EXPECT_EQ(Text(kSample, 1053, true), "2023-11-14 22:13:20 ");
  EXPECT_EQ(Text(kSample, 1035, true), "14.11.2023 22.13.20 ");
  // Morning hours keep two digits and no marker.
  EXPECT_EQ(Text(1700000000 - 20 * 3600, 1033), "11/14/2023 02:13:20 ");
  // The user's default follows the environment's locale.
  ::setenv("LC_ALL", "de_DE.UTF-8", 1);
  EXPECT_EQ(Text(kSample, 1024, true), "14.11.2023 22:13:20 ");
  ::unsetenv("LC_ALL");
  for (const unsigned long lcid : {1033ul, 2057ul, 1031ul, 1036ul, 1040ul, 1034ul, 1041ul, 2052ul, 1024ul, 2048ul}) {
    EXPECT_EQ(Text(kSample, lcid).size(), 20u) << lcid;
    EXPECT_EQ(Text(kSample, lcid, true).size(), 20u) << lcid;
  }
}

TEST_F(ZnTimeTest, BadTimesLocalesAndBuffersGiveBlanksAndLogLines) {
  Open();
  EXPECT_EQ(Text(0, 0), kBlank);
  EXPECT_EQ(Text(-5, 1033), kBlank);
  // Past the year 9999 the text would not fit its columns.
  EXPECT_EQ(Text(253402300800LL, 0), kBlank);
  EXPECT_EQ(Text(kSample, 9999), kBlank);
  EXPECT_EQ(ZnTime(kSample, nullptr, 0, false), nullptr);
  const std::string log = Content();
  EXPECT_TRUE(HasLine(log, "Invalid time (0) passed in")) << log;
  EXPECT_TRUE(HasLine(log, "Invalid time (-5) passed in")) << log;
  EXPECT_TRUE(HasLine(log, "Failed to convert (253402300800) to localtime")) << log;
  EXPECT_TRUE(HasLine(log, "No date and time format for locale (9999)")) << log;
  EXPECT_TRUE(HasLine(log, "Invalid buffer passed in")) << log;
  EXPECT_NE(log.find("::ZnTime"), std::string::npos);
}

}  // namespace
