#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "helpers/TempDir.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/LogVersions.h"

namespace {

using zn::test::TempDir;
using Names = std::vector<std::string>;

void Touch(const TempDir& dir, const std::string& name, long ageSeconds = 0) {
  std::FILE* file = std::fopen(dir.file(name).c_str(), "w");
  ASSERT_NE(file, nullptr) << name;
  std::fclose(file);
  const std::time_t when = std::time(nullptr) - ageSeconds;
  const struct timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.file(name).c_str(), times, 0), 0);
}

TEST(LogVersions, VersionNamesAreUtcStamps) {
  ::setenv("TZ", "XST+5", 1);  // the local zone must not matter
  ::tzset();
  EXPECT_EQ(yq::LogVersionFileName("app", 0), "app_19700101000000.log");
  EXPECT_EQ(yq::LogVersionFileName("app", 1609459200 + 3661), "app_20210101010101.log");
  EXPECT_EQ(yq::LogVersionFileName("a.b", 1609459199), "a.b_20201231235959.log");
  EXPECT_TRUE(yq::IsLogVersionOf(yq::LogVersionFileName("app", 1700000000), "app"));
}

TEST(LogVersions, IsLogVersionOfAcceptsOnlyItsOwnVersions) {
  for (const char* name : {"app_20240101120000.log", "app_20240101120000.log.zip", "app_1.log", "app_2024_01.log",
                           "app_202401011200001.log"}) {
    EXPECT_TRUE(yq::IsLogVersionOf(name, "app")) << name;
  }
  for (const char* name : {"app.log", "app_.log", "app__.log", "app_2024x.log", "app_2024.txt", "app_2024.log.gz",
                           "app_2024.log.zip.old", "app_2024", "app2024.log", "ap_2024.log", "appx_2024.log",
                           "app_sub_20240101120000.log", "APP_20240101120000.log", "app_2024.LOG", ""}) {
    EXPECT_FALSE(yq::IsLogVersionOf(name, "app")) << name;
  }
  // A base with a dot of its own.
  EXPECT_TRUE(yq::IsLogVersionOf("zn.agent_20240101120000.log", "zn.agent"));
  EXPECT_FALSE(yq::IsLogVersionOf("zn.agent.log", "zn.agent"));
}

TEST(LogVersions, ListIsNewestFirstByLengthThenText) {
  TempDir dir;
  for (const char* name : {"app_20231231235959.log", "app_20240101000000.log", "app_20240101000000.log.zip",
                           "app_202401010000001.log", "app_9.log", "app.log", "app_notes.txt",
                           "other_20990101000000.log", "apple_20990101000000.log"}) {
    Touch(dir, name);
  }
  ASSERT_TRUE(FXFile::CreateDirectories(dir.file("app_20990101000000.log")).IsSuccess());  // a folder, not a version
  EXPECT_EQ(yq::ListLogVersions(dir.path(), "app"),
            (Names{"app_202401010000001.log", "app_20240101000000.log", "app_20240101000000.log.zip",
                   "app_20231231235959.log", "app_9.log"}));
  EXPECT_TRUE(yq::ListLogVersions(dir.file("missing"), "app").empty());
  EXPECT_TRUE(yq::ListLogVersions(dir.path(), "none").empty());
}

TEST(LogVersions, PruneByCountCountsAVersionAndItsArchiveOnceAndByAgeUsesTheWriteTime) {
  TempDir dir;
  for (const char* name : {"app_20240103000000.log", "app_20240103000000.log.zip", "app_20240102000000.log.zip",
                           "app_20240101000000.log", "app.log", "other_20200101000000.log"}) {
    Touch(dir, name);
  }
  yq::PruneLogVersions(dir.path(), "app", 2, 0);
  EXPECT_EQ(yq::ListLogVersions(dir.path(), "app"),
            (Names{"app_20240103000000.log", "app_20240103000000.log.zip", "app_20240102000000.log.zip"}));
  EXPECT_TRUE(FXFile::Exists(dir.file("app.log")));
  EXPECT_TRUE(FXFile::Exists(dir.file("other_20200101000000.log")));

  yq::PruneLogVersions(dir.path(), "app", 0, 0);
  EXPECT_TRUE(yq::ListLogVersions(dir.path(), "app").empty());
  EXPECT_TRUE(FXFile::Exists(dir.file("app.log")));

  // By age: the names say old, the last write times say otherwise and decide.
  Touch(dir, "app_20000101000000.log", 10);
  Touch(dir, "app_20240102000000.log", 5 * 86400);
  Touch(dir, "app_20240101000000.log.zip", 2 * 86400);
  yq::PruneLogVersions(dir.path(), "app", 100, 86400);
  EXPECT_EQ(yq::ListLogVersions(dir.path(), "app"), (Names{"app_20000101000000.log"}));
}

}  // namespace
