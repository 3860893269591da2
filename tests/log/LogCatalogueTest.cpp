#include <gtest/gtest.h>

#include <set>
#include <string>

#include "zn/log/EvDebug.h"
#include "zn/log/LogCatalogue.h"
#include "zuzazer/FXString.h"

namespace {

TEST(LogCatalogue, IdRuleGivesTheDocumentedValue) {
  // CRC-32 of "ABC" is 2743272264; the id clears the top bit.
  EXPECT_EQ(zn::LogIdForName("abc"), 595788616u);
  EXPECT_EQ(zn::LogIdForName("ABC"), 595788616u);
  EXPECT_EQ(EvDebug::getLogId("abc"), 595788616u);  // unknown, still the id
  EXPECT_EQ(EvDebug::getLogId(nullptr), 0x7FFFFFFFu);
}

TEST(LogCatalogue, EveryRowIdMatchesItsNameAndRowsAreDistinct) {
  const auto rows = zn::LogCatalogueRows();
  ASSERT_FALSE(rows.empty());
  std::set<unsigned int> ids;
  std::set<std::string> names;
  for (const ZNLogFileInfo& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.id, zn::LogIdForName(row.name));
    EXPECT_EQ(row.id & 0x80000000u, 0u);
    EXPECT_EQ(row.reserved, 0u);
    EXPECT_GE(row.defaultMaxFileSize, 1u);
    EXPECT_GE(row.defaultVersions, 1u);
    EXPECT_TRUE(ids.insert(row.id).second);
    EXPECT_TRUE(names.insert(FXString::ToUpper(row.name)).second);
    EXPECT_EQ(zn::FindLogById(row.id), &row);
    EXPECT_EQ(zn::FindLogByName(FXString::ToLower(row.name)), &row);
  }
  for (const char* name : {"znd", "PerformanceMetrics", "zndemo", "znadmin", "zntest"}) {
    EXPECT_NE(zn::FindLogByName(name), nullptr) << name;
  }
}

TEST(LogCatalogue, GetLogNameAddsTheSuffixAndRejectsUnknownIds) {
  std::string name;
  const unsigned int id = EvDebug::getLogId("znd");
  ASSERT_TRUE(EvDebug::GetLogName(id, "", name).IsSuccess());
  EXPECT_EQ(name, "znd");
  ASSERT_TRUE(EvDebug::GetLogName(id, "job", name).IsSuccess());
  EXPECT_EQ(name, "znd-job");

  const CYqError error = EvDebug::GetLogName(12345u, "", name);
  ASSERT_TRUE(error.IsError());
  EXPECT_EQ(error.GetErrorCode(), 774u);
  EXPECT_EQ(error.AsString(eErrorOutputUser), "Couldn't find the log name for id:[12345]");
}

}  // namespace
