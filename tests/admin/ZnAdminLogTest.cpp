// znadmin log as journalctl users expect it, run against a log this test
// writes through the library: tail with -n, --since, --level, --grep and
// --json, reaching into the newest version after a rollover; -f following
// a rollover made by the writer; log list with sizes, versions and levels;
// and log level keeping an expiry, refusing levels the store cannot give.

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "admin/AdminTestUtil.h"
#include "log/LogTestUtil.h"
#include "sync/SyncTestUtil.h"

namespace {

using zn::LogSettings;
using zn::test::AdminOutcome;
using zn::test::Has;
using zn::test::kEM;
using zn::test::LineCount;
using zn::test::PollUntil;
using zn::test::RunAdmin;

class ZnAdminLog : public zn::test::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();  // levels shown in every line
    LogSettings::Set(kEM, "dEVLOGDIR", m_dir.path());
    Open();
  }
  // The messages of the lines of `text`, each after its function.
  static std::vector<std::string> Messages(const std::string& text) {
    std::vector<std::string> messages;
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = text.find('\n', at);
      const std::string line = text.substr(at, end - at);
      const std::size_t fn = line.find(" Fn ");
      messages.push_back(fn == std::string::npos ? line : line.substr(fn + 4));
      at = end == std::string::npos ? text.size() : end + 1;
    }
    return messages;
  }
  std::size_t Versions() const {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path())) {
      count += entry.path().filename().string().rfind("zntest_", 0) == 0 ? 1 : 0;
    }
    return count;
  }
};

using Lines = std::vector<std::string>;

