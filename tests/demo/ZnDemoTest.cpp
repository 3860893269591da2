// The demo service end to end: it runs its pool, tasks and work stream on
// a store of the test's own, follows a level changed with znadmin while it
// runs, and ends cleanly with its summary.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "helpers/AdminRunner.h"
#include "log/LogTestUtil.h"
#include "sync/SyncTestUtil.h"

namespace {

using zn::LogSettings;
using zn::test::kEM;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

using ZnDemo = zn::test::LogTest;

TEST_F(ZnDemo, RunsItsWorkFollowsTheStoreAndStopsCleanly) {
  const std::string lib = (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "lib").string();
  LogSettings::Set(kEM, "dEVLOGDIR", m_dir.path());
  LogSettings::Set("Base", "dBASEHOME", lib);
  LogSettings::SetNumber(kEM, "zndemo_DEBUG_REFRESH_TIME", 1);
  LogSettings::SetNumber("Base", "ThreadPoolMonitorIntervalSeconds", 1);
  LogSettings::SetNumber("Base", "ThreadPoolRefreshIntervalSeconds", 1);
  LogSettings::SetNumber("Znd", "zndemo_MaxThreads", 3);
  // The password it signs on with, stored as an administrator does.
  const auto stored = zn::test::RunAdmin({"config", "password", "set", "--stdin", "~Session", "pCntInfo"},
                                         "demo-secret\n");
  ASSERT_EQ(stored.code, 0) << stored.err;

  zn::test::RunningProgram demo("zndemo", {"--seconds", "6"});
  const std::string log = m_dir.file("zndemo.log");
  const auto logged = [&](const std::string& part) { return Has(zn::test::ReadFile(log), part); };
  ASSERT_TRUE(zn::test::PollUntil([&] { return logged("Progress: ["); })) << zn::test::ReadFile(log);
  const auto run = zn::test::RunAdmin({"log", "level", "zndemo", "3"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(zn::test::PollUntil([&] { return logged("Changing Debug level from 1 to 3"); }));
  EXPECT_TRUE(zn::test::PollUntil([&] { return logged("Item ["); }));  // level 3 lines appear
  ASSERT_EQ(demo.wait(60000), 0) << demo.output();

  const std::string text = zn::test::ReadFile(log);
  for (const char* line : {"Service starting.", "[5] periodic tasks accepted",
                           "TPool [zndemo]. Ser# [1]", "Threadpool [zndemo]. Default max count changed to [3]",
                           "Service stopped. Items ["}) {
    EXPECT_TRUE(Has(text, line)) << line;
  }
  EXPECT_FALSE(Has(text, "Serial order broken"));
  EXPECT_TRUE(Has(demo.output(), "Serial ids  : every id ran its items in queue order, one at a time"))
      << demo.output();
  EXPECT_TRUE(Has(demo.output(), "Tasks       : 5 accepted"));
  EXPECT_TRUE(Has(demo.output(), ", decoded: 11 characters")) << demo.output();
  EXPECT_FALSE(Has(demo.output() + text, "demo-secret"));
  EXPECT_TRUE(Has(text, "The password in [Session] [pCntInfo] (format "));
}

}  // namespace

namespace {

TEST(ZnDemoCommandLine, HelpVersionAndUsageLikeZnadmin) {
  zn::test::AdminOutcome run = zn::test::RunProgram("zndemo", {"--help"});
  EXPECT_EQ(run.code, 0);
  EXPECT_NE(run.out.find("Usage: zndemo [OPTIONS]"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("--instance"), std::string::npos);
  EXPECT_EQ(run.err, "");
  run = zn::test::RunProgram("zndemo", {"--version"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out.rfind("zndemo ", 0), 0u) << run.out;
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--seconds", "soon"},
                                              std::vector<std::string>{"--seconds", "0"},
                                              std::vector<std::string>{"--level", "-2"},
                                              std::vector<std::string>{"--bogus"}}) {
    run = zn::test::RunProgram("zndemo", bad);
    EXPECT_EQ(run.code, 2) << bad[0];
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("(zndemo --help shows the usage)\n"), std::string::npos) << run.err;
  }
  // A service works for an instance: without one it says so, once.
  run = zn::test::RunProgram("zndemo", {"--seconds", "1"}, "", {{"ZN_FOCUS", std::nullopt}});
  EXPECT_EQ(run.code, 2);
  EXPECT_EQ(run.err, "zndemo: no instance to work for: name it with --instance NAME or $ZN_FOCUS\n");
}

}  // namespace