TEST_F(ZnAdminLog, TailFiltersByCountTimeLevelAndPattern) {
  EvDebug log;
  log.setDebugLevel(5);
  log.Debug("Fn", "alpha 1");
  log.DebugLvl("Fn", 3, "detail for [alpha 2]");
  log.Error("Fn", "failure of Beta");
  log.Debug("Fn", "alpha 3\ncontinued on a line of its own");

  AdminOutcome run = RunAdmin({"log", "tail", "zntest", "-n", "3"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(Messages(run.out), (Lines{"failure of Beta", "alpha 3", "continued on a line of its own"}));
  EXPECT_EQ(RunAdmin({"log", "tail", "zntest", "--lines", "0"}).out, "");

  // Level: the lines a log at that level writes; a continuation goes with its line.
  run = RunAdmin({"log", "tail", "zntest", "--level", "0", "--grep", "alpha|Beta|continued"});
  EXPECT_EQ(Messages(run.out), (Lines{"alpha 1", "failure of Beta", "alpha 3", "continued on a line of its own"}));
  run = RunAdmin({"log", "tail", "zntest", "--level", "-1"});
  EXPECT_EQ(Messages(run.out), Lines{"failure of Beta"});
  // Case matters only when the pattern holds a capital.
  EXPECT_EQ(Messages(RunAdmin({"log", "tail", "zntest", "--grep", "beta"}).out), Lines{"failure of Beta"});
  EXPECT_EQ(RunAdmin({"log", "tail", "zntest", "--grep", "BETA"}).out, "");
  EXPECT_EQ(Messages(RunAdmin({"log", "tail", "zntest", "--grep", "alpha [23]"}).out),
            (Lines{"detail for [alpha 2]", "alpha 3"}));

  // Time: every line is from now.
  EXPECT_EQ(LineCount(RunAdmin({"log", "tail", "zntest", "-n", "100", "--since", "-10m", "--grep", "alpha"}).out), 3u);
  EXPECT_EQ(LineCount(RunAdmin({"log", "tail", "zntest", "-n", "100", "--since", "today"}).out),
            LineCount(RunAdmin({"log", "tail", "zntest", "-n", "100"}).out));
  EXPECT_EQ(RunAdmin({"log", "tail", "zntest", "--since", "2999-01-01"}).out, "");
  EXPECT_EQ(RunAdmin({"log", "tail", "zntest", "--since", "2999-01-01 10:00"}).code, 0);
  for (const char* bad : {"soon", "2024-13-01", "25:00", "-5x"}) {
    run = RunAdmin({"log", "tail", "zntest", "--since", bad});
    EXPECT_EQ(run.code, 2) << bad;
    EXPECT_TRUE(Has(run.err, std::string("znadmin log tail: [") + bad + "] is not a time")) << run.err;
  }

  // Without levels in the lines --level keeps nothing, and says why.
  LogSettings::SetNumber(kEM, "ShowLogLevelInLogs", 0);
  Reset();
  LogSettings::Set(kEM, "dEVLOGDIR", m_dir.path());
  zn::test::TempDir plain;
  ASSERT_TRUE(EvDebug().initialize(EvDebug::getLogId("zntest"), 0, plain.path().c_str(), false));
  EvDebug().Debug("Fn", "no level shown");
  run = RunAdmin({"log", "tail", "zntest", "--dir", plain.path(), "--level", "5"});
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(Has(run.err, "carries its level: levels are written while EventManager/ShowLogLevelInLogs is on"))
      << run.err;
}

TEST_F(ZnAdminLog, TailReachesIntoTheNewestVersionAndFollowsARolloverOfTheWriter) {
  EvDebug log;
  log.setLogFileSize(1);  // megabytes: a rollover after about a thousand of the lines below
  const std::string filler(1000, 'x');
  log.Debug("Fn", "marker before");
  // Printed by the tail first: from then on the follower reads.
  zn::test::RunningProgram follower("znadmin", {"log", "tail", "zntest", "-n", "1", "-f", "--grep", "marker"});
  ASSERT_TRUE(follower.waitForOutput("marker before\n", 30000)) << follower.output();
  for (int i = 0; i < 1100 && Versions() == 0; ++i) log.Debug("Fn", "%s", filler.c_str());
  ASSERT_EQ(Versions(), 1u);
  log.Debug("Fn", "marker after the rollover");
  ASSERT_TRUE(follower.waitForOutput("marker after the rollover\n", 30000)) << follower.output();
  EXPECT_EQ(Messages(follower.output()), (Lines{"marker before", "marker after the rollover"}));

  // -n takes what the current file lacks from the newest version.
  AdminOutcome run = RunAdmin({"log", "tail", "zntest", "-n", "2", "--grep", "marker"});
  EXPECT_EQ(Messages(run.out), (Lines{"marker before", "marker after the rollover"}));

  // log list: the log, its size, its version, its level.
  LogSettings::SetNumber(kEM, "zntest_DEBUGLEVEL", 4);
  run = RunAdmin({"log", "list", "--json"});
  ASSERT_EQ(run.code, 0) << run.err;
  const nlohmann::json listed = zn::test::JsonOf(run);
  ASSERT_EQ(listed["logs"].size(), 1u) << run.out;
  const nlohmann::json& entry = listed["logs"][0];
  EXPECT_EQ(entry["log"], "zntest");
  EXPECT_EQ(entry["versions"], 1);
  EXPECT_GT(entry["versionBytes"].get<long long>(), 1000000);
  EXPECT_EQ(entry["bytes"].get<long long>(), static_cast<long long>(std::filesystem::file_size(m_dir.file("zntest.log"))));
  EXPECT_EQ(entry["level"], 4);
  EXPECT_EQ(entry["levelSource"], "store");
  run = RunAdmin({"log", "list"});
  EXPECT_TRUE(Has(run.out, "LOG ")) << run.out;
  EXPECT_TRUE(Has(run.out, "4 (store)")) << run.out;
}

TEST_F(ZnAdminLog, LevelKeepsTheExpiryOfTheLevelItReplacesAndRefusesWhatTheStoreCannotGive) {
  const long long until = static_cast<long long>(::time(nullptr)) + 3600;
  LogSettings::SetNumber(kEM, "zntest_DEBUGLEVEL", 4);
  LogSettings::SetNumber(kEM, "zntest_DEBUGLEVEL_UNTIL", until);
  AdminOutcome run = RunAdmin({"log", "level", "zntest", "6"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "zntest: 6 until ")) << run.out;
  EXPECT_TRUE(Has(run.out, ", the expiry of the level it replaces (--for sets another)\n")) << run.out;
  EXPECT_EQ(LogSettings::Number(kEM, "zntest_DEBUGLEVEL"), 6);
  EXPECT_EQ(LogSettings::Number(kEM, "zntest_DEBUGLEVEL_UNTIL"), until);

  // --for replaces it; an expiry that has passed would cut the new level
  // short and goes, so the revision gives a fresh one.
  run = RunAdmin({"log", "level", "zntest", "7", "--for", "2h"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_GE(*LogSettings::Number(kEM, "zntest_DEBUGLEVEL_UNTIL"), until + 3600 - 5);
  LogSettings::SetNumber(kEM, "zntest_DEBUGLEVEL_UNTIL", 1000);
  run = RunAdmin({"log", "level", "zntest", "3"});
  EXPECT_EQ(run.out, "zntest: 3 for seven days from the next settings revision\n");
  EXPECT_FALSE(LogSettings::Number(kEM, "zntest_DEBUGLEVEL_UNTIL").has_value());

  // The range a log takes from the store; nothing changes on a refusal.
  for (const char* bad : {"-1", "-5", "2147483648", "99999999999", "1e3", "three", ""}) {
    run = RunAdmin({"log", "level", "zntest", bad});
    EXPECT_EQ(run.code, std::string(bad).empty() ? 0 : 2) << bad;
    EXPECT_EQ(LogSettings::Number(kEM, "zntest_DEBUGLEVEL"), 3) << bad;
  }
  EXPECT_TRUE(Has(RunAdmin({"log", "level", "zntest", "-1"}).err,
                  "[-1] is not a level the store can give a log: 1 to 2147483647, or 0 or \"default\""));
  EXPECT_EQ(RunAdmin({"log", "level", "zntest", "2147483647"}).code, 0);
  run = RunAdmin({"log", "level", "zntest", "default"});
  EXPECT_EQ(run.out, "zntest: back to 1 (default)\n");
  EXPECT_FALSE(LogSettings::Number(kEM, "zntest_DEBUGLEVEL").has_value());
  EXPECT_FALSE(LogSettings::Number(kEM, "zntest_DEBUGLEVEL_UNTIL").has_value());
  EXPECT_EQ(RunAdmin({"log", "level", "zntest", "--for", "2h"}).code, 2);  // an expiry needs a level
}

}  // namespace
